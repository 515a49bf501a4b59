// Each writer's file read back by a reader Kelvo did not write: rows, columns, numbers,
// dates, Null, Booleans and non-ASCII text must arrive as they were.
#include "engine/export/dbase_writer.h"
#include "engine/export/excel_legacy_writer.h"
#include "engine/export/excel_workbook_writer.h"
#include "engine/export/export_support.h"
#include "engine/export/html_writer.h"
#include "engine/export/lotus_writer.h"
#include "engine/export/paradox_writer.h"
#include "engine/export/ado_xml_writer.h"
#include "engine/export/text_writer.h"
#include "engine/export/xlsx_writer.h"
#include "tests/engine/export_reading.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <csignal>
#include <cstring>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kelvo::exporting {
namespace {

using testing::ProgramOutput;
using testing::readParadox;
using testing::readWithPython;
using testing::Rows;
using testing::runProgram;
using testing::shellQuoted;
namespace fs = std::filesystem;

// Three runs: quotes, a delimiter and a line break in texts, accents, Null in every
// kind of column, a date with and one without a time, a Boolean. `cyrillic` puts a
// Russian word in row 3, which the 8-bit formats cannot hold.
Table fixture(bool cyrillic)
{
    Table table;
    table.columns = {{"id", ColumnType::Integer}, {"name", ColumnType::Text},   {"note", ColumnType::LongText},
                     {"score", ColumnType::Float}, {"taken", ColumnType::Date}, {"at", ColumnType::Date},
                     {"passed", ColumnType::Boolean}};
    table.rows.push_back({std::int64_t{1}, std::string("Say \"hi\"; ok"), std::string("two\r\nlines"), 2.5,
                          DateTime{2024, 3, 5}, DateTime{2024, 3, 5, 14, 30, 0}, true});
    table.rows.push_back({std::int64_t{2}, std::string("Zo\u00eb caf\u00e9"), std::monostate{}, -1250.125,
                          DateTime{2023, 12, 31}, std::monostate{}, std::monostate{}});
    table.rows.push_back({std::int64_t{3}, std::string(cyrillic ? "\u041f\u0440\u0438\u0432\u0435\u0442" : "\u00c6r\u00f8"),
                          std::string("x"), std::monostate{}, std::monostate{}, DateTime{2024, 1, 2, 8, 15, 0}, false});
    return table;
}

Table wideTable(std::size_t columns)
{
    Table table;
    for (std::size_t c = 0; c < columns; ++c) {
        // Appended, as GCC 12 warns falsely of "c" + text at -O3.
        std::string name = "c";
        name.append(std::to_string(c));
        table.columns.push_back({name, ColumnType::Integer});
    }
    table.rows.push_back(std::vector<Cell>(columns, Cell{std::int64_t{7}}));
    return table;
}

class ExportFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/kelvo-export-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder_ = pattern;
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(folder_, ignored);
    }
    std::string path(const std::string& name) const { return (folder_ / name).string(); }
    std::vector<std::string> entries() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder_))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    fs::path folder_;
};

TEST_F(ExportFolder, TextIsUtf8WithQuotedCellsAndTrailingDelimiter)
{
    writeDelimitedText(fixture(true), path("r.txt"), {});
    const Rows expected{{"id", "name", "note", "score", "taken", "at", "passed", ""},
                        {"1", "Say \"hi\"; ok", "two_lines", "2.5", "2024-03-05", "2024-03-05 14:30:00", "true", ""},
                        {"2", "Zo\u00eb caf\u00e9", "", "-1250.125", "2023-12-31", "", "", ""},
                        {"3", "\u041f\u0440\u0438\u0432\u0435\u0442", "x", "", "", "2024-01-02 08:15:00", "false", ""}};
    EXPECT_EQ(readWithPython("text", path("r.txt")), expected);

    // Without a multiple-answer delimiter the line break stays inside its quoted cell.
    TextLayout layout;
    layout.multipleAnswerDelimiter.clear();
    layout.columnDelimiter = ",";
    writeDelimitedText(fixture(true), path("r.txt"), layout);
    const Rows read = readWithPython("text", path("r.txt"), ",");
    ASSERT_EQ(read.size(), 4u);
    EXPECT_EQ(read[1][2], "two\\r\\nlines");
    EXPECT_EQ(read[1][1], "Say \"hi\"; ok");
}

TEST_F(ExportFolder, HtmlTableHoldsEveryCell)
{
    writeHtmlTable(fixture(true), "Data", path("r.htm"));
    const Rows expected{{"id", "name", "note", "score", "taken", "at", "passed"},
                        {"1", "Say \"hi\"; ok", "two\\r\\nlines", "2.5", "2024-03-05", "2024-03-05 14:30:00", "true"},
                        {"2", "Zo\u00eb caf\u00e9", "", "-1250.125", "2023-12-31", "", ""},
                        {"3", "\u041f\u0440\u0438\u0432\u0435\u0442", "x", "", "", "2024-01-02 08:15:00", "false"}};
    EXPECT_EQ(readWithPython("html", path("r.htm")), expected);
}

TEST_F(ExportFolder, RecordsetXmlKeepsNullAsMissingAttribute)
{
    Table table = fixture(true);
    table.columns[1].name = "first name";  // no XML name: kept in rs:name
    table.columns[2].name = "id";          // a second "id", as a join may give
    writeRecordsetXml(table, path("r.xml"));
    const Rows expected{{"id", "first name", "id", "score", "taken", "at", "passed"},
                        {"int", "string", "string", "float", "dateTime", "dateTime", "boolean"},
                        {"1", "Say \"hi\"; ok", "two\\r\\nlines", "2.5", "2024-03-05T00:00:00", "2024-03-05T14:30:00", "True"},
                        {"2", "Zo\u00eb caf\u00e9", "<null>", "-1250.125", "2023-12-31T00:00:00", "<null>", "<null>"},
                        {"3", "\u041f\u0440\u0438\u0432\u0435\u0442", "x", "<null>", "<null>", "2024-01-02T08:15:00", "False"}};
    EXPECT_EQ(readWithPython("xml", path("r.xml")), expected);
}

TEST_F(ExportFolder, XlsxHoldsTypedCells)
{
    writeXlsxWorkbook({{"Data", fixture(true)}}, path("r.xlsx"));
    const Rows expected{{"id", "name", "note", "score", "taken", "at", "passed"},
                        {"1", "Say \"hi\"; ok", "two\\r\\nlines", "2.5", "2024-03-05", "2024-03-05 14:30:00", "true"},
                        {"2", "Zo\u00eb caf\u00e9", "<null>", "-1250.125", "2023-12-31", "<null>", "<null>"},
                        {"3", "\u041f\u0440\u0438\u0432\u0435\u0442", "x", "<null>", "<null>", "2024-01-02 08:15:00", "false"}};
    EXPECT_EQ(readWithPython("xlsx", path("r.xlsx"), "Data"), expected);
    // Every part is deflated at the fastest level (its flag bits say so) and whole.
    const ProgramOutput parts = runProgram(
        "python3 -c 'import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); "
        "print(z.testzip(), sorted({(i.compress_type, i.flag_bits & 6) for i in z.infolist()}))' "
        + shellQuoted(path("r.xlsx")));
    EXPECT_EQ(parts.text, "None [(8, 6)]\n");

    // A test with 300 questions goes to one sheet, beyond the 256 columns of the older
    // formats.
    writeXlsxWorkbook({{"Data", wideTable(420)}}, path("wide.xlsx"));
    const Rows wide = readWithPython("xlsx", path("wide.xlsx"), "Data");
    ASSERT_EQ(wide.size(), 2u);
    EXPECT_EQ(wide[0].size(), 420u);
    EXPECT_EQ(wide[0].back(), "c419");
    EXPECT_EQ(wide[1].back(), "7");
}

TEST_F(ExportFolder, XlsxKeepsTextsThatLookLikeEscapes)
{
    // The reader turns "_x" + four hex digits + "_" into a character; each text here must
    // come back as written, in a cell and as a column name.
    const std::vector<std::string> texts{"_x0041_", "a_x00e9_b_x0042_", "__x0041__", "_x005F_", "_x12_", "_xZZZZ_", "_x0041"};
    Table table;
    for (std::size_t c = 0; c < texts.size(); ++c)
        table.columns.push_back({texts[c], ColumnType::Text});
    table.rows.push_back(std::vector<Cell>(texts.begin(), texts.end()));
    writeXlsxWorkbook({{"Data", table}}, path("escapes.xlsx"));
    EXPECT_EQ(readWithPython("xlsx", path("escapes.xlsx"), "Data"), (Rows{texts, texts}));
}

const Rows& spreadsheetRows(bool cyrillic)
{
    static const Rows withCyrillic{
        {"id", "name", "note", "score", "taken", "at", "passed"},
        {"1", "Say \"hi\"; ok", "two\\r\\nlines", "2.5", "2024-03-05", "2024-03-05 14:30:00", "true"},
        {"2", "Zo\u00eb caf\u00e9", "<null>", "-1250.125", "2023-12-31", "<null>", "<null>"},
        {"3", "\u041f\u0440\u0438\u0432\u0435\u0442", "x", "<null>", "<null>", "2024-01-02 08:15:00", "false"}};
    static const Rows latin = [] {
        Rows rows = withCyrillic;
        rows[3][1] = "\u00c6r\u00f8";
        return rows;
    }();
    return cyrillic ? withCyrillic : latin;
}

TEST_F(ExportFolder, LegacyExcelSheetsInWindows1252)
{
    for (const LegacyExcelVersion version : {LegacyExcelVersion::Excel3, LegacyExcelVersion::Excel4}) {
        writeLegacyExcelSheet(fixture(false), version, path("r.xls"));
        EXPECT_EQ(readWithPython("xls", path("r.xls")), spreadsheetRows(false));
    }
    writeLegacyExcelSheet(fixture(false), LegacyExcelVersion::Excel5, path("r5.xls"), "Res\u00fclts");
    EXPECT_EQ(readWithPython("xls", path("r5.xls"), "?"), (Rows{{"Res\u00fclts"}}));
    EXPECT_EQ(readWithPython("xls", path("r5.xls"), "Res\u00fclts"), spreadsheetRows(false));
}

TEST_F(ExportFolder, ExcelWorkbookGainsOneSheetPerTable)
{
    writeExcelWorkbook({{"Data", fixture(true)}}, path("r.xls"));
    EXPECT_EQ(readWithPython("xls", path("r.xls"), "Data"), spreadsheetRows(true));

    // Sheets added one by one keep the earlier ones, their shared texts included.
    std::filesystem::remove(path("r.xls"));
    Table second = fixture(true);
    second.rows.pop_back();
    second.rows[0][1] = std::string("only in item1 \u0416");
    addExcelWorkbookSheet({"general", fixture(true)}, path("r.xls"));
    addExcelWorkbookSheet({"item1", second}, path("r.xls"));
    EXPECT_EQ(readWithPython("xls", path("r.xls"), "?"), (Rows{{"general"}, {"item1"}}));
    EXPECT_EQ(readWithPython("xls", path("r.xls"), "general"), spreadsheetRows(true));
    Rows expected = spreadsheetRows(true);
    expected.pop_back();
    expected[1][1] = "only in item1 \u0416";
    EXPECT_EQ(readWithPython("xls", path("r.xls"), "item1"), expected);

    try {
        addExcelWorkbookSheet({"ITEM1", second}, path("r.xls"));
        ADD_FAILURE() << "a second sheet of the same name";
    } catch (const ExportError& e) {
        EXPECT_STREQ(e.what(), "Table 'ITEM1' already exists.");
    }
    writeXlsxWorkbook({{"Data", fixture(true)}}, path("other.xls"));
    EXPECT_THROW(addExcelWorkbookSheet({"more", second}, path("other.xls")), ExportError);
    EXPECT_EQ(readWithPython("xls", path("r.xls"), "?"), (Rows{{"general"}, {"item1"}}));
}

TEST_F(ExportFolder, ExcelWorkbookBeyondOneAllocationSector)
{
    // Long texts continue the string table over many records, and a big workbook needs
    // the allocation table's extension in the compound file.
    Table table;
    table.columns = {{"id", ColumnType::Integer}, {"text", ColumnType::LongText}};
    for (int r = 0; r < 60000; ++r)
        table.rows.push_back({std::int64_t{r}, std::string(r % 400 == 0 ? 20000 : 3, static_cast<char>('a' + r % 26))
                                                   + std::to_string(r)});
    writeExcelWorkbook({{"Data", table}}, path("big.xls"));
    ASSERT_GT(std::filesystem::file_size(path("big.xls")), 109u * 128 * 512);
    const Rows read = readWithPython("xls", path("big.xls"), "Data");
    ASSERT_EQ(read.size(), 60001u);
    for (const int r : {0, 1, 399, 400, 25999, 59999}) {
        SCOPED_TRACE(r);
        EXPECT_EQ(read[static_cast<std::size_t>(r) + 1][0], std::to_string(r));
        EXPECT_EQ(read[static_cast<std::size_t>(r) + 1][1], std::get<std::string>(table.rows[static_cast<std::size_t>(r)][1]));
    }
}

// libwps's converter shows numbers in the general format (six significant digits) and
// WK1 dates as mm/dd/yy, and leaves out the control characters of a label (the line
// break, which the file keeps); WK1 texts are read as Windows-1252 by its option.
TEST_F(ExportFolder, LotusSheetsReadByLibwps)
{
    writeLotusSheet(fixture(false), LotusVersion::Wk1, path("r.wk1"));
    const auto wk1 = testing::runProgram("wks2csv -e CP1252 -f ';' " + testing::shellQuoted(path("r.wk1")));
    ASSERT_EQ(wk1.status, 0) << wk1.text;
    EXPECT_EQ(wk1.text, "Col1;Col2;Col3;Col4;Col5;Col6;Col7\n"
                        "\"id\";\"name\";\"note\";\"score\";\"taken\";\"at\";\"passed\"\n"
                        "\"1\";\"Say \"\"hi\"\"; ok\";\"twolines\";\"2.5\";\"03/05/24\";\"03/06/24\";\"1\"\n"
                        "\"2\";\"Zo\u00eb caf\u00e9\";\"\";\"-1250.12\";\"12/31/23\";\"\";\"\"\n"
                        "\"3\";\"\u00c6r\u00f8\";\"x\";\"\";\"\";\"01/02/24\";\"0\"\n\n");

    std::ifstream stored(path("r.wk1"), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(stored)), std::istreambuf_iterator<char>());
    EXPECT_NE(bytes.find("'two\r\nlines"), std::string::npos);

    // Release 3 has no per-cell format: dates are their day numbers.
    writeLotusSheet(fixture(false), LotusVersion::Wk3, path("r.wk3"));
    const auto wk3 = testing::runProgram("wks2csv -f ';' " + testing::shellQuoted(path("r.wk3")));
    ASSERT_EQ(wk3.status, 0) << wk3.text;
    EXPECT_EQ(wk3.text, "Col1;Col2;Col3;Col4;Col5;Col6;Col7\n"
                        "\"id\";\"name\";\"note\";\"score\";\"taken\";\"at\";\"passed\"\n"
                        "\"1\";\"Say \"\"hi\"\"; ok\";\"twolines\";\"2.5\";\"45356\";\"45356.6\";\"1\"\n"
                        "\"2\";\"Zo\u00eb caf\u00e9\";\"\";\"-1250.12\";\"45291\";\"\";\"\"\n"
                        "\"3\";\"\u00c6r\u00f8\";\"x\";\"\";\"\";\"45293.3\";\"0\"\n\n");
}

// Paradox texts are Windows-1252 bytes as the header's code page says; they are
// compared as such.
std::string inWindows1252(const std::string& utf8) { return toWindows1252(utf8, {}, "test"); }

TEST_F(ExportFolder, ParadoxTablesInTheVersionNamed)
{
    const Rows newer{{"id", "name", "note", "score", "taken", "at", "passed"},
                     {"1", "Say \"hi\"; ok", "two\r\nlines", "2.5", "2024-03-05", "2024-03-05 14:30:00", "true"},
                     {"2", inWindows1252("Zo\u00eb caf\u00e9"), "<null>", "-1250.125", "2023-12-31", "<null>", "<null>"},
                     {"3", inWindows1252("\u00c6r\u00f8"), "x", "<null>", "<null>", "2024-01-02 08:15:00", "false"}};
    // Before 5.x there were no Logical and Timestamp fields: those values are kept as text.
    Rows older = newer;
    older[1][6] = "true";
    older[3][6] = "false";
    struct Case {
        ParadoxVersion version;
        const char* fileVersion;
        const Rows& rows;
    };
    // pxlib writes no header older than file version 5.0.
    for (const Case& c : {Case{ParadoxVersion::V3, "50", older}, Case{ParadoxVersion::V4, "50", older},
                          Case{ParadoxVersion::V5, "50", newer}}) {
        SCOPED_TRACE(c.fileVersion);
        writeParadoxTable(fixture(false), c.version, path("r.db"));
        Rows expected = c.rows;
        expected.insert(expected.begin(), {c.fileVersion, "1252"});
        EXPECT_EQ(readParadox(path("r.db")), expected);
    }
    EXPECT_EQ(entries(), std::vector<std::string>{"r.db"});
}

TEST_F(ExportFolder, DbaseFieldsInWindows1252)
{
    for (const DbaseVersion version : {DbaseVersion::III, DbaseVersion::IV, DbaseVersion::V}) {
        writeDbaseTable(fixture(false), version, path("r.dbf"));
        // A date column whose values carry a time is kept whole as text.
        const Rows expected{{"id", "name", "note", "score", "taken", "at", "passed"},
                            {"1", "Say \"hi\"; ok", "two\\r\\nlines", "2.5", "2024-03-05", "2024-03-05 14:30:00", "true"},
                            {"2", "Zo\u00eb caf\u00e9", "", "-1250.125", "2023-12-31", "", "<null>"},
                            {"3", "\u00c6r\u00f8", "x", "<null>", "<null>", "2024-01-02 08:15:00", "false"},
                            {"encoding", "cp1252"}};
        EXPECT_EQ(readWithPython("dbf", path("r.dbf")), expected);
    }
    EXPECT_EQ(entries(), std::vector<std::string>{"r.dbf"});
}

// Each writer with a value past its format's limit, or a character its code page
// lacks: the message names the limit, and neither a file nor a temporary one is left.
struct LimitCase {
    const char* label;
    std::function<void(const std::string&)> write;
    const char* messagePart;
};

Table oneText(const std::string& columnName, const std::string& text)
{
    Table table;
    table.columns.push_back({columnName, ColumnType::Text});
    table.rows.push_back({text});
    return table;
}

Table oneNumber(double value)
{
    Table table;
    table.columns.push_back({"n", ColumnType::Float});
    table.rows.push_back({value});
    return table;
}

// `count` text columns, each holding a text `width` characters long.
Table textColumns(std::size_t count, std::size_t width)
{
    Table table;
    table.rows.emplace_back();
    for (std::size_t c = 0; c < count; ++c) {
        std::string name = "t";
        name.append(std::to_string(c));
        table.columns.push_back({name, ColumnType::Text});
        table.rows.back().push_back(std::string(width, 'a'));
    }
    return table;
}

TEST_F(ExportFolder, LimitsFailBeforeAnythingIsWritten)
{
    const std::vector<LimitCase> cases{
        {"dBase III fields", [](const std::string& p) { writeDbaseTable(wideTable(129), DbaseVersion::III, p); },
         "dBase III holds at most 128 fields"},
        {"dBase IV fields", [](const std::string& p) { writeDbaseTable(wideTable(256), DbaseVersion::IV, p); },
         "dBase IV holds at most 255 fields"},
        {"dBase 5 fields", [](const std::string& p) { writeDbaseTable(wideTable(1025), DbaseVersion::V, p); },
         "dBase 5 holds at most 1024 fields"},
        {"dBase III record", [](const std::string& p) { writeDbaseTable(textColumns(16, 254), DbaseVersion::III, p); },
         "dBase III holds at most 4000 bytes in a record; the table needs 4065"},
        {"dBase decimals", [](const std::string& p) { writeDbaseTable(oneNumber(1e-20), DbaseVersion::V, p); },
         "holds at most 15 decimals in a number; the column \"n\" has 20"},
        {"dBase number width", [](const std::string& p) { writeDbaseTable(oneNumber(-1e20), DbaseVersion::V, p); },
         "holds at most 20 characters in a number field; the column \"n\" needs 22"},
        {"dBase 5 text width",
         [](const std::string& p) { writeDbaseTable(oneText("t", std::string(255, 'a')), DbaseVersion::V, p); },
         "holds at most 254 characters in a text field; row 1, column \"t\""},
        {"dBase field name",
         [](const std::string& p) { writeDbaseTable(oneText("elevenchars", "a"), DbaseVersion::V, p); },
         "field names of 1 to 10 characters"},
        {"dBase Cyrillic", [](const std::string& p) { writeDbaseTable(fixture(true), DbaseVersion::V, p); },
         "Windows-1252 code page, which has no character U+041F: row 3, column \"name\""},
        {"Excel 3.0 columns",
         [](const std::string& p) { writeLegacyExcelSheet(wideTable(257), LegacyExcelVersion::Excel3, p); },
         "Excel 3.0 holds at most 256 columns"},
        {"Excel 4.0 label",
         [](const std::string& p) { writeLegacyExcelSheet(oneText("t", std::string(256, 'a')), LegacyExcelVersion::Excel4, p); },
         "Excel 4.0 holds at most 255 characters in a text cell; row 1, column \"t\""},
        {"Excel 5.0 rows",
         [](const std::string& p) {
             Table table = wideTable(1);
             table.rows.resize(16384, table.rows.front());
             writeLegacyExcelSheet(table, LegacyExcelVersion::Excel5, p, "Data");
         },
         "Excel 5.0 holds at most 16383 rows below the header; the table has 16384"},
        {"Excel 4.0 Cyrillic",
         [](const std::string& p) { writeLegacyExcelSheet(fixture(true), LegacyExcelVersion::Excel4, p); },
         "no character U+041F: row 3, column \"name\""},
        {"Excel 97-2003 columns", [](const std::string& p) { writeExcelWorkbook({{"Data", wideTable(257)}}, p); },
         "Excel 97-2003 holds at most 256 columns in a sheet; the sheet \"Data\" has 257"},
        {"Excel 97-2003 sheet name", [](const std::string& p) { writeExcelWorkbook({{"a[1]", wideTable(2)}}, p); },
         "sheet names of 1 to 31 characters"},
        {"Lotus WK1 label",
         [](const std::string& p) { writeLotusSheet(oneText("t", std::string(241, 'a')), LotusVersion::Wk1, p); },
         "Lotus WK1 holds at most 240 characters in a label; row 1, column \"t\""},
        {"Lotus WK3 columns", [](const std::string& p) { writeLotusSheet(wideTable(257), LotusVersion::Wk3, p); },
         "Lotus WK3 holds 1 to 256 columns"},
        {"Lotus Cyrillic", [](const std::string& p) { writeLotusSheet(fixture(true), LotusVersion::Wk3, p); },
         "no character U+041F: row 3, column \"name\""},
        {"Paradox fields", [](const std::string& p) { writeParadoxTable(wideTable(256), ParadoxVersion::V5, p); },
         "Paradox 5.x holds 1 to 255 fields"},
        {"Paradox field name",
         [](const std::string& p) { writeParadoxTable(oneText(std::string(26, 'f'), "a"), ParadoxVersion::V5, p); },
         "Paradox 5.x holds field names of 1 to 25 characters"},
        {"Paradox record", [](const std::string& p) { writeParadoxTable(textColumns(16, 255), ParadoxVersion::V5, p); },
         "Paradox 5.x holds at most 4000 bytes in a record; the table needs 4080"},
        {"Paradox alpha",
         [](const std::string& p) { writeParadoxTable(oneText("t", std::string(256, 'a')), ParadoxVersion::V4, p); },
         "Paradox 4.x holds at most 255 characters in an alpha field; row 1, column \"t\""},
        {"Lotus WK1 rows",
         [](const std::string& p) {
             Table table = wideTable(1);
             table.rows.resize(8192, table.rows.front());
             writeLotusSheet(table, LotusVersion::Wk1, p);
         },
         "Lotus WK1 holds at most 8191 rows below the header; the table has 8192"},
        {"xlsx columns", [](const std::string& p) { writeXlsxWorkbook({{"Data", wideTable(16385)}}, p); },
         "Excel 2007/2010 (.xlsx) holds at most 16384 columns in a sheet; the sheet \"Data\" has 16385"},
        {"xlsx rows",
         [](const std::string& p) {
             // Rows without cells: only their number counts.
             Table table;
             table.rows.resize(1048576);
             writeXlsxWorkbook({{"Data", table}}, p);
         },
         "holds at most 1048575 rows below the header in a sheet; the sheet \"Data\" has 1048576"},
        {"xlsx text length",
         [](const std::string& p) { writeXlsxWorkbook({{"Data", oneText("t", std::string(32768, 'a'))}}, p); },
         "at most 32767 characters in a cell"},
    };
    for (const LimitCase& c : cases) {
        SCOPED_TRACE(c.label);
        try {
            c.write(path("out.x"));
            ADD_FAILURE() << "no failure";
        } catch (const ExportError& e) {
            EXPECT_NE(std::string(e.what()).find(c.messagePart), std::string::npos) << e.what();
        }
        EXPECT_TRUE(entries().empty());
    }
}

// Every writer, with the extension its file usually has.
struct Writer {
    const char* label;
    const char* extension;
    std::function<void(const std::string&)> write;
};

std::vector<Writer> everyWriter()
{
    return {
        {"text", ".txt", [](const std::string& p) { writeDelimitedText(fixture(true), p, {}); }},
        {"xlsx", ".xlsx", [](const std::string& p) { writeXlsxWorkbook({{"Data", fixture(true)}}, p); }},
        {"dBase", ".dbf", [](const std::string& p) { writeDbaseTable(fixture(false), DbaseVersion::V, p); }},
        {"HTML", ".htm", [](const std::string& p) { writeHtmlTable(fixture(true), "Data", p); }},
        {"Excel 3.0", ".xls", [](const std::string& p) { writeLegacyExcelSheet(fixture(false), LegacyExcelVersion::Excel3, p); }},
        {"Excel 97-2003", ".xls", [](const std::string& p) { writeExcelWorkbook({{"Data", fixture(true)}}, p); }},
        {"Lotus", ".wk1", [](const std::string& p) { writeLotusSheet(fixture(false), LotusVersion::Wk1, p); }},
        {"Paradox", ".db", [](const std::string& p) { writeParadoxTable(fixture(false), ParadoxVersion::V5, p); }},
        {"recordset XML", ".xml", [](const std::string& p) { writeRecordsetXml(fixture(true), p); }},
    };
}

TEST_F(ExportFolder, ReadOnlyFolderFailsAndEarlierFileStaysWhole)
{
    {
        std::ofstream earlier(path("r.txt"));
        earlier << "earlier";
    }
    fs::permissions(folder_, fs::perms::owner_read | fs::perms::owner_exec, fs::perm_options::replace);
    for (const Writer& writer : everyWriter()) {
        SCOPED_TRACE(writer.label);
        try {
            writer.write(path("r.txt"));
            ADD_FAILURE() << "no failure";
        } catch (const ExportError& e) {
            EXPECT_NE(std::string(e.what()).find("read-only"), std::string::npos) << e.what();
        }
        EXPECT_EQ(entries(), std::vector<std::string>{"r.txt"});
        std::ifstream kept(path("r.txt"));
        std::string content;
        std::getline(kept, content);
        EXPECT_EQ(content, "earlier");
    }
}

// The temporary file beside the target must not lengthen the name: every name the file
// system takes is written, and a longer one fails naming the person's file.
TEST_F(ExportFolder, EveryNameTheFileSystemTakesIsWrittenAndALongerOneIsNamedInTheFailure)
{
    for (const Writer& writer : everyWriter()) {
        SCOPED_TRACE(writer.label);
        const std::size_t extension = std::strlen(writer.extension);
        for (const std::size_t length : {std::size_t{249}, std::size_t{255}}) {
            const std::string name = std::string(length - extension, 'n') + writer.extension;
            writer.write(path(name));
            EXPECT_EQ(entries(), std::vector<std::string>{name});
            EXPECT_GT(fs::file_size(path(name)), 100u);
            fs::remove(path(name));
        }
        const std::string tooLong = path(std::string(256 - extension, 'n') + writer.extension);
        try {
            writer.write(tooLong);
            ADD_FAILURE() << "no failure";
        } catch (const ExportError& e) {
            EXPECT_NE(std::string(e.what()).find("\"" + tooLong + "\""), std::string::npos) << e.what();
            EXPECT_EQ(std::string(e.what()).find(".kelvo-"), std::string::npos) << e.what();
        }
        EXPECT_TRUE(entries().empty());
    }
    // A dBase file under the longest name is whole, and so is a workbook given a sheet more.
    const std::string longest = std::string(251, 'n') + ".dbf";
    writeDbaseTable(fixture(false), DbaseVersion::V, path(longest));
    EXPECT_EQ(readWithPython("dbf", path(longest)).size(), 5u);
    const std::string book = std::string(251, 'b') + ".xls";
    addExcelWorkbookSheet({"general", fixture(true)}, path(book));
    addExcelWorkbookSheet({"item1", fixture(true)}, path(book));
    EXPECT_EQ(readWithPython("xls", path(book), "?"), (Rows{{"general"}, {"item1"}}));
    EXPECT_EQ(readWithPython("xls", path(book), "item1"), spreadsheetRows(true));
}

// A child process that starts an export and stops midway: killed, as a crash would end
// it, or waiting until it is told to finish.
class ExportInChild {
public:
    explicit ExportInChild(const std::string& target, bool killed)
    {
        if (::pipe(ready_) != 0 || ::pipe(go_) != 0)
            throw std::runtime_error("no pipe");
        pid_ = ::fork();
        if (pid_ != 0)
            return;
        ReplacementFile file(target);
        file.writeAll("written by the child");
        if (killed)
            ::kill(::getpid(), SIGKILL);
        char byte = 0;
        if (::write(ready_[1], "r", 1) != 1 || ::read(go_[0], &byte, 1) != 1)
            ::_exit(2);
        file.commit();
        ::_exit(0);
    }
    ~ExportInChild()
    {
        for (int descriptor : {ready_[0], ready_[1], go_[0], go_[1]})
            ::close(descriptor);
    }
    void waitUntilWriting()
    {
        char byte = 0;
        ASSERT_EQ(::read(ready_[0], &byte, 1), 1);
    }
    // The child's exit status, or the signal that ended it as a negative number.
    int finish()
    {
        if (::write(go_[1], "g", 1) != 1)
            return -1000;
        int status = 0;
        ::waitpid(pid_, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    }

private:
    pid_t pid_ = -1;
    int ready_[2] = {-1, -1};
    int go_[2] = {-1, -1};
};

TEST_F(ExportFolder, AKilledExportsTemporaryGoesAtTheNextExportThereButALiveOneAndLookAlikesStay)
{
    // The person's own files, named much like a temporary of this program.
    std::vector<std::string> kept{".kelvo-report.txt", ".kelvo-Ab3dE9xQ.txt", "kelvo-Ab3dE9xQ.txt", ".kelvo-Ab3dE9xQ",
                                  ".kelvo-Ab3dE9xQ.txt.bak", ".out.kelvo-Ab3dE9.txt"};
    for (const std::string& name : kept)
        std::ofstream(path(name)) << "mine";

    // Killed twice, the export leaves one partial file: the second removed the first's.
    for (int killed = 0; killed < 2; ++killed) {
        ExportInChild child(path("big.txt"), true);
        EXPECT_EQ(child.finish(), -SIGKILL);
    }
    EXPECT_EQ(entries().size(), kept.size() + 1);

    writeDelimitedText(fixture(true), path("r.txt"), {});
    kept.push_back("r.txt");
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(entries(), kept);
    for (const std::string& name : kept) {
        std::ifstream file(path(name));
        std::string content;
        std::getline(file, content);
        EXPECT_EQ(content == "mine", name != "r.txt") << name;
    }

    // Another export still writing keeps its temporary while one more runs in the folder,
    // and then finishes whole.
    ExportInChild live(path("live.txt"), false);
    live.waitUntilWriting();
    writeDbaseTable(fixture(false), DbaseVersion::V, path("r.dbf"));
    EXPECT_EQ(entries().size(), kept.size() + 2);
    EXPECT_EQ(live.finish(), 0);
    std::ifstream file(path("live.txt"));
    std::string content;
    std::getline(file, content);
    EXPECT_EQ(content, "written by the child");
    kept.push_back("live.txt");
    kept.push_back("r.dbf");
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(entries(), kept);
}

}  // namespace
}  // namespace kelvo::exporting
