#include "persistence/storage_document.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-stdio.h>
#include <gsf/gsf-utils.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace quadrel {

namespace fs = std::filesystem;

namespace {

constexpr size_t kCopyChunk = 0x40000; // 256 KiB
constexpr size_t kZipChunk = 16384;
constexpr const char* kTableStream = "__TABLE_OF_CONTENTS__";
constexpr const char* kLegacyTableStream = "__CONTENTS__";
// An item read into memory is a tag record or a region, never more than this.
constexpr uint64_t kMaxItemInMemory = uint64_t{1} << 30;

void ensureGsf() {
    static std::once_flag once;
    std::call_once(once, [] { gsf_init(); });
}

std::string gerror(GError* e, const char* fallback) {
    std::string s = e && e->message ? e->message : fallback;
    if (e) g_error_free(e);
    return s;
}

// A file in the private temporary folder, removed when it goes.
class TempFile {
public:
    explicit TempFile(const std::string& dir) {
        std::string templ = (dir.empty() ? std::string("/tmp") : dir) + "/TFNXXXXXX";
        const int fd = mkstemp(templ.data());
        if (fd >= 0) {
            ::close(fd);
            m_path = templ;
        }
    }
    ~TempFile() {
        if (!m_path.empty()) ::unlink(m_path.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

std::string tempFolder() {
    std::error_code ec;
    const fs::path p = fs::temp_directory_path(ec);
    return ec ? "/tmp" : p.string();
}

bool gzipFile(const std::string& from, const std::string& to, std::string& error) {
    FILE* in = std::fopen(from.c_str(), "rb");
    if (!in) {
        error = "cannot read " + from;
        return false;
    }
    gzFile out = gzopen(to.c_str(), "wb");
    if (!out) {
        std::fclose(in);
        error = "cannot write " + to;
        return false;
    }
    std::vector<char> buf(kZipChunk);
    bool ok = true;
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), in)) > 0)
        if (gzwrite(out, buf.data(), static_cast<unsigned>(n)) != static_cast<int>(n)) {
            ok = false;
            break;
        }
    ok = ok && !std::ferror(in);
    std::fclose(in);
    ok = gzclose(out) == Z_OK && ok;
    if (!ok) error = "cannot compress " + from;
    return ok;
}

// Decompresses with a bound on the output: no real item grows more than the deflate format allows.
bool gunzipFile(const std::string& from, const std::string& to, uint64_t compressedSize, std::string& error) {
    gzFile in = gzopen(from.c_str(), "rb");
    if (!in) {
        error = "cannot read the compressed item";
        return false;
    }
    FILE* out = std::fopen(to.c_str(), "wb");
    if (!out) {
        gzclose(in);
        error = "cannot write " + to;
        return false;
    }
    const uint64_t limit = compressedSize * 1100 + (1u << 20);
    std::vector<char> buf(kZipChunk);
    uint64_t written = 0;
    bool ok = true;
    int n;
    while ((n = gzread(in, buf.data(), static_cast<unsigned>(buf.size()))) > 0) {
        written += static_cast<uint64_t>(n);
        if (written > limit || std::fwrite(buf.data(), 1, static_cast<size_t>(n), out) != static_cast<size_t>(n)) {
            ok = false;
            break;
        }
    }
    // A damaged compressed stream ends the copy; what was written so far stays.
    gzclose(in);
    ok = std::fclose(out) == 0 && ok;
    if (!ok) error = "cannot decompress the item into " + to;
    return ok;
}

GsfInput* childInput(GsfInfile* storage, const std::string& name) {
    return storage ? gsf_infile_child_by_name(storage, name.c_str()) : nullptr;
}

bool isStorage(GsfInput* in) { return GSF_IS_INFILE(in) && gsf_infile_num_children(GSF_INFILE(in)) >= 0; }

bool copyInput(GsfInput* in, GsfOutput* out) {
    gsf_off_t left = gsf_input_size(in);
    std::vector<guint8> buf(kCopyChunk);
    gsf_input_seek(in, 0, G_SEEK_SET);
    while (left > 0) {
        const size_t n = static_cast<size_t>(std::min<gsf_off_t>(left, static_cast<gsf_off_t>(buf.size())));
        if (!gsf_input_read(in, n, buf.data())) return false;
        if (!gsf_output_write(out, n, buf.data())) return false;
        left -= static_cast<gsf_off_t>(n);
    }
    return true;
}

} // namespace

// ---- open modes ----

StorageAccess translateOpenMode(uint32_t mode, bool child) {
    constexpr uint32_t STGM_READ = 0x0, STGM_WRITE = 0x1, STGM_READWRITE = 0x2;
    constexpr uint32_t STGM_SHARE_DENY_NONE = 0x40, STGM_SHARE_DENY_READ = 0x30, STGM_SHARE_DENY_WRITE = 0x20,
                       STGM_SHARE_EXCLUSIVE = 0x10;
    constexpr uint32_t STGM_TRANSACTED = 0x10000, STGM_CONVERT = 0x20000, STGM_PRIORITY = 0x40000,
                       STGM_DELETEONRELEASE = 0x4000000, STGM_CREATE = 0x1000;
    StorageAccess a;
    const bool read = mode & kModeRead, write = mode & kModeWrite;
    if (!read && !write) return a;
    uint32_t share = mode & kModeShareMask;
    if (share == 0) {
        if ((mode & kModeTransacted) || child) share = write ? 0x0A00 : 0x0E00;
        else if (write) {
            share = 0x0800;
            mode |= kModeRead;
        } else share = 0x0A00;
    }
    const bool r = mode & kModeRead;
    a.flags = r && write ? STGM_READWRITE : write ? STGM_WRITE : STGM_READ;
    switch (share) {
    case 0x0800: a.flags |= STGM_SHARE_EXCLUSIVE; break;
    case 0x0A00: a.flags |= STGM_SHARE_DENY_WRITE; break;
    case 0x0C00: a.flags |= STGM_SHARE_DENY_READ; break;
    case 0x0E00: a.flags |= STGM_SHARE_DENY_NONE; break;
    default: break; // 0x0600: compatibility mode
    }
    if (mode & kModeTransacted) a.flags |= STGM_TRANSACTED;
    if (mode & kModePreserve) a.flags |= STGM_CONVERT;
    if (mode & kModePriority) a.flags |= STGM_PRIORITY;
    if (mode & kModeTemporary) a.flags |= STGM_DELETEONRELEASE;
    if (child) a.flags = (a.flags & ~0x70u) | STGM_SHARE_EXCLUSIVE;
    if (!write) {
        a.action = StorageAccess::Action::Open;
    } else if (mode & kModeCreateOnly) {
        a.action = StorageAccess::Action::Create;
    } else if (mode & kModeNoReplace) {
        a.action = StorageAccess::Action::Open;
    } else if (!(mode & kModeTruncate) && (mode & (kModeAtEnd | kModeAppend))) {
        a.action = StorageAccess::Action::OpenOrCreate;
    } else {
        a.action = StorageAccess::Action::CreateReplace;
        a.flags |= STGM_CREATE;
    }
    a.valid = true;
    return a;
}

// ---- pending changes ----

struct PendingStream {
    std::string sourcePath;            // copied at commit, or
    std::vector<uint8_t> bytes;        // written at commit
    std::shared_ptr<TempFile> ownedTemp;
};

struct TStorageDocument::Pending {
    std::map<std::string, PendingStream> streams; // by element name
};

TStorageDocument::TStorageDocument() : m_pending(std::make_unique<Pending>()) {}

TStorageDocument::~TStorageDocument() { dropSource(); }

TStorageDocument* TStorageDocument::root() {
    TStorageDocument* d = this;
    while (d->m_parent) d = static_cast<TStorageDocument*>(d->m_parent);
    return d;
}

void TStorageDocument::dropSource() {
    for (auto& c : m_children) c->dropSource();
    if (m_source) {
        g_object_unref(m_source);
        m_source = nullptr;
    }
}

bool TStorageDocument::openSource(std::string& error) {
    ensureGsf();
    if (m_parent) {
        auto* parent = static_cast<TStorageDocument*>(m_parent);
        GsfInput* in = childInput(parent->m_source, m_title);
        if (in && isStorage(in)) m_source = GSF_INFILE(in);
        else if (in) g_object_unref(in);
        return true;
    }
    if (!TCompoundDocument::isCompoundFile(m_path)) return true; // a new file: nothing to read yet
    GError* err = nullptr;
    GsfInput* in = gsf_input_stdio_new(m_path.c_str(), &err);
    if (!in) {
        error = m_path + ": " + gerror(err, "cannot open the file");
        return false;
    }
    GsfInfile* ole = gsf_infile_msole_new(in, &err);
    g_object_unref(in);
    if (!ole) {
        error = m_path + ": " + gerror(err, "not a readable compound file");
        return false;
    }
    m_source = ole;
    return true;
}

bool TStorageDocument::writeWhole() {
    TStorageDocument* r = root();
    if (r != this) return r->writeWhole();
    ensureGsf();
    const fs::path target(m_path);
    const std::string dir = target.has_parent_path() ? target.parent_path().string() : ".";
    std::string tmp = dir + "/." + target.filename().string() + ".XXXXXX";
    const int fd = mkstemp(tmp.data());
    if (fd < 0) {
        m_error = m_path + ": cannot create a file beside it: " + std::strerror(errno);
        return false;
    }
    ::close(fd);
    GError* err = nullptr;
    GsfOutput* out = gsf_output_stdio_new(tmp.c_str(), &err);
    if (!out) {
        ::unlink(tmp.c_str());
        m_error = m_path + ": " + gerror(err, "cannot write");
        return false;
    }
    GsfOutfile* ole = gsf_outfile_msole_new(out);
    g_object_unref(out);

    std::function<bool(TStorageDocument&, GsfInfile*, GsfOutfile*)> write = [&](TStorageDocument& node, GsfInfile* src,
                                                                               GsfOutfile* dst) -> bool {
        std::set<std::string> done;
        for (const auto& [name, p] : node.m_pending->streams) done.insert(name);
        // Elements as they were, unless replaced.
        const int n = src ? gsf_infile_num_children(src) : 0;
        for (int i = 0; i < n; ++i) {
            const char* cname = gsf_infile_name_by_index(src, i);
            if (!cname) return false;
            const std::string name = cname;
            if (done.count(name)) continue;
            GsfInput* in = gsf_infile_child_by_index(src, i);
            if (!in) return false;
            bool ok;
            if (isStorage(in)) {
                TStorageDocument* open = nullptr;
                for (auto& c : node.m_children)
                    if (c->m_title == name) open = c.get();
                GsfOutput* sub = gsf_outfile_new_child(dst, name.c_str(), TRUE);
                ok = sub && (open ? write(*open, GSF_INFILE(in), GSF_OUTFILE(sub))
                                  : write(*std::make_unique<TStorageDocumentEx>(), GSF_INFILE(in), GSF_OUTFILE(sub)));
                if (sub) {
                    ok = gsf_output_close(sub) && ok;
                    g_object_unref(sub);
                }
            } else {
                GsfOutput* s = gsf_outfile_new_child(dst, name.c_str(), FALSE);
                ok = s && copyInput(in, s);
                if (s) {
                    ok = gsf_output_close(s) && ok;
                    g_object_unref(s);
                }
            }
            g_object_unref(in);
            done.insert(name);
            if (!ok) return false;
        }
        // New and replaced streams.
        for (const auto& [name, p] : node.m_pending->streams) {
            GsfOutput* s = gsf_outfile_new_child(dst, name.c_str(), FALSE);
            if (!s) return false;
            bool ok = true;
            if (!p.sourcePath.empty()) {
                FILE* f = std::fopen(p.sourcePath.c_str(), "rb");
                ok = f != nullptr;
                std::vector<guint8> buf(kCopyChunk);
                size_t k;
                while (ok && (k = std::fread(buf.data(), 1, buf.size(), f)) > 0) ok = gsf_output_write(s, k, buf.data());
                if (f) {
                    ok = ok && !std::ferror(f);
                    std::fclose(f);
                }
            } else if (!p.bytes.empty()) {
                ok = gsf_output_write(s, p.bytes.size(), p.bytes.data());
            }
            ok = gsf_output_close(s) && ok;
            g_object_unref(s);
            if (!ok) return false;
        }
        // Sub-storages created since the last commit.
        for (auto& c : node.m_children) {
            if (done.count(c->m_title)) continue;
            GsfOutput* sub = gsf_outfile_new_child(dst, c->m_title.c_str(), TRUE);
            bool ok = sub && write(*c, nullptr, GSF_OUTFILE(sub));
            if (sub) {
                ok = gsf_output_close(sub) && ok;
                g_object_unref(sub);
            }
            if (!ok) return false;
        }
        return true;
    };

    bool ok = write(*this, m_source, ole);
    ok = gsf_output_close(GSF_OUTPUT(ole)) && ok;
    g_object_unref(ole);
    if (ok) {
        // The new file must be on disk before it replaces the old one.
        const int f = ::open(tmp.c_str(), O_RDONLY);
        ok = f >= 0 && ::fsync(f) == 0;
        if (f >= 0) ::close(f);
    }
    if (!ok) {
        ::unlink(tmp.c_str());
        m_error = m_path + ": the document could not be written";
        return false;
    }
    // Keep the permissions of the file it replaces, or the ordinary ones of a new file.
    struct stat st {};
    if (::stat(m_path.c_str(), &st) == 0) ::chmod(tmp.c_str(), st.st_mode & 07777);
    else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::chmod(tmp.c_str(), 0666 & ~mask);
    }
    dropSource();
    if (std::rename(tmp.c_str(), m_path.c_str()) != 0) {
        m_error = m_path + ": cannot replace the file: " + std::strerror(errno);
        ::unlink(tmp.c_str());
        std::string e;
        openSource(e);
        return false;
    }
    // Everything is in the file now: read from it again.
    std::function<void(TStorageDocument&)> settle = [&](TStorageDocument& n) {
        n.m_pending->streams.clear();
        n.m_dirty = false;
        std::string e;
        n.openSource(e);
        for (auto& c : n.m_children) settle(*c);
    };
    settle(*this);
    return true;
}

bool TStorageDocument::commit() {
    if (!m_open) return false;
    // The whole file is written from the root, when anything in it changed.
    TStorageDocument* r = root();
    std::function<bool(const TStorageDocument&)> dirty = [&](const TStorageDocument& d) {
        if (d.m_dirty) return true;
        for (const auto& c : d.m_children)
            if (dirty(*c)) return true;
        return false;
    };
    return dirty(*r) ? r->writeWhole() : true;
}

void TStorageDocument::revert() {
    for (auto& c : m_children) c->revert();
    m_pending->streams.clear();
    m_dirty = false;
    if (auto* ex = dynamic_cast<TStorageDocumentEx*>(this); ex && m_open) ex->loadTable();
}

void TStorageDocument::close() {
    for (auto& c : m_children) c->close();
    m_children.clear();
    dropSource();
    m_pending->streams.clear();
    m_open = false;
    m_dirty = false;
}

// ---- the storage with its table ----

bool TStorageDocumentEx::open(uint32_t mode, const std::string& pathOrName) {
    if (m_open) return true;
    const StorageAccess access = translateOpenMode(mode, m_parent != nullptr);
    if (!access.valid) {
        m_error = "no read or write access asked for";
        return false;
    }
    m_openMode = mode;
    if (!m_parent) {
        m_path = pathOrName;
        m_title = fs::path(pathOrName).filename().string();
        std::error_code ec;
        const bool exists = fs::exists(pathOrName, ec);
        const bool compound = exists && TCompoundDocument::isCompoundFile(pathOrName);
        if (access.action == StorageAccess::Action::Open && !compound) {
            m_error = exists ? pathOrName + ": not a compound file" : pathOrName + ": no such file";
            return false;
        }
        if (access.action == StorageAccess::Action::Create && exists) {
            m_error = pathOrName + ": the file exists already";
            return false;
        }
        if (access.action == StorageAccess::Action::OpenOrCreate && exists && !compound) {
            m_error = pathOrName + ": not a compound file";
            return false;
        }
        // A created document starts empty; the file is replaced when it is first committed.
        if (access.action != StorageAccess::Action::CreateReplace && access.action != StorageAccess::Action::Create &&
            !openSource(m_error))
            return false;
    } else {
        m_title = pathOrName;
        if (!openSource(m_error)) return false;
    }
    m_open = true;
    loadTable();
    return true;
}

std::vector<std::string> TStorageDocumentEx::elementNames() const {
    std::set<std::string> names;
    const int n = m_source ? gsf_infile_num_children(m_source) : 0;
    for (int i = 0; i < n; ++i)
        if (const char* c = gsf_infile_name_by_index(m_source, i)) names.insert(c);
    for (const auto& [name, p] : m_pending->streams) names.insert(name);
    return {names.begin(), names.end()};
}

void TStorageDocumentEx::loadTable() {
    m_table.clear();
    const std::vector<std::string> names = elementNames();
    auto has = [&](const char* n) { return std::find(names.begin(), names.end(), n) != names.end(); };
    std::string error;
    if (has(kTableStream)) {
        if (auto bytes = readElement(kTableStream); bytes && !bytes->empty()) {
            readContentTable(*bytes, m_table, error);
            return;
        }
    }
    if (has(kLegacyTableStream))
        if (auto bytes = readElement(kLegacyTableStream); bytes && !bytes->empty())
            readLegacyContents(*bytes, m_table, error);
}

bool TStorageDocumentEx::writeTable() { return writeElement(kTableStream, writeContentTable(m_table)); }

std::optional<std::vector<uint8_t>> TStorageDocumentEx::readElement(const std::string& elementName) {
    if (!m_open && !m_source && m_pending->streams.empty()) return std::nullopt;
    auto p = m_pending->streams.find(elementName);
    if (p != m_pending->streams.end()) {
        if (p->second.sourcePath.empty()) return p->second.bytes;
        std::error_code ec;
        const uintmax_t size = fs::file_size(p->second.sourcePath, ec);
        if (ec || size > kMaxItemInMemory) return std::nullopt;
        std::vector<uint8_t> bytes(static_cast<size_t>(size));
        FILE* f = std::fopen(p->second.sourcePath.c_str(), "rb");
        if (!f) return std::nullopt;
        const size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        if (got != bytes.size()) return std::nullopt;
        return bytes;
    }
    GsfInput* in = childInput(m_source, elementName);
    if (!in) return std::nullopt;
    std::optional<std::vector<uint8_t>> result;
    const gsf_off_t size = gsf_input_size(in);
    if (!isStorage(in) && size >= 0 && static_cast<uint64_t>(size) <= kMaxItemInMemory) {
        std::vector<uint8_t> bytes(static_cast<size_t>(size));
        if (size == 0 || gsf_input_read(in, static_cast<size_t>(size), bytes.data())) result = std::move(bytes);
    }
    g_object_unref(in);
    if (!result) m_error = "Unable to open/create Stream '" + elementName + "'.";
    return result;
}

bool TStorageDocumentEx::writeElement(const std::string& elementName, std::vector<uint8_t> bytes) {
    if (!m_open) return false;
    PendingStream& p = m_pending->streams[elementName];
    p = PendingStream{};
    p.bytes = std::move(bytes);
    m_dirty = true;
    return true;
}

bool TStorageDocumentEx::storeFile(const std::string& itemName, int32_t kind, bool compress,
                                   const std::string& sourcePath) {
    if (!m_open) {
        m_error = "the document is not open";
        return false;
    }
    auto found = m_table.find(itemName);
    std::shared_ptr<TContentItem> item = found != m_table.end() ? found->second : TContentItem::create(itemName, kind, compress);
    const std::string element = item->storageName();
    if (element.size() > 31) {
        m_error = "'" + element + "' is not a valid element name";
        return false;
    }
    PendingStream p;
    p.sourcePath = sourcePath;
    if (compress) {
        p.ownedTemp = std::make_shared<TempFile>(tempFolder());
        if (p.ownedTemp->path().empty() || !gzipFile(sourcePath, p.ownedTemp->path(), m_error)) return false;
        p.sourcePath = p.ownedTemp->path();
    }
    std::error_code ec;
    const uintmax_t size = fs::file_size(p.sourcePath, ec);
    if (ec || size == 0) {
        m_error = ec ? sourcePath + ": " + ec.message() : sourcePath + ": the file is empty";
        return false;
    }
    if (size > 0x7FFFFFFFu) {
        m_error = sourcePath + ": too large for a document item";
        return false;
    }
    m_pending->streams[element] = std::move(p);
    m_dirty = true;
    item->compressed = compress;
    item->storedSize = static_cast<int32_t>(size);
    item->findData = findDataOf(sourcePath);
    m_table[itemName] = item;
    return writeTable();
}

bool TStorageDocumentEx::extractFile(const std::string& itemName, const std::string& destinationPath) {
    auto found = m_table.find(itemName);
    if (found == m_table.end() || !m_open) return false;
    auto bytes = readElement(found->second->storageName());
    if (!bytes) return false;
    if (bytes->empty()) return true; // an empty stream makes no file
    const bool compressed = found->second->compressed;
    TempFile temp(tempFolder());
    const std::string target = compressed ? temp.path() : destinationPath;
    if (target.empty()) return false;
    FILE* f = std::fopen(target.c_str(), "wb");
    if (!f) {
        m_error = "cannot write " + target;
        return false;
    }
    const bool written = std::fwrite(bytes->data(), 1, bytes->size(), f) == bytes->size();
    if (std::fclose(f) != 0 || !written) {
        m_error = "cannot write " + target;
        return false;
    }
    if (compressed) return gunzipFile(temp.path(), destinationPath, bytes->size(), m_error);
    return true;
}

std::optional<std::vector<uint8_t>> TStorageDocumentEx::readItem(const std::string& itemName) {
    auto found = m_table.find(itemName);
    if (found == m_table.end()) return std::nullopt;
    return readElement(found->second->storageName());
}

TStorageDocumentEx* TStorageDocumentEx::child(const std::string& name, uint32_t mode) {
    auto it = m_table.find(name);
    if (it == m_table.end() || it->second->kind != kContentStorage) return nullptr;
    for (auto& c : m_children)
        if (c->m_title == it->second->storageName()) return static_cast<TStorageDocumentEx*>(c.get());
    auto doc = std::make_unique<TStorageDocumentEx>();
    doc->m_parent = this;
    if (!doc->open(mode ? mode : m_openMode, it->second->storageName())) return nullptr;
    doc->m_title = it->second->storageName();
    m_children.push_back(std::move(doc));
    return static_cast<TStorageDocumentEx*>(m_children.back().get());
}

// ---- the facade ----

TCompoundDocument::TCompoundDocument() : m_root(std::make_unique<TStorageDocumentEx>()) {}
TCompoundDocument::~TCompoundDocument() = default;

bool TCompoundDocument::isCompoundFile(const std::string& path) {
    static const uint8_t signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    uint8_t head[8] = {};
    const size_t n = std::fread(head, 1, 8, f);
    std::fclose(f);
    return n == 8 && std::memcmp(head, signature, 8) == 0;
}

bool TCompoundDocument::open(uint32_t mode, const std::string& path) {
    if (!m_root->open(mode ? mode : (kModeRead | kModeWrite | kModeAppend | kModeTransacted), path)) {
        m_error = m_root->lastError();
        return false;
    }
    return true;
}

TStorageDocumentEx* TCompoundDocument::resolve(const std::string& itemPath, std::string& itemName) {
    TStorageDocumentEx* node = m_root.get();
    size_t start = 0, sep;
    while ((sep = itemPath.find('\\', start)) != std::string::npos) {
        node = node->child(itemPath.substr(start, sep - start), 0);
        if (!node) {
            m_error = "'" + itemPath + "': no such storage";
            return nullptr;
        }
        start = sep + 1;
    }
    itemName = itemPath.substr(start);
    return node;
}

bool TCompoundDocument::storeFile(const std::string& itemPath, const std::string& sourcePath, bool compress) {
    std::string name;
    TStorageDocumentEx* node = resolve(itemPath, name);
    if (!node) return false;
    if (!node->storeFile(name, kContentStream, compress, sourcePath) || !node->commit()) {
        m_error = node->lastError().empty() ? m_root->lastError() : node->lastError();
        node->revert();
        return false;
    }
    return true;
}

std::optional<std::vector<uint8_t>> TCompoundDocument::readItem(const std::string& itemPath) {
    std::string name;
    TStorageDocumentEx* node = resolve(itemPath, name);
    return node ? node->readItem(name) : std::nullopt;
}

bool TCompoundDocument::extractFile(const std::string& itemPath, const std::string& destinationPath) {
    std::string name;
    TStorageDocumentEx* node = resolve(itemPath, name);
    return node && node->extractFile(name, destinationPath);
}

bool TCompoundDocument::exists(const std::string& itemPath) {
    std::string name;
    TStorageDocumentEx* node = resolve(itemPath, name);
    return node && node->hasItem(name);
}

void TCompoundDocument::close() { m_root->close(); }

} // namespace quadrel
