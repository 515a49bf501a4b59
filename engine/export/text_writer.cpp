#include "engine/export/text_writer.h"

#include "engine/export/export_support.h"

namespace kelvo::exporting {
namespace {

void replaceAll(std::string& text, std::string_view from, std::string_view to)
{
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

// A cell that holds the delimiter, a quote or a line break is quoted, its quotes doubled,
// so that a reader splits the line where the writer meant.
void appendCell(std::string& line, std::string text, const TextLayout& layout)
{
    if (!layout.multipleAnswerDelimiter.empty())
        replaceAll(text, "\r\n", layout.multipleAnswerDelimiter);
    const bool quoted = text.find(layout.columnDelimiter) != std::string::npos
                        || text.find_first_of("\"\r\n") != std::string::npos;
    if (!quoted) {
        line += text;
        return;
    }
    replaceAll(text, "\"", "\"\"");
    line += '"';
    line += text;
    line += '"';
}

void appendLine(std::string& out, const std::vector<std::string>& cells, const TextLayout& layout)
{
    for (std::size_t c = 0; c < cells.size(); ++c) {
        appendCell(out, cells[c], layout);
        if (layout.delimiterAfterLastCell || c + 1 < cells.size())
            out += layout.columnDelimiter;
    }
    out += "\r\n";
}

}  // namespace

void writeDelimitedText(const Table& table, const std::filesystem::path& target, const TextLayout& layout)
{
    if (layout.columnDelimiter.empty())
        throw ExportError("A text export needs a column delimiter.");
    std::string out = "\xEF\xBB\xBF";
    std::vector<std::string> cells;
    for (const Column& column : table.columns)
        cells.push_back(column.name);
    appendLine(out, cells, layout);
    for (const auto& row : table.rows) {
        cells.clear();
        for (const Cell& cell : row)
            cells.push_back(cellText(cell));
        appendLine(out, cells, layout);
    }
    replaceFileWith(target, out);
}

}  // namespace kelvo::exporting
