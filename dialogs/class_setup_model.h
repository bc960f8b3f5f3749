#pragma once

// The class setup dialog without its widgets: the rule being written, the choices of its boxes and what each
// button does to them. The desktop program's dialog shows this state and forwards its buttons here.

#include "dialogs/query_rules.h"
#include "document/profile.h"

#include <filesystem>
#include <string>
#include <vector>

namespace quadrel {

class ClassSetupModel {
public:
    static constexpr const char* kCaption = "Class Setup";
    // File chooser filter and the extension added to a name typed without one.
    static constexpr const char* kFileFilter = "Class Files (*.slt)";
    static constexpr const char* kFileExtension = "slt";

    // One entry of a combo box: its text and its item data.
    struct Choice {
        std::string text;
        int32_t data = 0;
    };

    // `settings` holds the remembered folder; null uses the process's settings.
    explicit ClassSetupModel(SettingsStore* settings = nullptr);

    // The feature box: every feature, sorted by name, with its identifier; the first is selected.
    const std::vector<Choice>& featureChoices() const { return m_features; }
    // The operator box, in this fixed order: "=", "<", "<=", ">", ">=", "<>", with their operation codes.
    const std::vector<Choice>& operatorChoices() const { return m_operators; }
    int featureIndex() const { return m_featureIndex; }
    int operatorIndex() const { return m_operatorIndex; }
    // False (and no change) for an index outside the box.
    bool setFeatureIndex(int index);
    bool setOperatorIndex(int index);
    const std::string& valueText() const { return m_valueText; }
    void setValueText(std::string text) { m_valueText = std::move(text); }

    // "Add": the comparison of the chosen feature, operator and typed value goes to the end of the rule.
    void add();
    // "AND" and "OR": the combination goes to the end of the rule, whatever precedes it.
    void addAnd();
    void addOr();
    // "Delete": removes the selected line and its command; without a selected line nothing changes.
    void deleteSelected();

    // The rule list: one line per command, the command's text, in rule order.
    std::vector<std::string> ruleLines() const;
    int selectedLine() const { return m_selectedLine; }
    // -1 (or any index outside the list) selects no line.
    void setSelectedLine(int line);

    // The rule the caller evaluates after "OK".
    const TQueryQueue& rule() const { return m_rule; }
    TQueryQueue& rule() { return m_rule; }

    // The folder "Load..." and "Save As..." open their choosers in.
    std::string fileFolder() const;
    // "Load...": replaces the rule by the file's when the whole file is a rule; otherwise the rule stays as
    // it was. The folder is remembered either way.
    StreamReadResult load(const std::filesystem::path& path);
    // "Save As...": writes the rule; a name without extension gets ".slt". The folder is remembered either way.
    bool saveAs(const std::filesystem::path& path, std::string* error = nullptr);

private:
    SettingsStore* m_settings;
    TQueryQueue m_rule;
    std::vector<Choice> m_features;
    std::vector<Choice> m_operators;
    int m_featureIndex = 0;
    int m_operatorIndex = 0;
    std::string m_valueText;
    int m_selectedLine = -1;
};

} // namespace quadrel
