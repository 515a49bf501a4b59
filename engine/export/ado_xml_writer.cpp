#include "engine/export/ado_xml_writer.h"

#include "engine/export/export_support.h"

#include <algorithm>
#include <set>

namespace kelvo::exporting {
namespace {

bool isNameStart(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80; }

bool isNameCharacter(unsigned char c) { return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }

// A column name that is no XML name gets an attribute name of its own; the schema keeps
// the real name in rs:name, as the persistence form does.
std::string attributeName(const std::string& name, std::size_t index)
{
    bool valid = !name.empty() && isNameStart(static_cast<unsigned char>(name[0]))
                 && std::all_of(name.begin(), name.end(), [](char c) { return isNameCharacter(static_cast<unsigned char>(c)); })
                 && name.find(':') == std::string::npos;
    if (valid && name.size() >= 3) {
        std::string head = name.substr(0, 3);
        std::transform(head.begin(), head.end(), head.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        valid = head != "xml";
    }
    if (valid)
        return name;
    std::string replacement = "c";
    replacement.append(std::to_string(index));
    return replacement;
}

std::size_t longestText(const Table& table, std::size_t column)
{
    std::size_t longest = 1;
    for (const auto& row : table.rows)
        if (const auto* text = std::get_if<std::string>(&row[column]))
            longest = std::max(longest, characterCount(*text));
    return longest;
}

std::string dataType(const Table& table, std::size_t column)
{
    switch (table.columns[column].type) {
    case ColumnType::Integer:
        return "<s:datatype dt:type='int' dt:maxLength='4' rs:precision='10' rs:fixedlength='true'/>";
    case ColumnType::Float:
        return "<s:datatype dt:type='float' dt:maxLength='8' rs:precision='15' rs:fixedlength='true'/>";
    case ColumnType::Boolean:
        return "<s:datatype dt:type='boolean' dt:maxLength='2' rs:fixedlength='true'/>";
    case ColumnType::Date:
        return "<s:datatype dt:type='dateTime' rs:dbtype='variantdate' dt:maxLength='16' rs:fixedlength='true'/>";
    case ColumnType::LongText:
        return "<s:datatype dt:type='string' dt:maxLength='536870910' rs:long='true'/>";
    case ColumnType::Text:
        break;
    }
    return "<s:datatype dt:type='string' dt:maxLength='" + std::to_string(std::max<std::size_t>(255, longestText(table, column)))
           + "'/>";
}

std::string valueText(const Cell& cell)
{
    if (const auto* flag = std::get_if<bool>(&cell))
        return *flag ? "True" : "False";
    if (const auto* moment = std::get_if<DateTime>(&cell)) {
        std::string text = dateText(*moment);
        if (!moment->hasTime())
            text += " 00:00:00";
        text[10] = 'T';
        return text;
    }
    return cellText(cell);
}

}  // namespace

void writeRecordsetXml(const Table& table, const std::filesystem::path& target)
{
    std::string out = "<xml xmlns:s='uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882'\r\n"
                      "\txmlns:dt='uuid:C2F41010-65B3-11d1-A29F-00AA00C14882'\r\n"
                      "\txmlns:rs='urn:schemas-microsoft-com:rowset'\r\n"
                      "\txmlns:z='#RowsetSchema'>\r\n"
                      "<s:Schema id='RowsetSchema'>\r\n"
                      "\t<s:ElementType name='row' content='eltOnly' rs:updatable='true'>\r\n";
    std::vector<std::string> names;
    std::set<std::string> used;
    for (std::size_t c = 0; c < table.columns.size(); ++c) {
        // A name twice (a join of tables with a column of the same name) would make two
        // attributes of one name, which XML forbids.
        std::string name = attributeName(table.columns[c].name, c + 1);
        if (!used.insert(name).second) {
            name = attributeName({}, c + 1);
            used.insert(name);
        }
        names.push_back(name);
        out += "\t\t<s:AttributeType name='" + escapeMarkup(names.back(), true) + "'";
        if (names.back() != table.columns[c].name)
            out += " rs:name='" + escapeMarkup(table.columns[c].name, true) + "'";
        out += " rs:number='" + std::to_string(c + 1) + "' rs:nullable='true' rs:writeunknown='true'>\r\n\t\t\t"
               + dataType(table, c) + "\r\n\t\t</s:AttributeType>\r\n";
    }
    out += "\t\t<s:extends type='rs:rowbase'/>\r\n\t</s:ElementType>\r\n</s:Schema>\r\n<rs:data>\r\n";
    for (const auto& row : table.rows) {
        out += "\t<z:row";
        for (std::size_t c = 0; c < row.size(); ++c) {
            if (std::holds_alternative<std::monostate>(row[c]))
                continue;
            out += " " + names[c] + "='" + escapeMarkup(valueText(row[c]), true) + "'";
        }
        out += "/>\r\n";
    }
    out += "</rs:data>\r\n</xml>\r\n";
    replaceFileWith(target, out);
}

}  // namespace kelvo::exporting
