#pragma once

#include "core/guid.h"
#include "persistence/stream_registry.h"

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quadrel {

class ipstream;
class opstream;

enum ContentKind : int32_t { kContentStorage = 1, kContentStream = 2 };

// One entry of a storage's table of contents: an item as callers name it, and the element of the compound
// file that holds it.
class TContentItem {
public:
    static std::shared_ptr<TContentItem> create(const std::string& name, int32_t kind, bool compressed);

    std::string id; // 32 upper-case hexadecimal digits of a GUID, or empty
    std::string name;
    std::string description;
    int32_t kind = kContentStream;
    bool compressed = false;
    int32_t storedSize = 0;
    std::array<uint8_t, 36> findData{};
    std::vector<std::pair<std::string, std::string>> attributes;

    // The element name, made valid first when it is stale: names of up to 31 characters are kept, longer
    // ones (or, once an id exists, ones with a character elements cannot hold) become a 26-character
    // base-32 form of the item's GUID.
    const std::string& storageName();
    void setStorageName(std::string s, bool stale);
    bool storageNameStale() const { return m_stale; }

private:
    std::string m_storageName;
    bool m_stale = false;
};

// The items of one storage by name.
using ContentTable = std::map<std::string, std::shared_ptr<TContentItem>>;

// The stream "__TABLE_OF_CONTENTS__": a persistent stream with the table's fields.
std::vector<uint8_t> writeContentTable(ContentTable& table);
// Reads a table stream into `table` (which keeps what was read before damage); false with the reason on
// damage.
bool readContentTable(std::span<const uint8_t> bytes, ContentTable& table, std::string& error);
// Reads the older "__CONTENTS__" stream (a framed "TSetOfStorageElement") into `table`, skipping names
// already present.
bool readLegacyContents(std::span<const uint8_t> bytes, ContentTable& table, std::string& error);

// The 36-byte directory record of a file as the table keeps it: attributes, creation, last-access and
// last-write times (100 ns since 1601), size high, size low.
std::array<uint8_t, 36> findDataOf(const std::string& path);
std::array<uint8_t, 36> findDataNow();

// GUID texts of the table.
std::string guidToId(const TGUID& g);                      // 32 upper-case hex digits
std::optional<TGUID> idToGuid(const std::string& id);      // exactly 32 hex digits
std::string base32Name(const TGUID& g);                    // 26 characters
TGUID guidFromBase32(const std::string& name);

// The legacy table's element classes.
class TStorageElement : public TStreamableBase {
public:
    static constexpr const char* kStreamName = "TStorageElement";
    static constexpr uint32_t kClassVersion = 2;
    std::string name, second, third;
    int32_t kind = 0;
    bool compressed = false;
    int32_t storedSize = 0;
    std::array<uint8_t, 36> findData{};
    void readFields(ipstream& is, uint32_t version);
    void writeFields(opstream& os) const;
    QUADREL_FIELD_STREAMER(TStorageElement);
};

class TSetOfStorageElement : public TStreamableBase {
public:
    static constexpr const char* kStreamName = "TSetOfStorageElement";
    static constexpr uint32_t kClassVersion = 1;
    std::vector<std::shared_ptr<TStorageElement>> elements;
    void readFields(ipstream& is, uint32_t version);
    void writeFields(opstream& os) const;
    QUADREL_FIELD_STREAMER(TSetOfStorageElement);
};

void registerStorageStreamClasses(StreamClassRegistry& registry);

} // namespace quadrel
