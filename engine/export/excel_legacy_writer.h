#pragma once
// Excel 3.0 and 4.0 worksheet files (BIFF3, BIFF4): one sheet per file, texts in
// Windows-1252 as their code page record says.

#include "engine/export/export_table.h"

#include <filesystem>

namespace kelvo::exporting {

enum class LegacyExcelVersion { Excel3, Excel4 };

void writeLegacyExcelSheet(const Table& table, LegacyExcelVersion version, const std::filesystem::path& target);

}  // namespace kelvo::exporting
