#pragma once

// A private folder for the files a test writes, with its own settings file, and small cell records.

#include "core/cell_dictionary.h"
#include "document/profile.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace quadrel::testing {

class TempFolder {
public:
    TempFolder() {
        std::string t = (std::filesystem::temp_directory_path() / "quadrel-dialogs-XXXXXX").string();
        m_path = ::mkdtemp(t.data());
        m_settings = std::make_unique<SettingsStore>((m_path / "settings.conf").string());
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }
    SettingsStore* settings() const { return m_settings.get(); }

    static void write(const std::filesystem::path& p, const std::vector<uint8_t>& bytes) {
        std::ofstream out(p, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    static std::vector<uint8_t> read(const std::filesystem::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

private:
    std::filesystem::path m_path;
    std::unique_ptr<SettingsStore> m_settings;
};

// A record of a cell with only a label and an area; its centre is (0, 0).
inline TCellBaseFeature cellWithArea(uint32_t label, uint32_t area) {
    TCellBaseFeature r(label);
    r.area = area;
    return r;
}

} // namespace quadrel::testing
