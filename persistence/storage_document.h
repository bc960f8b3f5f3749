#pragma once

#include "persistence/content_table.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

typedef struct _GsfInfile GsfInfile;

namespace quadrel {

// Open-mode bits of a storage document.
enum StorageMode : uint32_t {
    kModeRead = 0x0001,
    kModeWrite = 0x0002,
    kModeAtEnd = 0x0004,
    kModeAppend = 0x0008,
    kModeTruncate = 0x0010,
    kModeNoReplace = 0x0040,
    kModeNoCreate = kModeNoReplace,
    kModeCreateOnly = 0x0080,
    kModeShareMask = 0x0E00,
    kModeTransacted = 0x1000,
    kModePreserve = 0x2000,
    kModePriority = 0x4000,
    kModeTemporary = 0x8000,
};

// The storage access flags an open-mode word stands for, and whether the storage is opened, created or
// opened with creation as the fallback.
struct StorageAccess {
    enum class Action { Open, Create, CreateReplace, OpenOrCreate };
    bool valid = false;
    uint32_t flags = 0; // STGM_* values
    Action action = Action::Open;
};
StorageAccess translateOpenMode(uint32_t mode, bool child);

// A document: its parent, its children, its path, title and open mode, and whether it changed.
class TDocument {
public:
    virtual ~TDocument() = default;
    TDocument* parent() const { return m_parent; }
    const std::string& path() const { return m_path; }
    const std::string& title() const { return m_title; }
    uint32_t openMode() const { return m_openMode; }
    bool isDirty() const { return m_dirty; }

protected:
    TDocument* m_parent = nullptr;
    std::string m_path;
    std::string m_title;
    uint32_t m_openMode = 0;
    bool m_dirty = false;
};

// A storage of a compound file: the root storage of a file, or a sub-storage of its parent. The compound
// file is written whole: a commit writes the new file beside the old one, copying every element that did
// not change, and renames it over the old one, so no crash or full disk leaves half a document behind.
class TStorageDocument : public TDocument {
public:
    ~TStorageDocument() override;
    bool isOpen() const { return m_open; }
    bool commit();
    void revert();
    void close();
    const std::string& lastError() const { return m_error; }

protected:
    struct Pending; // streams and sub-storages written since the last commit
    TStorageDocument();
    TStorageDocument* root();
    bool writeWhole();
    void dropSource();
    bool openSource(std::string& error);

    bool m_open = false;
    GsfInfile* m_source = nullptr; // this storage in the file as last committed, if it exists there
    std::unique_ptr<Pending> m_pending;
    std::vector<std::unique_ptr<TStorageDocument>> m_children;
    std::string m_error;
    friend class TStorageDocumentEx;
    friend class TCompoundDocument;
};

// A storage with its table of contents and the item operations.
class TStorageDocumentEx : public TStorageDocument {
public:
    TStorageDocumentEx() = default;

    // Opens the root storage of the file at `path`, or (for a child) the sub-storage of that name.
    bool open(uint32_t mode, const std::string& pathOrName);

    bool storeFile(const std::string& itemName, int32_t kind, bool compress, const std::string& sourcePath);
    bool extractFile(const std::string& itemName, const std::string& destinationPath);
    std::optional<std::vector<uint8_t>> readItem(const std::string& itemName);
    bool hasItem(const std::string& itemName) const { return m_table.count(itemName) != 0; }
    std::optional<std::vector<uint8_t>> readElement(const std::string& elementName);
    bool writeElement(const std::string& elementName, std::vector<uint8_t> bytes);

    const ContentTable& table() const { return m_table; }
    // The child storage of that title, opened on first use; null when the table has no such storage item.
    TStorageDocumentEx* child(const std::string& name, uint32_t mode);

    // Reads the table of contents from the storage again.
    void loadTable();

private:
    bool writeTable();
    std::vector<std::string> elementNames() const;
    ContentTable m_table;
};

// The compound document as the rest of the program uses it: items addressed by paths whose components,
// separated by backslashes, name sub-storages and the item last.
class TCompoundDocument {
public:
    TCompoundDocument();
    ~TCompoundDocument();

    bool open(uint32_t mode, const std::string& path);
    bool storeFile(const std::string& itemPath, const std::string& sourcePath, bool compress = false);
    std::optional<std::vector<uint8_t>> readItem(const std::string& itemPath);
    bool extractFile(const std::string& itemPath, const std::string& destinationPath);
    bool exists(const std::string& itemPath);
    void close();
    const std::string& lastError() const { return m_error; }
    TStorageDocumentEx& rootStorage() { return *m_root; }

    static bool isCompoundFile(const std::string& path);

private:
    TStorageDocumentEx* resolve(const std::string& itemPath, std::string& itemName);
    std::unique_ptr<TStorageDocumentEx> m_root;
    std::string m_error;
};

} // namespace quadrel
