#pragma once

// What the rule and feature-list dialogs share: the folder their file choosers open in and the order in
// which they list feature names.

#include "document/profile.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quadrel {

// The folder file choosers start in: "Path"/"InitialDir" of the settings, which the document's save-as and
// region loading share, so choosing a folder in any of them moves all of them there. Without a usable
// remembered folder, the user's documents folder (or home).
std::string rememberedFolder(SettingsStore* settings = nullptr);
// Remembers the folder of a chosen file (empty for a bare file name), whether or not it could be used.
void rememberFolderOf(const std::filesystem::path& chosen, SettingsStore* settings = nullptr);

// The order of a sorted list box: letter case ignored, ties broken by the exact text so the order is total.
bool listTextLess(std::string_view a, std::string_view b);
// Letter case ignored, as the chosen-features list compares names.
bool sameListText(std::string_view a, std::string_view b);

struct NamedFeature {
    std::string name;
    int32_t id = 0;
};
// Every feature of the name table, in list order.
std::vector<NamedFeature> featuresInListOrder();

} // namespace quadrel
