#pragma once
// An HTML page holding one table: a header row of column names, one row per record.

#include "engine/export/export_table.h"

#include <filesystem>
#include <string>

namespace kelvo::exporting {

void writeHtmlTable(const Table& table, const std::string& title, const std::filesystem::path& target);

}  // namespace kelvo::exporting
