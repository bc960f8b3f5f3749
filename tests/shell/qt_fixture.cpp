#include "shell/qt_fixture.h"

#include "document/profile.h"
#include "resources/sample_image.h"

#include <QFile>

namespace quadrel::test {

std::optional<std::string> FakeUi::chooseOpenFile(const std::string&, const std::string&, const std::string&) {
    if (openPaths.empty()) return std::nullopt;
    std::string p = openPaths.front();
    openPaths.pop_front();
    return p;
}

std::optional<std::string> FakeUi::chooseSaveFile(const std::string&, const std::string&, const std::string&) {
    if (savePaths.empty()) return std::nullopt;
    std::string p = savePaths.front();
    savePaths.pop_front();
    return p;
}

Sandbox::Sandbox() {
    SettingsStore::setDefaultPath(path("config/Norvane/Quadrel.conf").toStdString());
    qputenv("XDG_CONFIG_HOME", path("config").toLocal8Bit());
    qputenv("XDG_DATA_HOME", path("data").toLocal8Bit());
    qputenv("XDG_STATE_HOME", path("state").toLocal8Bit());
}

QString Sandbox::samplePicture() const {
    const QString p = path("sample.png");
    QFile f(p);
    if (!f.exists() && f.open(QIODevice::WriteOnly)) {
        const auto bytes = sampleImagePng();
        f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    }
    return p;
}

} // namespace quadrel::test
