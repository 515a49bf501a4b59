#pragma once
// Reading exported files back with programs Kelvo did not write (Python's readers,
// libwps's wks2csv), in one plain form of cells that the tests compare.

#include "engine/export/export_support.h"

// pxlib's header declares its functions without C linkage.
extern "C" {
#include <paradox.h>
}

#include <cstdio>
#include <string>
#include <vector>

namespace kelvo::exporting::testing {

using Rows = std::vector<std::vector<std::string>>;

struct ProgramOutput {
    int status = -1;
    std::string text;
};

inline ProgramOutput runProgram(const std::string& command)
{
    ProgramOutput output;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return output;
    char buffer[4096];
    std::size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.text.append(buffer, count);
    output.status = ::pclose(pipe);
    return output;
}

inline std::string shellQuoted(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

inline Rows splitCells(const std::string& text, char rowSeparator, char cellSeparator)
{
    Rows rows;
    if (text.empty())
        return rows;
    std::vector<std::string> row(1);
    for (char c : text) {
        if (c == rowSeparator) {
            rows.push_back(row);
            row.assign(1, {});
        } else if (c == cellSeparator) {
            row.emplace_back();
        } else {
            row.back() += c;
        }
    }
    rows.push_back(row);
    return rows;
}

// The cells of a file read with read_export.py; `extra` is the sheet name, "?" for the
// list of sheets, or for text the column delimiter.
inline Rows readWithPython(const std::string& format, const std::string& path, const std::string& extra = {})
{
    const std::string script = std::string(KELVO_SOURCE_DIR) + "/tests/engine/readers/read_export.py";
    std::string command = "/usr/bin/python3 " + shellQuoted(script) + " " + format + " " + shellQuoted(path);
    if (!extra.empty())
        command += " " + shellQuoted(extra);
    const ProgramOutput output = runProgram(command);
    if (output.status != 0)
        return {{"reader failed: " + output.text}};
    return splitCells(output.text, '\n', '\x1f');
}

// A Paradox table read through pxlib's reading calls: the file version and code page
// of its header, then the header row and the records in the plain form.
inline constexpr long kZeroBytesLong = -2147483648L;

inline Rows readParadox(const std::string& path)
{
    Rows rows;
    pxdoc_t* document = PX_new();
    if (PX_open_file(document, path.c_str()) < 0) {
        PX_delete(document);
        return {{"cannot open"}};
    }
    rows.push_back({std::to_string(document->px_head->px_fileversion), std::to_string(document->px_head->px_doscodepage)});
    const int fieldCount = PX_get_num_fields(document);
    pxfield_t* fields = PX_get_fields(document);
    std::vector<std::string> names;
    for (int f = 0; f < fieldCount; ++f)
        names.push_back(fields[f].px_fname);
    rows.push_back(names);
    std::vector<char> record(static_cast<std::size_t>(PX_get_recordsize(document)));
    for (int r = 0; r < PX_get_num_records(document); ++r) {
        PX_get_record(document, r, record.data());
        std::vector<std::string> cells;
        char* at = record.data();
        for (int f = 0; f < fieldCount; ++f) {
            const int length = fields[f].px_flen;
            std::string cell = "<null>";
            char* text = nullptr;
            double number = 0;
            long integer = 0;
            char flag = 0;
            switch (fields[f].px_ftype) {
            case pxfAlpha:
                if (PX_get_data_alpha(document, at, length, &text) > 0) {
                    cell = text;
                    document->free(document, text);
                }
                break;
            case pxfNumber:
                if (PX_get_data_double(document, at, length, &number) > 0)
                    cell = exporting::numberText(number);
                break;
            // Paradox marks Null by a field of zero bytes; pxlib reads such a Long or Date
            // as the smallest 32-bit value.
            case pxfLong:
                if (PX_get_data_long(document, at, length, &integer) > 0 && integer != kZeroBytesLong)
                    cell = std::to_string(integer);
                break;
            case pxfLogical:
                if (PX_get_data_byte(document, at, length, &flag) > 0)
                    cell = flag ? "true" : "false";
                break;
            case pxfDate:
                if (PX_get_data_long(document, at, length, &integer) > 0 && integer != kZeroBytesLong) {
                    char* day = PX_date2string(document, integer, "Y-m-d");
                    cell = day;
                    document->free(document, day);
                }
                break;
            case pxfTimestamp:
                if (PX_get_data_double(document, at, length, &number) > 0) {
                    char* moment = PX_timestamp2string(document, number, "Y-m-d H:i:s");
                    cell = moment;
                    document->free(document, moment);
                }
                break;
            default:
                cell = "type " + std::to_string(fields[f].px_ftype);
            }
            cells.push_back(cell);
            at += length;
        }
        rows.push_back(cells);
    }
    PX_close(document);
    PX_delete(document);
    return rows;
}

}  // namespace kelvo::exporting::testing
