#pragma once

#include <QByteArray>
#include <QLocale>
#include <QString>

namespace quadrel {

struct GridTable;

struct CsvFormat {
    QString separator = ",";
    QLocale locale = QLocale::c();
};

// The field separator follows the locale: where the decimal separator is a comma, numbers would split
// at it, so fields are separated by ";" as spreadsheets in those locales expect; elsewhere by ",".
CsvFormat csvFormatFor(const QLocale& locale);

// The table as CSV: a header line with the column header texts, then one line per data row with the
// cells' values (not their rounded display texts). Every field is quoted and followed by the separator;
// quotes inside a field are doubled. Lines end with CR LF; the text is UTF-8. Row headers are not written.
QByteArray csvBytes(const GridTable& table, const CsvFormat& format);

// Writes csvBytes to a file; false with the reason when it cannot be written.
bool writeCsvFile(const GridTable& table, const QString& path, const CsvFormat& format, QString* error);

} // namespace quadrel
