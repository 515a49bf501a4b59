#pragma once
// dBase tables (.dbf) through shapelib, texts in Windows-1252 as the header's language
// driver byte says. Each version's limits (field names, fields, widths, record size,
// records) are checked on all the data before the file is begun.

#include "engine/export/export_table.h"

#include <filesystem>

namespace kelvo::exporting {

enum class DbaseVersion { III, IV, V };

void writeDbaseTable(const Table& table, DbaseVersion version, const std::filesystem::path& target);

}  // namespace kelvo::exporting
