#pragma once
// Excel 97-2003 workbooks (BIFF8 in a compound file): UTF-16 texts in a shared string
// table, one worksheet per sheet.

#include "engine/export/export_table.h"

#include <filesystem>
#include <vector>

namespace kelvo::exporting {

void writeExcelWorkbook(const std::vector<Sheet>& sheets, const std::filesystem::path& target);

// Adds a sheet to a workbook this writer made, as each table of an export lands on a
// sheet of its own; a missing file becomes a new workbook. A sheet of the same name, or
// a workbook another program wrote, fails the export and leaves the file as it was.
void addExcelWorkbookSheet(const Sheet& sheet, const std::filesystem::path& target);

}  // namespace kelvo::exporting
