#pragma once
// The rows handed to an export writer: column names and kinds, and rows of typed cells.
// Plain C++ so that every writer can be used (and tested) without Qt or the database.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace kelvo::exporting {

// A writer that cannot keep a value, or cannot write its file, throws this; nothing is
// left at the target then (an earlier file there stays whole).
class ExportError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What a column holds, as far as the file formats tell kinds apart.
enum class ColumnType { Text, LongText, Integer, Float, Boolean, Date };

struct Column {
    std::string name;  // UTF-8
    ColumnType type = ColumnType::Text;
};

struct DateTime {
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;

    bool hasTime() const { return hour != 0 || minute != 0 || second != 0; }
};

// Null is std::monostate; texts are UTF-8.
using Cell = std::variant<std::monostate, std::string, std::int64_t, double, bool, DateTime>;

struct Table {
    std::vector<Column> columns;
    std::vector<std::vector<Cell>> rows;  // each as long as `columns`
};

// One sheet of a workbook.
struct Sheet {
    std::string name;
    Table table;
};

}  // namespace kelvo::exporting
