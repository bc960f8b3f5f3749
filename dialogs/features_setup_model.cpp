#include "dialogs/features_setup_model.h"

#include "core/features.h"
#include "dialogs/dialog_support.h"
#include "dialogs/stream_file.h"

#include <algorithm>

namespace quadrel {

namespace {

std::vector<int> normalised(std::vector<int> indices, size_t size) {
    std::erase_if(indices, [&](int i) { return i < 0 || static_cast<size_t>(i) >= size; });
    std::sort(indices.begin(), indices.end());
    indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
    return indices;
}

} // namespace

FeaturesSetupModel::FeaturesSetupModel(std::vector<int32_t> chosen, SettingsStore* settings)
    : m_settings(settings), m_chosenIds(std::move(chosen)) {
    for (const NamedFeature& f : featuresInListOrder())
        m_available.push_back(f.name);
    for (int32_t id : m_chosenIds) {
        const std::string& name = featureName(TFeature(id));
        if (!name.empty()) m_chosen.push_back({name, id});
    }
}

void FeaturesSetupModel::setAvailableSelection(std::vector<int> indices) {
    m_availableSelection = normalised(std::move(indices), m_available.size());
}

void FeaturesSetupModel::setChosenSelection(std::vector<int> indices) {
    m_chosenSelection = normalised(std::move(indices), m_chosen.size());
}

void FeaturesSetupModel::append(const std::string& name) {
    for (const Entry& e : m_chosen)
        if (sameListText(e.text, name)) return;
    m_chosen.push_back({name, featureFromName(name).id()});
}

void FeaturesSetupModel::addAll() {
    for (const std::string& name : m_available)
        append(name);
    rebuildIdentifiers();
}

void FeaturesSetupModel::addSelected() {
    for (int i : m_availableSelection)
        append(m_available[static_cast<size_t>(i)]);
    rebuildIdentifiers();
}

void FeaturesSetupModel::removeSelected() {
    for (auto it = m_chosenSelection.rbegin(); it != m_chosenSelection.rend(); ++it)
        m_chosen.erase(m_chosen.begin() + *it);
    m_chosenSelection.clear();
    rebuildIdentifiers();
}

void FeaturesSetupModel::removeAll() {
    m_chosen.clear();
    m_chosenSelection.clear();
    rebuildIdentifiers();
}

void FeaturesSetupModel::moveUp() {
    if (!m_chosenSelection.empty() && m_chosenSelection.front() > 0) {
        for (int& i : m_chosenSelection) {
            std::swap(m_chosen[static_cast<size_t>(i)], m_chosen[static_cast<size_t>(i - 1)]);
            --i;
        }
    }
    rebuildIdentifiers();
}

void FeaturesSetupModel::moveDown() {
    if (!m_chosenSelection.empty() && static_cast<size_t>(m_chosenSelection.back()) + 1 < m_chosen.size()) {
        for (auto it = m_chosenSelection.rbegin(); it != m_chosenSelection.rend(); ++it) {
            std::swap(m_chosen[static_cast<size_t>(*it)], m_chosen[static_cast<size_t>(*it + 1)]);
            ++*it;
        }
    }
    rebuildIdentifiers();
}

void FeaturesSetupModel::rebuildIdentifiers() {
    m_chosenIds.clear();
    for (const Entry& e : m_chosen) {
        const TFeature f = featureFromName(e.text);
        if (f.id() != 0) m_chosenIds.push_back(f.id());
    }
}

std::string FeaturesSetupModel::fileFolder() const {
    return rememberedFolder(m_settings);
}

StreamReadResult FeaturesSetupModel::load(const std::filesystem::path& path) {
    TSetOfFeatures set;
    const StreamReadResult r = readObjectFile(path, set);
    if (r.ok()) {
        m_chosen.clear();
        m_chosenSelection.clear();
        for (const TFeature& f : set) {
            const std::string& name = featureName(f);
            m_chosen.push_back({name.empty() ? kUnknownName : name, f.id()});
        }
        rebuildIdentifiers();
    }
    rememberFolderOf(path, m_settings);
    return r;
}

bool FeaturesSetupModel::saveAs(const std::filesystem::path& path, std::string* error) {
    // The entries' own identifiers, so that an unnamed one loaded from a file is written back as it was.
    TSetOfFeatures set;
    for (const Entry& e : m_chosen)
        set.add(TFeature(e.id));
    const std::filesystem::path target = withDefaultExtension(path, kFileExtension);
    const bool ok = writeObjectFile(target, set, error);
    rememberFolderOf(target, m_settings);
    return ok;
}

} // namespace quadrel
