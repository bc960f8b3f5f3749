#pragma once

// The features setup dialog without its widgets: the list of all features, the ordered list of chosen ones,
// their selections and what each button does to them. The desktop program's dialog shows this state and
// forwards its buttons here.

#include "document/profile.h"
#include "persistence/stream_reader.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace quadrel {

class FeaturesSetupModel {
public:
    static constexpr const char* kCaption = "Features Setup";
    // Filters of the open and the save chooser, as the program has always spelt them, and the extension
    // added to a name typed without one.
    static constexpr const char* kOpenFilter = "Feature Files (*.fts)";
    static constexpr const char* kSaveFilter = "FeatureFiles (*.fts)";
    static constexpr const char* kFileExtension = "fts";
    // The text of a loaded identifier that has no name.
    static constexpr const char* kUnknownName = "Unknow";

    // One line of the chosen list: the text shown and the feature identifier it carries.
    struct Entry {
        std::string text;
        int32_t id = 0;
        friend bool operator==(const Entry&, const Entry&) = default;
    };

    // `chosen` are the document's features in display order; identifiers without a name are not shown but
    // stay in the result until the chosen list first changes. `settings` holds the remembered folder; null
    // uses the process's settings.
    explicit FeaturesSetupModel(std::vector<int32_t> chosen, SettingsStore* settings = nullptr);

    // Every feature name, sorted.
    const std::vector<std::string>& available() const { return m_available; }
    const std::vector<Entry>& chosen() const { return m_chosen; }
    // The result the caller takes after "OK".
    const std::vector<int32_t>& chosenIdentifiers() const { return m_chosenIds; }

    // Selections by index; indices outside the list are dropped, the rest kept in increasing order.
    void setAvailableSelection(std::vector<int> indices);
    void setChosenSelection(std::vector<int> indices);
    const std::vector<int>& availableSelection() const { return m_availableSelection; }
    const std::vector<int>& chosenSelection() const { return m_chosenSelection; }

    // "->>": every available name not yet chosen (letter case ignored), in list order.
    void addAll();
    // "-->": the selected available names not yet chosen, in list order.
    void addSelected();
    // "<--": removes the selected chosen entries.
    void removeSelected();
    // "<<-": empties the chosen list.
    void removeAll();
    // "&Up" / "&Down": moves the selected entries one place, keeping them selected; nothing happens when one
    // of them is already at the top (bottom).
    void moveUp();
    void moveDown();

    // The folder "&Load..." and "&Save As..." open their choosers in.
    std::string fileFolder() const;
    // "&Load...": when the file holds a feature list, the chosen list becomes its features (a name the table
    // does not know shows as "Unknow" and drops out of the result); any other file leaves everything as it
    // was. The folder is remembered either way.
    StreamReadResult load(const std::filesystem::path& path);
    // "&Save As...": writes the identifiers of the chosen list in order; a name without extension gets
    // ".fts". The folder is remembered either way.
    bool saveAs(const std::filesystem::path& path, std::string* error = nullptr);

private:
    // Every button ends here: the result is the chosen list's known names, in order.
    void rebuildIdentifiers();
    void append(const std::string& name);

    SettingsStore* m_settings;
    std::vector<std::string> m_available;
    std::vector<Entry> m_chosen;
    std::vector<int32_t> m_chosenIds;
    std::vector<int> m_availableSelection;
    std::vector<int> m_chosenSelection;
};

} // namespace quadrel
