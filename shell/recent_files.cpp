#include "shell/recent_files.h"

#include "document/profile.h"

#include <QFileInfo>

namespace quadrel {

namespace {
const char* const kSection = "Recent File List";
}

RecentFiles::RecentFiles() {
    CProfile profile(kSection);
    for (int i = 1; i <= kSize; ++i) {
        const std::string f = profile.getString("File" + std::to_string(i), "");
        if (!f.empty()) m_files << QString::fromStdString(f);
    }
}

void RecentFiles::add(const QString& path) {
    const QString full = QFileInfo(path).absoluteFilePath();
    m_files.removeAll(full);
    m_files.prepend(full);
    while (m_files.size() > kSize)
        m_files.removeLast();
    save();
}

void RecentFiles::remove(const QString& path) {
    if (m_files.removeAll(path) > 0) save();
}

void RecentFiles::save() const {
    CProfile profile(kSection);
    SettingsStore& store = SettingsStore::instance();
    for (int i = 1; i <= kSize; ++i) {
        const std::string key = "File" + std::to_string(i);
        if (i <= m_files.size())
            profile.writeString(key, m_files[i - 1].toStdString());
        else
            store.remove(kSection, key);
    }
}

} // namespace quadrel
