#pragma once
// Reading exported files back with programs Kelvo did not write (Python's readers,
// libwps's wks2csv), in one plain form of cells that the tests compare.

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

}  // namespace kelvo::exporting::testing
