#pragma once

// Class rules: comparisons of one feature with a number, joined by AND and OR in postfix order. A rule is
// evaluated on a stack; every selection left on it becomes one class.

#include "core/cell_dictionary.h"
#include "core/cells.h"
#include "core/features.h"
#include "persistence/stream_reader.h"

#include <bit>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quadrel {

// Operation codes as rule files store them; they must never change.
enum class QueryOperation : int32_t {
    Equal = 0,
    NotEqual = 1,
    Greater = 2,
    GreaterEqual = 3,
    Less = 4,
    LessEqual = 5,
    And = 6,
    Or = 7,
};

// The display text of an operation code ("=", "<>", ... "AND", "OR"); empty for codes outside 0..7.
std::string_view queryOperationText(int32_t operation);
bool isComparison(int32_t operation);

// The number a typed value stands for: leading white space skipped, the longest numeric prefix used, 0 when
// there is none. Always with the "." decimal point, whatever the user's locale, so a rule reads the same
// everywhere.
double parseQueryValue(std::string_view text);

// One command of a rule.
struct TQueryCommand : public TStreamableBase {
    TFeature feature; // 0 for AND and OR
    int32_t operation = 0;
    double value = 0.0; // 0 for AND and OR
    std::string text;   // display text; a comparison's text also names the selection it makes

    TQueryCommand() = default;
    TQueryCommand(TFeature f, int32_t op, double v, std::string t)
        : feature(f), operation(op), value(v), text(std::move(t)) {}

    // A comparison as the user wrote it: the text is the feature's name, the operator and the value text
    // exactly as typed (not reformatted); the value is what that text reads as.
    static TQueryCommand comparison(TFeature f, QueryOperation op, std::string_view valueText);
    // AND or OR.
    static TQueryCommand combination(QueryOperation op);

    friend bool operator==(const TQueryCommand& a, const TQueryCommand& b) {
        // Values compare bit for bit, so that a NaN the user typed reads back equal.
        return a.feature == b.feature && a.operation == b.operation &&
               std::bit_cast<uint64_t>(a.value) == std::bit_cast<uint64_t>(b.value) && a.text == b.text;
    }

    class Streamer; // the persisted form (persistence/feature_streams.cpp)
};

// A rule: its commands in order. The queue owns its commands; removing one destroys it.
class TQueryQueue : public TStreamableBase {
public:
    TQueryQueue() { m_commands.reserve(16); }

    void append(const TQueryCommand& command);
    // Later commands move down by one; an index out of range does nothing.
    void removeAt(int index);
    void clear() { m_commands.clear(); }

    size_t size() const { return m_commands.size(); }
    bool empty() const { return m_commands.empty(); }
    const TQueryCommand& at(size_t index) const { return m_commands.at(index); }
    const std::vector<TQueryCommand>& commands() const { return m_commands; }

    // Evaluates the rule on the cells' records, with the feature values in the calibration the tables
    // show them in (no scale: pixel units). Returns the evaluation stack, bottom first; every list on it is
    // a class to create. Each passing cell is named by its record's own label, never by the "Label"
    // feature, whose float cannot hold a label value.
    std::vector<TCellIdList> evaluate(const TCellDictionary& cells, FeatureScale scale = {}) const;

    // Class rule files (.slt): the stream header and this queue as the only object.
    // Writes to a new file beside `path` and renames it over the old one, so a failed save keeps the old file.
    bool save(const std::filesystem::path& path, std::string* error = nullptr) const;
    // Replaces the commands by the file's rule only when the whole file was read and holds a rule; a file
    // that cannot be opened, is damaged or holds anything else leaves the rule as it was.
    StreamReadResult load(const std::filesystem::path& path);
    // The same on bytes already in memory.
    StreamReadResult loadBytes(std::span<const uint8_t> bytes);

    friend bool operator==(const TQueryQueue& a, const TQueryQueue& b) { return a.m_commands == b.m_commands; }

    class Streamer; // the persisted form (persistence/feature_streams.cpp)

private:
    std::vector<TQueryCommand> m_commands;
};

} // namespace quadrel
