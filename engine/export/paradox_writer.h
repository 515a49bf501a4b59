#pragma once
// Paradox tables (.db) through pxlib, in the file version of Paradox 3.x, 4.x or 5.x.

#include "engine/export/export_table.h"

#include <filesystem>

namespace kelvo::exporting {

enum class ParadoxVersion { V3, V4, V5 };

void writeParadoxTable(const Table& table, ParadoxVersion version, const std::filesystem::path& target);

}  // namespace kelvo::exporting
