#pragma once

#include <QString>
#include <QWidget>

class QListWidget;

namespace quadrel {

// Replaces $NAME, ${NAME} and %NAME% by the environment's values; unknown names stay as written.
QString expandEnvironment(const QString& text);

// The favorites folder: the setting "Favorites" of section "Path" with its environment variables
// expanded, by default $XDG_DATA_HOME/Halvex/Quadrel/Favorites.
QString favoritesFolder();

// The favorites panel: one page "Favorites" listing the files of the favorites folder with the
// desktop's icons for their types, by name without extension.
class FavoritesPanel : public QWidget {
    Q_OBJECT
public:
    explicit FavoritesPanel(QWidget* parent = nullptr);
    void reload(const QString& folder);
    QListWidget* list() const { return m_list; }

private:
    QListWidget* m_list;
};

} // namespace quadrel
