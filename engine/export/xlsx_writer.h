#pragma once
// Excel 2007/2010 workbooks (.xlsx) through libxlsxwriter, one worksheet per sheet.

#include "engine/export/export_table.h"

#include <filesystem>
#include <vector>

namespace kelvo::exporting {

void writeXlsxWorkbook(const std::vector<Sheet>& sheets, const std::filesystem::path& target);

}  // namespace kelvo::exporting
