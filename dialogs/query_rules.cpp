#include "dialogs/query_rules.h"

#include "dialogs/stream_file.h"

#include <array>
#include <clocale>
#include <cstdlib>
#include <locale.h>

namespace quadrel {

namespace {

constexpr std::array<std::string_view, 8> kOperationTexts = {"=", "<>", ">", ">=", "<", "<=", "AND", "OR"};

// Whether a value x of a cell passes the comparison `op` against v. NaN fails every test but "<>".
bool passes(int32_t op, double x, double v) {
    switch (static_cast<QueryOperation>(op)) {
    case QueryOperation::Equal:
        return x == v;
    case QueryOperation::NotEqual:
        return !(x == v);
    case QueryOperation::Greater:
        return x > v;
    case QueryOperation::GreaterEqual:
        return x >= v;
    case QueryOperation::Less:
        return x < v;
    case QueryOperation::LessEqual:
        return x <= v;
    default:
        return false;
    }
}

// The operand a combination pops: the top of the stack, or an empty unnamed list when there is none.
TCellIdList pop(std::vector<TCellIdList>& stack) {
    if (stack.empty()) return TCellIdList();
    TCellIdList top = std::move(stack.back());
    stack.pop_back();
    return top;
}

// AND keeps the left cells that the right list holds, in the left order; OR takes the right cells, then the
// left ones the right list lacks. The result carries the right operand's attributes.
TCellIdList combine(const TCellIdList& left, const TCellIdList& right, QueryOperation op) {
    TCellIdList result;
    result.setCreationTime(right.creationTime());
    result.setColour(right.colour());
    result.setShown(right.shown());
    if (op == QueryOperation::And) {
        for (const TCellId& id : left.ids())
            if (right.contains(id.label)) result.add(id);
    } else {
        for (const TCellId& id : right.ids())
            result.add(id);
        for (const TCellId& id : left.ids())
            result.add(id); // a cell of both is already there
    }
    result.setName("(" + left.name() + " " + std::string(queryOperationText(static_cast<int32_t>(op))) + " " +
                   right.name() + ")");
    return result;
}

} // namespace

std::string_view queryOperationText(int32_t operation) {
    if (operation < 0 || operation >= static_cast<int32_t>(kOperationTexts.size())) return {};
    return kOperationTexts[static_cast<size_t>(operation)];
}

bool isComparison(int32_t operation) {
    return operation >= static_cast<int32_t>(QueryOperation::Equal) &&
           operation <= static_cast<int32_t>(QueryOperation::LessEqual);
}

double parseQueryValue(std::string_view text) {
    // The C library's conversion, in the "C" locale: the desktop program runs under the user's locale, where
    // a decimal comma would make "12.5" read as 12.
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    const std::string copy(text); // strtod needs a terminated string
    if (!cLocale) return std::strtod(copy.c_str(), nullptr);
    return strtod_l(copy.c_str(), nullptr, cLocale);
}

TQueryCommand TQueryCommand::comparison(TFeature f, QueryOperation op, std::string_view valueText) {
    const int32_t code = static_cast<int32_t>(op);
    std::string text = featureName(f);
    text += ' ';
    text += queryOperationText(code);
    text += ' ';
    text += valueText;
    return TQueryCommand(f, code, parseQueryValue(valueText), std::move(text));
}

TQueryCommand TQueryCommand::combination(QueryOperation op) {
    const int32_t code = static_cast<int32_t>(op);
    return TQueryCommand(TFeature(0), code, 0.0, std::string(queryOperationText(code)));
}

void TQueryQueue::append(const TQueryCommand& command) {
    // Room for 16 more at a time, as rules grow a command at a time.
    if (m_commands.size() == m_commands.capacity()) m_commands.reserve(m_commands.capacity() + 16);
    m_commands.push_back(command);
}

void TQueryQueue::removeAt(int index) {
    if (index < 0 || static_cast<size_t>(index) >= m_commands.size()) return;
    m_commands.erase(m_commands.begin() + index);
}

std::vector<TCellIdList> TQueryQueue::evaluate(const TCellDictionary& cells, FeatureScale scale) const {
    std::vector<TCellIdList> stack;
    for (const TQueryCommand& command : m_commands) {
        if (isComparison(command.operation)) {
            TCellIdList selected(command.text);
            for (const TCellBaseFeature& record : cells) {
                // The value the tables show: the 32-bit feature value, widened.
                const double x = static_cast<double>(featureValue(command.feature, record, scale));
                if (passes(command.operation, x, command.value)) selected.add(record.label);
            }
            stack.push_back(std::move(selected));
        } else if (command.operation == static_cast<int32_t>(QueryOperation::And) ||
                   command.operation == static_cast<int32_t>(QueryOperation::Or)) {
            const TCellIdList right = pop(stack);
            const TCellIdList left = pop(stack);
            stack.push_back(combine(left, right, static_cast<QueryOperation>(command.operation)));
        }
        // Other codes may come from files; they select nothing and change nothing.
    }
    return stack;
}

bool TQueryQueue::save(const std::filesystem::path& path, std::string* error) const {
    return writeObjectFile(path, *this, error);
}

StreamReadResult TQueryQueue::load(const std::filesystem::path& path) {
    return readObjectFile(path, *this);
}

StreamReadResult TQueryQueue::loadBytes(std::span<const uint8_t> bytes) {
    return readObjectFromBytes(bytes, *this);
}

} // namespace quadrel
