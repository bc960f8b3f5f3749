#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace quadrel {

// The per-user settings file: sections of key=value lines. By default
// $XDG_CONFIG_HOME/Norvane/Quadrel.conf (~/.config/Norvane/Quadrel.conf). Every write is saved at once,
// through a temporary file renamed over the old one, so a crash never leaves half a settings file.
class SettingsStore {
public:
    explicit SettingsStore(std::string path);

    // The store of this process; its file follows the XDG rule unless setDefaultPath was called.
    static SettingsStore& instance();
    // Points the process's store at another file (tests, portable set-ups); reloads it.
    static void setDefaultPath(const std::string& path);
    static std::string defaultPath();

    std::optional<std::string> get(const std::string& section, const std::string& key) const;
    // Returns false when the file could not be written (the value is still kept for this run).
    bool set(const std::string& section, const std::string& key, const std::string& value);
    bool remove(const std::string& section, const std::string& key);

    const std::string& path() const { return m_path; }
    // The last error while saving, for the caller to show or log; empty when the last save worked.
    const std::string& lastError() const { return m_lastError; }

private:
    void load();
    bool save();

    std::string m_path;
    std::map<std::string, std::map<std::string, std::string>> m_sections;
    std::string m_lastError;
    mutable std::mutex m_mutex;
};

// Reads and writes the values of one section of the settings, in the text forms every version of the
// program has used: integers as decimal text, doubles as "%f".
class CProfile {
public:
    explicit CProfile(std::string section, SettingsStore* store = nullptr);

    int getInt(const std::string& key, int defaultValue) const;
    double getDouble(const std::string& key, double defaultValue) const;
    std::string getString(const std::string& key, const std::string& defaultValue) const;

    bool writeInt(const std::string& key, int value);
    bool writeDouble(const std::string& key, double value);
    bool writeString(const std::string& key, const std::string& value);

    const std::string& section() const { return m_section; }

private:
    SettingsStore& store() const { return m_store ? *m_store : SettingsStore::instance(); }
    std::string m_section;
    SettingsStore* m_store;
};

} // namespace quadrel
