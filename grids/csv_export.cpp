#include "grids/csv_export.h"

#include "grids/grid_model.h"
#include "grids/scientific_format.h"

#include <QSaveFile>

namespace quadrel {

namespace {

void appendField(QByteArray& out, QString text, const QString& separator) {
    // A quote inside a quoted field is written twice; otherwise the field would end there.
    text.replace('"', "\"\"");
    out += '"';
    out += text.toUtf8();
    out += '"';
    out += separator.toUtf8();
}

} // namespace

CsvFormat csvFormatFor(const QLocale& locale) {
    CsvFormat f;
    f.locale = locale;
    f.separator = locale.decimalPoint() == "," ? ";" : ",";
    return f;
}

QByteArray csvBytes(const GridTable& table, const CsvFormat& format) {
    QByteArray out;
    for (int c = 0; c < table.columns; ++c) {
        const GridHeader& h = table.columnHeaders[static_cast<size_t>(c)];
        if (table.topHeaderRows > 0 && h.present) appendField(out, h.text, format.separator);
    }
    out += "\r\n";
    for (int r = 0; r < table.rows; ++r) {
        for (int c = 0; c < table.columns; ++c)
            appendField(out, exportText(table.at(r, c).value, format.locale), format.separator);
        out += "\r\n";
    }
    return out;
}

bool writeCsvFile(const GridTable& table, const QString& path, const CsvFormat& format, QString* error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        if (error) *error = file.errorString();
        return false;
    }
    file.write(csvBytes(table, format));
    if (!file.commit()) {
        if (error) *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace quadrel
