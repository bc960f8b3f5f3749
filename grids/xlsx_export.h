#pragma once

#include <string>

namespace quadrel {

struct GridTable;

// Writes the table as a one-sheet .xlsx workbook. The header row goes to spreadsheet row 1 and the row
// headers to column A when the table has them; data start below and right of them. Numbers are written
// as numbers, texts as texts; columns are widened to their longest text. False with the reason when the
// workbook could not be written; a table without columns writes nothing and returns false.
bool writeXlsx(const GridTable& table, const std::string& path, std::string& error);

} // namespace quadrel
