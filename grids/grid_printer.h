#pragma once

#include <QString>

class QPrinter;

namespace quadrel {

struct GridTable;

// Prints the table as it is shown: the header row on every page, the row headers when they have text,
// the cells' display texts. A table wider than the page is scaled down to the page width; rows continue
// on further pages. False when the printer could not be started.
bool printTable(const GridTable& table, QPrinter& printer, const QString& title);

} // namespace quadrel
