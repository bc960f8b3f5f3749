#pragma once

#include "document/profile.h"
#include "document/quadrel_doc.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace quadrel::test {

// Records every hint a document sends.
struct RecordingView : CDocumentView {
    std::vector<int> hints;
    void onUpdate(CQuadrelDoc&, int hint, CDocumentView*) override { hints.push_back(hint); }
    bool saw(int hint) const { return std::find(hints.begin(), hints.end(), hint) != hints.end(); }
};

// A picture drawn with characters: '#' dark cell pixels (level 40), '.' bright background (level 200).
inline BitmapPtr pictureFromArt(const std::vector<std::string>& rows) {
    const int h = static_cast<int>(rows.size()), w = static_cast<int>(rows.front().size());
    BitmapPtr b = Bitmap::create(w, h, PixelFormat::Argb32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) b->row32(y)[x] = rows[static_cast<size_t>(y)][static_cast<size_t>(x)] == '#' ? 0xFF282828u : 0xFFC8C8C8u;
    return b;
}

// Points the settings at a fresh file for each test.
class SettingsSandbox {
public:
    SettingsSandbox() {
        m_dir = std::filesystem::temp_directory_path() /
                ("quadrel-settings-" + std::to_string(::getpid()) + "-" + std::to_string(s_counter++));
        std::filesystem::create_directories(m_dir);
        SettingsStore::setDefaultPath((m_dir / "Quadrel.conf").string());
    }
    ~SettingsSandbox() {
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }
    std::filesystem::path dir() const { return m_dir; }

private:
    std::filesystem::path m_dir;
    static inline int s_counter = 0;
};

} // namespace quadrel::test
