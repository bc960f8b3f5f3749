#pragma once

#include <QString>
#include <QStringList>

namespace quadrel {

// The list of the four files opened or saved last, newest first, kept in the settings section
// "Recent File List" as "File1" to "File4".
class RecentFiles {
public:
    static constexpr int kSize = 4;

    RecentFiles();
    const QStringList& files() const { return m_files; }
    void add(const QString& path);
    void remove(const QString& path);

private:
    void save() const;
    QStringList m_files;
};

} // namespace quadrel
