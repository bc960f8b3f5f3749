#include "document/profile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace quadrel {

namespace fs = std::filesystem;

namespace {

// Values are kept on one line: backslash, newline and carriage return are escaped.
std::string escape(const std::string& v) {
    std::string out;
    for (char c : v) {
        if (c == '\\') out += "\\\\";
        else if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else out += c;
    }
    return out;
}

std::string unescape(const std::string& v) {
    std::string out;
    for (size_t i = 0; i < v.size(); ++i) {
        if (v[i] == '\\' && i + 1 < v.size()) {
            const char n = v[++i];
            out += n == 'n' ? '\n' : n == 'r' ? '\r' : n;
        } else {
            out += v[i];
        }
    }
    return out;
}

std::string trim(const std::string& s) {
    const size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return {};
    const size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

std::string& overridePath() {
    static std::string p;
    return p;
}

} // namespace

std::string SettingsStore::defaultPath() {
    if (!overridePath().empty()) return overridePath();
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    fs::path base;
    if (xdg && *xdg) {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = fs::path(home && *home ? home : ".") / ".config";
    }
    return (base / "Norvane" / "Quadrel.conf").string();
}

SettingsStore& SettingsStore::instance() {
    static SettingsStore store(defaultPath());
    return store;
}

void SettingsStore::setDefaultPath(const std::string& path) {
    overridePath() = path;
    SettingsStore& s = instance();
    std::lock_guard<std::mutex> lock(s.m_mutex);
    s.m_path = path;
    s.m_sections.clear();
    s.load();
}

SettingsStore::SettingsStore(std::string path) : m_path(std::move(path)) { load(); }

void SettingsStore::load() {
    std::ifstream in(m_path);
    if (!in) return; // a first start has no settings yet
    std::string line, section;
    while (std::getline(in, line)) {
        const std::string t = trim(line);
        if (t.empty() || t[0] == ';' || t[0] == '#') continue;
        if (t.front() == '[' && t.back() == ']') {
            section = t.substr(1, t.size() - 2);
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        m_sections[section][trim(line.substr(0, eq))] = unescape(line.substr(eq + 1));
    }
}

bool SettingsStore::save() {
    std::error_code ec;
    const fs::path target(m_path);
    if (target.has_parent_path()) fs::create_directories(target.parent_path(), ec);
    const std::string tmp = m_path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::trunc);
        if (!out) {
            m_lastError = "cannot write " + tmp + ": " + std::strerror(errno);
            return false;
        }
        for (const auto& [section, keys] : m_sections) {
            out << '[' << section << "]\n";
            for (const auto& [k, v] : keys) out << k << '=' << escape(v) << '\n';
            out << '\n';
        }
        out.flush();
        if (!out) {
            m_lastError = "cannot write " + tmp;
            fs::remove(tmp, ec);
            return false;
        }
    }
    fs::rename(tmp, target, ec);
    if (ec) {
        m_lastError = "cannot replace " + m_path + ": " + ec.message();
        fs::remove(tmp, ec);
        return false;
    }
    m_lastError.clear();
    return true;
}

std::optional<std::string> SettingsStore::get(const std::string& section, const std::string& key) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto s = m_sections.find(section);
    if (s == m_sections.end()) return std::nullopt;
    auto k = s->second.find(key);
    if (k == s->second.end()) return std::nullopt;
    return k->second;
}

bool SettingsStore::set(const std::string& section, const std::string& key, const std::string& value) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sections[section][key] = value;
    return save();
}

bool SettingsStore::remove(const std::string& section, const std::string& key) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto s = m_sections.find(section);
    if (s == m_sections.end() || s->second.erase(key) == 0) return true;
    return save();
}

CProfile::CProfile(std::string section, SettingsStore* store) : m_section(std::move(section)), m_store(store) {}

int CProfile::getInt(const std::string& key, int defaultValue) const {
    const auto v = store().get(m_section, key);
    if (!v) return defaultValue;
    // Like the platform's profile reader: leading digits count, anything else reads as 0.
    return static_cast<int>(std::strtol(v->c_str(), nullptr, 10));
}

double CProfile::getDouble(const std::string& key, double defaultValue) const {
    char def[64];
    std::snprintf(def, sizeof def, "%f", defaultValue);
    const std::string text = getString(key, def);
    return std::strtod(text.c_str(), nullptr);
}

std::string CProfile::getString(const std::string& key, const std::string& defaultValue) const {
    return store().get(m_section, key).value_or(defaultValue);
}

bool CProfile::writeInt(const std::string& key, int value) { return store().set(m_section, key, std::to_string(value)); }

bool CProfile::writeDouble(const std::string& key, double value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%f", value);
    return store().set(m_section, key, buf);
}

bool CProfile::writeString(const std::string& key, const std::string& value) {
    return store().set(m_section, key, value);
}

} // namespace quadrel
