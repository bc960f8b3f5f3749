#include "dialogs/class_setup_model.h"

#include "dialogs/dialog_support.h"
#include "dialogs/stream_file.h"

namespace quadrel {

namespace {

bool inRange(int index, size_t size) {
    return index >= 0 && static_cast<size_t>(index) < size;
}

} // namespace

ClassSetupModel::ClassSetupModel(SettingsStore* settings) : m_settings(settings) {
    for (QueryOperation op : {QueryOperation::Equal, QueryOperation::Less, QueryOperation::LessEqual,
                              QueryOperation::Greater, QueryOperation::GreaterEqual, QueryOperation::NotEqual}) {
        const auto code = static_cast<int32_t>(op);
        m_operators.push_back({std::string(queryOperationText(code)), code});
    }
    for (const NamedFeature& f : featuresInListOrder())
        m_features.push_back({f.name, f.id});
}

bool ClassSetupModel::setFeatureIndex(int index) {
    if (!inRange(index, m_features.size())) return false;
    m_featureIndex = index;
    return true;
}

bool ClassSetupModel::setOperatorIndex(int index) {
    if (!inRange(index, m_operators.size())) return false;
    m_operatorIndex = index;
    return true;
}

void ClassSetupModel::add() {
    const Choice& feature = m_features[static_cast<size_t>(m_featureIndex)];
    const Choice& op = m_operators[static_cast<size_t>(m_operatorIndex)];
    // The text is built from the boxes' texts, as the user saw them.
    m_rule.append(TQueryCommand(TFeature(feature.data), op.data, parseQueryValue(m_valueText),
                                feature.text + " " + op.text + " " + m_valueText));
}

void ClassSetupModel::addAnd() {
    m_rule.append(TQueryCommand::combination(QueryOperation::And));
}

void ClassSetupModel::addOr() {
    m_rule.append(TQueryCommand::combination(QueryOperation::Or));
}

void ClassSetupModel::deleteSelected() {
    if (!inRange(m_selectedLine, m_rule.size())) return;
    m_rule.removeAt(m_selectedLine);
    // The line is gone, and with it the selection.
    m_selectedLine = -1;
}

std::vector<std::string> ClassSetupModel::ruleLines() const {
    std::vector<std::string> lines;
    lines.reserve(m_rule.size());
    for (const TQueryCommand& c : m_rule.commands())
        lines.push_back(c.text);
    return lines;
}

void ClassSetupModel::setSelectedLine(int line) {
    m_selectedLine = inRange(line, m_rule.size()) ? line : -1;
}

std::string ClassSetupModel::fileFolder() const {
    return rememberedFolder(m_settings);
}

StreamReadResult ClassSetupModel::load(const std::filesystem::path& path) {
    const StreamReadResult r = m_rule.load(path);
    if (r.ok()) m_selectedLine = -1; // the list was refilled
    rememberFolderOf(path, m_settings);
    return r;
}

bool ClassSetupModel::saveAs(const std::filesystem::path& path, std::string* error) {
    const std::filesystem::path target = withDefaultExtension(path, kFileExtension);
    const bool ok = m_rule.save(target, error);
    rememberFolderOf(target, m_settings);
    return ok;
}

} // namespace quadrel
