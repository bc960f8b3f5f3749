#include "persistence/stream_registry.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cxxabi.h>
#include <mutex>

namespace quadrel {

namespace {

// Byte-wise, case-sensitive order of unsigned characters, then module id; an id of 0 matches any.
int compareEntry(const std::string& aName, int aModule, const std::string& bName, int bModule) {
    const int c = std::strcmp(aName.c_str(), bName.c_str());
    if (c != 0) return c < 0 ? -1 : 1;
    if (aModule == 0 || bModule == 0 || aModule == bModule) return 0;
    return aModule < bModule ? -1 : 1;
}

[[noreturn]] void throwUnregistered(const std::string& name) {
    throw TXBase("Attempt to stream unregistered type '" + name + "'");
}

// The class name as the program spells it: without namespaces.
std::string plainClassName(const std::type_info& type) {
    int status = 0;
    char* demangled = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
    std::string name = status == 0 && demangled ? demangled : type.name();
    std::free(demangled);
    if (const size_t colon = name.rfind("::"); colon != std::string::npos) name.erase(0, colon + 2);
    return name;
}

} // namespace

StreamClassRegistry& StreamClassRegistry::global() {
    // Filled once, on first use, so that no stream ever sees a half-built registry and no translation unit of
    // the static library can be left out by the linker.
    struct Filled {
        StreamClassRegistry registry;
        Filled() {
            registerCellStreamClasses(registry);
            registerCalibrationStreamClasses(registry);
            registerOverlayStreamClasses(registry);
            registerStorageStreamClasses(registry);
            registerFeatureStreamClasses(registry);
            // Classes of further families register here the same way.
        }
    };
    static Filled instance;
    return instance.registry;
}

void StreamClassRegistry::registerClass(StreamClassEntry entry) {
    auto owned = std::make_unique<StreamClassEntry>(std::move(entry));
    std::unique_lock lock(m_lock);
    // Insertion keeps the order; an entry equal to existing ones goes after them.
    size_t hole = m_entries.size();
    m_entries.emplace_back();
    while (hole > 0) {
        const StreamClassEntry& before = *m_entries[hole - 1];
        const int c = std::strcmp(owned->name.c_str(), before.name.c_str());
        const bool sortsBefore =
            c < 0 || (c == 0 && owned->moduleId != 0 && before.moduleId != 0 && owned->moduleId < before.moduleId);
        if (!sortsBefore) break;
        m_entries[hole] = std::move(m_entries[hole - 1]);
        --hole;
    }
    m_entries[hole] = std::move(owned);
}

bool StreamClassRegistry::unregisterClass(const std::string& name, int moduleId) {
    std::unique_lock lock(m_lock);
    auto it = std::find_if(m_entries.begin(), m_entries.end(), [&](const std::unique_ptr<StreamClassEntry>& e) {
        return compareEntry(e->name, e->moduleId, name, moduleId) == 0;
    });
    if (it == m_entries.end()) return false;
    m_entries.erase(it);
    return true;
}

const StreamClassEntry* StreamClassRegistry::find(const std::string& name) const {
    size_t lo = 0, hi = m_entries.size();
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        const int c = compareEntry(m_entries[mid]->name, m_entries[mid]->moduleId, name, 0);
        if (c < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    if (lo < m_entries.size() && m_entries[lo]->name == name) return m_entries[lo].get();
    return nullptr;
}

const StreamClassEntry& StreamClassRegistry::lookup(const std::string& name) const {
    std::shared_lock lock(m_lock);
    if (const StreamClassEntry* e = find(name)) return *e;
    throwUnregistered(name);
}

const StreamClassEntry& StreamClassRegistry::lookupObject(const TStreamableBase& object) const {
    const std::type_info& type = typeid(object);
    {
        std::shared_lock lock(m_lock);
        for (const auto& e : m_entries)
            if (*e->type == type) return *e;
    }
    throwUnregistered(plainClassName(type));
}

bool StreamClassRegistry::contains(const std::string& name) const {
    std::shared_lock lock(m_lock);
    return find(name) != nullptr;
}

size_t StreamClassRegistry::size() const {
    std::shared_lock lock(m_lock);
    return m_entries.size();
}

} // namespace quadrel
