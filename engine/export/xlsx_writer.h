#pragma once
// Excel 2007/2010 workbooks (.xlsx) through libxlsxwriter, one worksheet per sheet.

#include "engine/export/export_table.h"

#include <filesystem>
#include <string>
#include <vector>

namespace kelvo::exporting {

// A sheet to write and the table it shows. The table is referred to, not copied: an
// export of thousands of runs holds millions of cells, and copying them cost more than
// writing some of the formats.
struct SheetOfTable {
    std::string name;
    const Table& table;
};

void writeXlsxWorkbook(const std::vector<SheetOfTable>& sheets, const std::filesystem::path& target);

}  // namespace kelvo::exporting
