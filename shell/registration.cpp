#include "shell/registration.h"

#include <QProcess>
#include <QStandardPaths>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace quadrel {

namespace fs = std::filesystem;

namespace {

const char* const kDesktopFile = "applications/quadrel.desktop";
const char* const kMimeFile = "mime/packages/quadrel-ddm.xml";
const char* const kServiceFile = "dbus-1/services/Quadrel.Document.service";

bool writeFile(const fs::path& path, const std::string& text, std::string& report) {
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    // Written beside and renamed over, so a half-written entry never shows up.
    const fs::path temp = path.string() + ".new";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out) {
            report += "cannot write " + path.string() + "\n";
            return false;
        }
    }
    fs::rename(temp, path, ec);
    if (ec) {
        report += "cannot write " + path.string() + ": " + ec.message() + "\n";
        return false;
    }
    report += "wrote " + path.string() + "\n";
    return true;
}

// Refreshes a desktop database when its tool is installed; without it the files still take effect at the
// next login.
void refresh(const char* tool, const fs::path& folder) {
    if (!QStandardPaths::findExecutable(tool).isEmpty())
        QProcess::execute(tool, {QString::fromStdString(folder.string())});
}

std::string quoteExec(const std::string& program) {
    std::string out = "\"";
    for (char c : program) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

} // namespace

std::string dataHome() {
    if (const char* d = std::getenv("XDG_DATA_HOME"); d && *d) return d;
    const char* home = std::getenv("HOME");
    return (fs::path(home ? home : ".") / ".local" / "share").string();
}

bool registerProgram(const std::string& program, std::string& report) {
    const fs::path base = dataHome();
    bool ok = true;
    ok &= writeFile(base / kDesktopFile,
                    "[Desktop Entry]\n"
                    "Type=Application\n"
                    "Name=Quadrel\n"
                    "Comment=Count and measure cells in microscope images\n"
                    "Exec=" +
                        quoteExec(program) +
                        " %f\n"
                        "Terminal=false\n"
                        "Categories=Science;Graphics;\n"
                        "MimeType=application/x-quadrel-document;\n",
                    report);
    ok &= writeFile(base / kMimeFile,
                    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                    "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
                    "  <mime-type type=\"application/x-quadrel-document\">\n"
                    "    <comment>Quadrel.Document</comment>\n"
                    "    <glob pattern=\"*.ddm\"/>\n"
                    "  </mime-type>\n"
                    "</mime-info>\n",
                    report);
    ok &= writeFile(base / kServiceFile,
                    "[D-BUS Service]\n"
                    "Name=Quadrel.Document\n"
                    "Exec=" +
                        program + "\n",
                    report);
    refresh("update-mime-database", base / "mime");
    refresh("update-desktop-database", base / "applications");
    return ok;
}

bool unregisterProgram(std::string& report) {
    const fs::path base = dataHome();
    bool ok = true;
    for (const char* f : {kDesktopFile, kMimeFile, kServiceFile}) {
        std::error_code ec;
        const fs::path p = base / f;
        if (fs::remove(p, ec))
            report += "removed " + p.string() + "\n";
        else if (ec) {
            report += "cannot remove " + p.string() + ": " + ec.message() + "\n";
            ok = false;
        }
    }
    refresh("update-mime-database", base / "mime");
    refresh("update-desktop-database", base / "applications");
    return ok;
}

} // namespace quadrel
