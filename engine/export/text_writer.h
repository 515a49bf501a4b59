#pragma once
// Delimited text: UTF-8 with a byte order mark, CRLF line ends, the header line first.

#include "engine/export/export_table.h"

#include <filesystem>
#include <string>

namespace kelvo::exporting {

struct TextLayout {
    std::string columnDelimiter = ";";
    // Replaces each CRLF inside a cell (the join of several chosen answers); empty keeps it.
    std::string multipleAnswerDelimiter = "_";
    // Every cell, the last one too, is followed by the column delimiter.
    bool delimiterAfterLastCell = true;
};

void writeDelimitedText(const Table& table, const std::filesystem::path& target, const TextLayout& layout);

}  // namespace kelvo::exporting
