#pragma once
// Excel 3.0 and 4.0 worksheet files (BIFF3, BIFF4), one sheet per file, and Excel 5.0
// workbooks (BIFF5 in a compound file) of one sheet; texts in Windows-1252 as their code
// page record says.

#include "engine/export/export_table.h"

#include <filesystem>
#include <string>

namespace kelvo::exporting {

enum class LegacyExcelVersion { Excel3, Excel4, Excel5 };

// `sheetName` names the sheet of an Excel 5.0 workbook; a worksheet file's sheet takes
// the file's name.
void writeLegacyExcelSheet(const Table& table, LegacyExcelVersion version, const std::filesystem::path& target,
                           const std::string& sheetName = {});

}  // namespace kelvo::exporting
