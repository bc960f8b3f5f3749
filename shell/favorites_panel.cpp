#include "shell/favorites_panel.h"

#include "document/profile.h"

#include <QDir>
#include <QFileIconProvider>
#include <QListWidget>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QToolBox>
#include <QVBoxLayout>

namespace quadrel {

QString expandEnvironment(const QString& text) {
    static const QRegularExpression pattern(R"(\$\{(\w+)\}|\$(\w+)|%(\w+)%)");
    QString out;
    qsizetype last = 0;
    auto it = pattern.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        out += text.mid(last, m.capturedStart() - last);
        QString name = m.captured(1);
        if (name.isEmpty()) name = m.captured(2);
        if (name.isEmpty()) name = m.captured(3);
        const QByteArray value = qgetenv(name.toLocal8Bit().constData());
        out +=
            qEnvironmentVariableIsSet(name.toLocal8Bit().constData()) ? QString::fromLocal8Bit(value) : m.captured(0);
        last = m.capturedEnd();
    }
    out += text.mid(last);
    return out;
}

QString favoritesFolder() {
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome.isEmpty()) dataHome = QDir::homePath() + "/.local/share";
    const QString fallback = dataHome + "/Halvex/Quadrel/Favorites";
    const std::string stored = CProfile("Path").getString("Favorites", "");
    if (stored.empty()) return fallback;
    return expandEnvironment(QString::fromStdString(stored));
}

FavoritesPanel::FavoritesPanel(QWidget* parent) : QWidget(parent), m_list(new QListWidget) {
    setObjectName("Favorites");
    auto* pages = new QToolBox(this);
    m_list->setObjectName("FavoritesList");
    m_list->setViewMode(QListView::ListMode);
    m_list->setIconSize(QSize(16, 16));
    pages->addItem(m_list, "Favorites");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(pages);
}

void FavoritesPanel::reload(const QString& folder) {
    m_list->clear();
    const QDir dir(folder);
    if (!dir.exists()) return;
    QFileIconProvider icons;
    for (const QFileInfo& info : dir.entryInfoList(QDir::Files | QDir::Hidden, QDir::Name)) {
        auto* item = new QListWidgetItem(icons.icon(info), info.completeBaseName(), m_list);
        item->setToolTip(info.absoluteFilePath());
        item->setData(Qt::UserRole, info.absoluteFilePath());
    }
}

} // namespace quadrel
