#pragma once
// The XML persistence form of a recordset: a schema of the columns (name, type, length,
// nullable) and one z:row element per record, a Null value being an absent attribute.

#include "engine/export/export_table.h"

#include <filesystem>

namespace kelvo::exporting {

void writeRecordsetXml(const Table& table, const std::filesystem::path& target);

}  // namespace kelvo::exporting
