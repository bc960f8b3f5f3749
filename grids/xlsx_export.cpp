#include "grids/xlsx_export.h"

#include "grids/grid_model.h"

#include <algorithm>
#include <map>
#include <xlsxwriter.h>

namespace quadrel {

namespace {

bool isNumber(const QVariant& v) {
    switch (v.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return true;
    default:
        return false;
    }
}

} // namespace

bool writeXlsx(const GridTable& table, const std::string& path, std::string& error) {
    if (table.columns == 0) {
        error = "the table has no columns";
        return false;
    }
    lxw_workbook* workbook = workbook_new(path.c_str());
    if (!workbook) {
        error = "cannot create " + path;
        return false;
    }
    lxw_worksheet* sheet = workbook_add_worksheet(workbook, nullptr);
    const int top = table.topHeaderRows > 0 ? 1 : 0;
    const int left = table.leftHeaderColumns > 0 ? 1 : 0;
    std::map<int, size_t> widths; // spreadsheet column -> longest text
    lxw_error status = LXW_NO_ERROR;
    auto put = [&](int row, int column, const QVariant& value, const QString& text) {
        if (status != LXW_NO_ERROR) return;
        if (isNumber(value)) {
            status = worksheet_write_number(sheet, static_cast<lxw_row_t>(row), static_cast<lxw_col_t>(column),
                                            value.toDouble(), nullptr);
        } else {
            if (text.isEmpty()) return;
            status = worksheet_write_string(sheet, static_cast<lxw_row_t>(row), static_cast<lxw_col_t>(column),
                                            text.toUtf8().constData(), nullptr);
        }
        widths[column] = std::max(widths[column], static_cast<size_t>(text.size()));
    };

    if (top)
        for (int c = 0; c < table.columns; ++c) {
            const GridHeader& h = table.columnHeaders[static_cast<size_t>(c)];
            if (h.present) put(0, c + left, h.text, h.text);
        }
    if (left)
        for (int r = 0; r < table.rows; ++r) {
            const GridHeader& h = table.rowHeaders[static_cast<size_t>(r)];
            if (h.present) put(r + top, 0, h.text, h.text);
        }
    for (int c = 0; c < table.columns; ++c)
        for (int r = 0; r < table.rows; ++r) {
            const GridCell& cell = table.at(r, c);
            if (cell.exists()) put(r + top, c + left, cell.value, cell.value.toString());
        }
    for (const auto& [column, chars] : widths)
        worksheet_set_column(sheet, static_cast<lxw_col_t>(column), static_cast<lxw_col_t>(column),
                             std::clamp(static_cast<double>(chars) + 2.0, 8.43, 60.0), nullptr);

    const lxw_error closed = workbook_close(workbook);
    if (status != LXW_NO_ERROR) {
        error = lxw_strerror(status);
        return false;
    }
    if (closed != LXW_NO_ERROR) {
        error = lxw_strerror(closed);
        return false;
    }
    return true;
}

} // namespace quadrel
