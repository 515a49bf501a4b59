#include "engine/export/html_writer.h"

#include "engine/export/export_support.h"

namespace kelvo::exporting {

void writeHtmlTable(const Table& table, const std::string& title, const std::filesystem::path& target)
{
    const std::string name = escapeMarkup(title, false);
    std::string out = "<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<meta charset=\"utf-8\">\r\n<title>" + name
                      + "</title>\r\n<style>td { white-space: pre-wrap; }</style>\r\n</head>\r\n<body>\r\n"
                        "<table border=\"1\">\r\n<caption>" + name + "</caption>\r\n<thead>\r\n<tr>";
    for (const Column& column : table.columns)
        out += "<th>" + escapeMarkup(column.name, false) + "</th>";
    out += "</tr>\r\n</thead>\r\n<tbody>\r\n";
    for (const auto& row : table.rows) {
        out += "<tr>";
        for (std::size_t c = 0; c < row.size(); ++c) {
            const ColumnType type = table.columns[c].type;
            const bool number = type == ColumnType::Integer || type == ColumnType::Float;
            out += number ? "<td align=\"right\">" : "<td>";
            out += escapeMarkup(cellText(row[c]), false);
            out += "</td>";
        }
        out += "</tr>\r\n";
    }
    out += "</tbody>\r\n</table>\r\n</body>\r\n</html>\r\n";
    replaceFileWith(target, out);
}

}  // namespace kelvo::exporting
