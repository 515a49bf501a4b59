#pragma once
// Lotus 1-2-3 worksheets: WK1 (release 2) and WK3 (release 3), texts in Windows-1252.

#include "engine/export/export_table.h"

#include <filesystem>

namespace kelvo::exporting {

enum class LotusVersion { Wk1, Wk3 };

void writeLotusSheet(const Table& table, LotusVersion version, const std::filesystem::path& target);

}  // namespace kelvo::exporting
