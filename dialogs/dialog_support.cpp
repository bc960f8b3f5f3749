#include "dialogs/dialog_support.h"

#include "core/features.h"

#include <algorithm>
#include <cstdlib>

namespace quadrel {

namespace fs = std::filesystem;

namespace {

constexpr const char* kPathSection = "Path";
constexpr const char* kInitialDirKey = "InitialDir";

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

int compareIgnoringCase(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(lowerAscii(a[i]));
        const auto cb = static_cast<unsigned char>(lowerAscii(b[i]));
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

std::string documentsFolder() {
    std::error_code ec;
    const char* home = std::getenv("HOME");
    if (!home || !*home) return ".";
    const fs::path documents = fs::path(home) / "Documents";
    if (fs::is_directory(documents, ec)) return documents.string();
    return home;
}

} // namespace

std::string rememberedFolder(SettingsStore* settings) {
    const CProfile paths(kPathSection, settings);
    const std::string dir = paths.getString(kInitialDirKey, "");
    std::error_code ec;
    if (dir.empty() || !fs::is_directory(dir, ec)) return documentsFolder();
    return dir;
}

void rememberFolderOf(const fs::path& chosen, SettingsStore* settings) {
    CProfile paths(kPathSection, settings);
    paths.writeString(kInitialDirKey, chosen.parent_path().string());
}

bool listTextLess(std::string_view a, std::string_view b) {
    const int c = compareIgnoringCase(a, b);
    return c != 0 ? c < 0 : a < b;
}

bool sameListText(std::string_view a, std::string_view b) {
    return compareIgnoringCase(a, b) == 0;
}

std::vector<NamedFeature> featuresInListOrder() {
    std::vector<NamedFeature> out;
    for (const auto& [id, name] : featureNames())
        out.push_back({name, id});
    std::sort(out.begin(), out.end(),
              [](const NamedFeature& a, const NamedFeature& b) { return listTextLess(a.name, b.name); });
    return out;
}

} // namespace quadrel
