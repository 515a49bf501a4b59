// The export routines on a test file the program built: every file type's statement
// runs its SELECT and leaves a file that a reader Kelvo did not write reads back whole.
#include "engine/export_run.h"
#include "engine/jet_export.h"
#include "tests/engine/engine_fixture.h"
#include "tests/engine/export_reading.h"

#include <QDir>
#include <QFile>

#include <filesystem>
#include <fstream>

namespace kelvo::engine::testing {
namespace {

using exporting::testing::readParadox;
using exporting::testing::readWithPython;
using exporting::testing::Rows;

const QString kResultSelect = QStringLiteral(
    "select datac.id, datac.test_date, datac.username, datac.finished, datai1.i1, datav1.v1 from datac left join "
    "datai1 on datac.id = datai1.id left join datav1 on datac.id = datav1.id order by datac.id;");

class ExportRoutines : public EngineFileTest {
protected:
    void SetUp() override
    {
        EngineFileTest::SetUp();
        createTestFile(connection_);
        for (const char* statement :
             {"create table datai1 ( id integer primary key, i1 longtext );",
              "create table datav1 ( id integer primary key, v1 float );",
              "insert into datac (id, test_date, username, finished) values (1, #2024-03-05#, 'Ann \"A\"; B', true);",
              "insert into datac (id, test_date, username, finished) values (2, '2024-03-06 14:30:00', 'Zoë', false);",
              "insert into datac (id, username) values (3, 'Привет');",
              "insert into datai1 (id, i1) values (3, 'x');",
              "insert into datav1 (id, v1) values (1, 2.5);",
              "insert into datav1 (id, v1) values (3, -1);"})
            connection_.execute(QString::fromUtf8(statement));
        // Two chosen answers are joined by a line break.
        connection_.execute(QStringLiteral("insert into datai1 (id, i1) values (1, :answers);"),
                            {{QStringLiteral("answers"), QStringLiteral("yes\r\nno")}});
        // datac's own rows: finished defaults to false unless given.
        connection_.execute(QStringLiteral("update datac set finished = null where id = 3;"));
    }

    void useLatinNames() { connection_.execute(QStringLiteral("update datac set username = 'Ærø' where id = 3;")); }

    std::string out(const QString& name) const { return pathOf(name).toStdString(); }

    std::vector<std::string> entries() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder_.path().toStdString()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    Connection connection_;
};

// Rows as the typed readers (openpyxl, xlrd) give them.
Rows spreadsheetRows(bool cyrillic)
{
    return {{"id", "test_date", "username", "finished", "i1", "v1"},
            {"1", "2024-03-05", "Ann \"A\"; B", "true", "yes\\r\\nno", "2.5"},
            {"2", "2024-03-06 14:30:00", "Zo\u00eb", "false", "<null>", "<null>"},
            {"3", "<null>", cyrillic ? "\u041f\u0440\u0438\u0432\u0435\u0442" : "\u00c6r\u00f8", "<null>", "x", "-1"}};
}

TEST_F(ExportRoutines, UnicodeFormatsHoldEveryValue)
{
    EXPECT_EQ(ExportQuery(&connection_, kResultSelect, pathOf("r.xls"), "Data", 4), 3);
    EXPECT_EQ(readWithPython("xls", out("r.xls"), "Data"), spreadsheetRows(true));

    EXPECT_EQ(ExportQuery(&connection_, kResultSelect, pathOf("r.txt"), "Data", 14), 3);
    EXPECT_EQ(readWithPython("text", out("r.txt"), ","),
              (Rows{{"id", "test_date", "username", "finished", "i1", "v1"},
                    {"1", "2024-03-05", "Ann \"A\"; B", "true", "yes\\r\\nno", "2.5"},
                    {"2", "2024-03-06 14:30:00", "Zo\u00eb", "false", "", ""},
                    {"3", "", "\u041f\u0440\u0438\u0432\u0435\u0442", "", "x", "-1"}}));

    EXPECT_EQ(ExportQuery(&connection_, kResultSelect, pathOf("r.htm"), "Data", 15), 3);
    EXPECT_EQ(readWithPython("html", out("r.htm")),
              (Rows{{"id", "test_date", "username", "finished", "i1", "v1"},
                    {"1", "2024-03-05", "Ann \"A\"; B", "true", "yes\\r\\nno", "2.5"},
                    {"2", "2024-03-06 14:30:00", "Zo\u00eb", "false", "", ""},
                    {"3", "", "\u041f\u0440\u0438\u0432\u0435\u0442", "", "x", "-1"}}));

    EXPECT_EQ(ExportQuery(&connection_, kResultSelect, pathOf("r.xml"), "Data", 16), 3);
    EXPECT_EQ(readWithPython("xml", out("r.xml")),
              (Rows{{"id", "test_date", "username", "finished", "i1", "v1"},
                    {"int", "dateTime", "string", "boolean", "string", "float"},
                    {"1", "2024-03-05T00:00:00", "Ann \"A\"; B", "True", "yes\\r\\nno", "2.5"},
                    {"2", "2024-03-06T14:30:00", "Zo\u00eb", "False", "<null>", "<null>"},
                    {"3", "<null>", "\u041f\u0440\u0438\u0432\u0435\u0442", "<null>", "x", "-1"}}));
}

TEST_F(ExportRoutines, AccessExportAddsTheTableToAnExistingTestFormatFile)
{
    const QString target = pathOf("target.mdb");
    createDatabase(target, QString());
    EXPECT_EQ(ExportQuery(&connection_, kResultSelect, target, "Data", 0), 3);
    EXPECT_EQ(readWithPython("access", target.toStdString(), "Data"),
              (Rows{{"id", "test_date", "username", "finished", "i1", "v1"},
                    {"INT", "DATETIME", "VARCHAR(255)", "BOOLEAN", "LONGTEXT", "FLOAT"},
                    {"1", "2024-03-05 00:00:00", "Ann \"A\"; B", "1", "yes\\r\\nno", "2.5"},
                    {"2", "2024-03-06 14:30:00", "Zo\u00eb", "0", "<null>", "<null>"},
                    {"3", "<null>", "\u041f\u0440\u0438\u0432\u0435\u0442", "<null>", "x", "-1"}}));

    // The table exists now: the second export fails in the engine and changes nothing.
    const QByteArray before = fileBytes(target);
    try {
        ExportQuery(&connection_, kResultSelect, target, "Data", 0);
        ADD_FAILURE() << "a second table Data";
    } catch (const EngineError& e) {
        EXPECT_EQ(e.message(), "Table 'Data' already exists.");
    }
    EXPECT_EQ(fileBytes(target), before);
    // The engine still works on the test file afterwards.
    EXPECT_EQ(connection_.select("select count(*) from datac;").rows[0][0].toInt(), 3);
    // A file that is no database of this program is refused.
    QFile other(pathOf("other.mdb"));
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.write("not a database");
    other.close();
    EXPECT_THROW(ExportQuery(&connection_, kResultSelect, pathOf("other.mdb"), "Data", 0), EngineError);
}

// The table is written into a copy that then takes the file's place: through a link it
// is the linked file that gets it, with its mode, and nothing is left beside it.
TEST_F(ExportRoutines, AccessExportThroughALinkFillsTheLinkedFileAndKeepsItsMode)
{
    namespace fs = std::filesystem;
    const QString real = pathOf("real.mdb");
    createDatabase(real, QString());
    const fs::perms mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(real.toStdString(), mode, fs::perm_options::replace);
    ASSERT_TRUE(QFile::link(real, pathOf("link.mdb")));

    EXPECT_EQ(ExportQuery(&connection_, kResultSelect, pathOf("link.mdb"), "Data", 0), 3);
    EXPECT_TRUE(QFileInfo(pathOf("link.mdb")).isSymLink());
    EXPECT_EQ(readWithPython("access", real.toStdString(), "Data").size(), 5u);
    EXPECT_EQ(fs::status(real.toStdString()).permissions(), mode);
    EXPECT_EQ(entries(), (std::vector<std::string>{"link.mdb", "real.mdb", "test.mdb"}));
}

TEST_F(ExportRoutines, EightBitFormatsHoldLatinTextAndRefuseCyrillic)
{
    // Each type with its target, as the export window and the routines name them.
    const std::vector<std::pair<int, QString>> types{{1, "r3.xls"},  {2, "r4.xls"},  {3, "r5.xls"}, {5, "r.wk1"}, {6, "r.wk3"},
                                                     {8, "r3.dbf"},  {9, "r4.dbf"},  {10, "r5.dbf"},
                                                     {11, "p3.db"},  {12, "p4.db"},  {13, "p5.db"}};
    for (const auto& [type, name] : types) {
        SCOPED_TRACE(type);
        try {
            ExportQuery(&connection_, kResultSelect, pathOf(name), "Data", type);
            ADD_FAILURE() << "Cyrillic in an 8-bit format";
        } catch (const EngineError& e) {
            EXPECT_NE(e.message().indexOf("row 3, column \"username\""), -1) << e.message().toStdString();
        }
        EXPECT_TRUE(entries().size() == 1) << "only the test file";
    }
    useLatinNames();
    for (const auto& [type, name] : types)
        EXPECT_EQ(ExportQuery(&connection_, kResultSelect, pathOf(name), "Data", type), 3) << type;

    for (const char* name : {"r3.xls", "r4.xls", "r5.xls"})
        EXPECT_EQ(readWithPython("xls", out(name)), spreadsheetRows(false)) << name;
    EXPECT_EQ(readWithPython("xls", out("r5.xls"), "?"), (Rows{{"Data"}}));
    const Rows dbase{{"id", "test_date", "username", "finished", "i1", "v1"},
                     {"1", "2024-03-05", "Ann \"A\"; B", "true", "yes\\r\\nno", "2.5"},
                     {"2", "2024-03-06 14:30:00", "Zo\u00eb", "false", "", "<null>"},
                     {"3", "", "\u00c6r\u00f8", "<null>", "x", "-1"},
                     {"encoding", "cp1252"}};
    for (const char* name : {"r3.dbf", "r4.dbf", "r5.dbf"})
        EXPECT_EQ(readWithPython("dbf", out(name)), dbase) << name;

    const auto latin = [](const char* utf8) { return exporting::toWindows1252(utf8, {}, "test"); };
    const Rows paradox5{{"50", "1252"},
                        {"id", "test_date", "username", "finished", "i1", "v1"},
                        {"1", "2024-03-05 00:00:00", "Ann \"A\"; B", "true", "yes\r\nno", "2.5"},
                        {"2", "2024-03-06 14:30:00", latin("Zo\u00eb"), "false", "<null>", "<null>"},
                        {"3", "<null>", latin("\u00c6r\u00f8"), "<null>", "x", "-1"}};
    EXPECT_EQ(readParadox(out("p5.db")), paradox5);
    Rows paradoxOlder = paradox5;
    paradoxOlder[2][1] = "2024-03-05";
    for (const char* name : {"p3.db", "p4.db"})
        EXPECT_EQ(readParadox(out(name)), paradoxOlder) << name;

    // libwps shows a WK1 date rounded to the nearest day, and drops a label's line break.
    const auto wk1 = exporting::testing::runProgram("wks2csv -e CP1252 " + exporting::testing::shellQuoted(out("r.wk1")));
    EXPECT_EQ(wk1.text, "Col1,Col2,Col3,Col4,Col5,Col6\n"
                        "\"id\",\"test_date\",\"username\",\"finished\",\"i1\",\"v1\"\n"
                        "\"1\",\"03/05/24\",\"Ann \"\"A\"\"; B\",\"1\",\"yesno\",\"2.5\"\n"
                        "\"2\",\"03/07/24\",\"Zo\u00eb\",\"0\",\"\",\"\"\n"
                        "\"3\",\"\",\"\u00c6r\u00f8\",\"\",\"x\",\"-1\"\n\n");
    const auto wk3 = exporting::testing::runProgram("wks2csv " + exporting::testing::shellQuoted(out("r.wk3")));
    EXPECT_EQ(wk3.text, "Col1,Col2,Col3,Col4,Col5,Col6\n"
                        "\"id\",\"test_date\",\"username\",\"finished\",\"i1\",\"v1\"\n"
                        "\"1\",\"45356\",\"Ann \"\"A\"\"; B\",\"1\",\"yesno\",\"2.5\"\n"
                        "\"2\",\"45357.6\",\"Zo\u00eb\",\"0\",\"\",\"\"\n"
                        "\"3\",\"\",\"\u00c6r\u00f8\",\"\",\"x\",\"-1\"\n\n");
}

// SQLite keeps any value in any column: each column goes to the writers as the kind
// that holds all its cells, and texts leave as UTF-8 whether or not they are ASCII.
TEST_F(ExportRoutines, EachColumnTakesTheKindThatHoldsItsCells)
{
    using exporting::ColumnType;
    connection_.execute("create table mixed ( id integer primary key, whole int, wholeThenText int, memo longtext, "
                        "empty int, flag yesno, name varchar(20) );");
    connection_.execute("insert into mixed values (1, 1, 1, 'a', null, true, 'plain');");
    connection_.execute(QString::fromUtf8("insert into mixed values (2, 2.5, 'x', 3, null, false, 'Zoë Привет');"));
    connection_.execute("insert into mixed values (3, null, 2, null, null, null, '');");
    const exporting::Table table = exportTableOf(connection_.select("select * from mixed order by id"));

    const std::vector<std::pair<std::string, ColumnType>> columns{
        {"id", ColumnType::Integer},  {"whole", ColumnType::Float}, {"wholeThenText", ColumnType::Text},
        {"memo", ColumnType::LongText}, {"empty", ColumnType::Integer}, {"flag", ColumnType::Boolean},
        {"name", ColumnType::Text}};
    ASSERT_EQ(table.columns.size(), columns.size());
    for (std::size_t c = 0; c < columns.size(); ++c) {
        EXPECT_EQ(table.columns[c].name, columns[c].first);
        EXPECT_EQ(table.columns[c].type, columns[c].second) << columns[c].first;
    }
    ASSERT_EQ(table.rows.size(), 3u);
    const auto cell = [&](std::size_t row, std::size_t column) { return table.rows[row][column]; };
    EXPECT_EQ(std::get<std::int64_t>(cell(0, 1)), 1);
    EXPECT_EQ(std::get<double>(cell(1, 1)), 2.5);
    EXPECT_EQ(std::get<std::string>(cell(1, 2)), "x");
    EXPECT_EQ(std::get<std::string>(cell(1, 3)), "3");  // the column's text affinity made it a text
    EXPECT_TRUE(std::holds_alternative<std::monostate>(cell(2, 3)));
    EXPECT_EQ(std::get<std::string>(cell(0, 6)), "plain");
    EXPECT_EQ(std::get<std::string>(cell(1, 6)), "Zo\xc3\xab \xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82");
    EXPECT_EQ(std::get<std::string>(cell(2, 6)), "");  // empty, not Null
}

// A table this large is converted by several threads, each settling the kinds of its
// own rows; the kinds met only in the first or the last rows must still count.
TEST(ExportTableOfManyRows, KeepsEveryRowInPlaceAndSettlesKindsOverAllOfThem)
{
    using exporting::ColumnType;
    constexpr int kRows = 4000;
    constexpr int kColumns = 200;
    ResultSet result;
    result.columns = {{"id", FieldClass::Integer}, {"lastIsFloat", FieldClass::Integer},
                      {"firstIsText", FieldClass::Integer}, {"middleOnly", FieldClass::Boolean}};
    for (int c = static_cast<int>(result.columns.size()); c < kColumns; ++c)
        result.columns.push_back({QStringLiteral("t%1").arg(c), FieldClass::Text});
    for (int r = 0; r < kRows; ++r) {
        std::vector<QVariant> row{r, r == kRows - 1 ? QVariant(0.5) : QVariant(r), r == 0 ? QVariant("x") : QVariant(r),
                                  r == kRows / 2 ? QVariant(true) : QVariant()};
        for (int c = static_cast<int>(row.size()); c < kColumns; ++c)
            row.push_back((r + c) % 5 == 0 ? QVariant(QString::fromUtf8("é%1").arg(r)) : QVariant(QString::number(r * c)));
        result.rows.push_back(std::move(row));
    }
    const exporting::Table table = exportTableOf(result);

    EXPECT_EQ(table.columns[0].type, ColumnType::Integer);
    EXPECT_EQ(table.columns[1].type, ColumnType::Float);
    EXPECT_EQ(table.columns[2].type, ColumnType::Text);
    EXPECT_EQ(table.columns[3].type, ColumnType::Boolean);
    ASSERT_EQ(table.rows.size(), static_cast<std::size_t>(kRows));
    int misplaced = 0;
    for (int r = 0; r < kRows; ++r) {
        const auto& cells = table.rows[static_cast<std::size_t>(r)];
        ASSERT_EQ(cells.size(), static_cast<std::size_t>(kColumns));
        misplaced += std::get<std::int64_t>(cells[0]) != r;
        for (int c = 4; c < kColumns; ++c)
            misplaced += std::get<std::string>(cells[static_cast<std::size_t>(c)])
                         != result.rows[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)].toString().toStdString();
    }
    EXPECT_EQ(misplaced, 0);
}

TEST_F(ExportRoutines, StatementFormsAreRecognised)
{
    // The statement ExportTable builds, as the routines' table gives it.
    EXPECT_EQ(exportStatementText("datac, dataf where datac.id = dataf.id;", "a, b", "Data", 10, "/x/res.dbf"),
              "SELECT a, b INTO [res] IN \"/x/\" \"dBASE 5.0;\" FROM datac, dataf where datac.id = dataf.id;");
    EXPECT_EQ(exportStatementText("datac", "*", "Data", 0, "/x/a.mdb"), "SELECT * INTO [Data] IN \"/x/a.mdb\"  FROM datac");
    EXPECT_EQ(exportStatementText("datac", "*", "Data", 1, "/x/res.xls"),
              "SELECT * INTO [res] IN \"/x/res.xls\" \"Excel 3.0;\" FROM datac");

    // A column named "information" and a table named "fromage" do not end the field list.
    connection_.execute("create table fromage ( id integer primary key, information varchar(20) );");
    connection_.execute("insert into fromage (id, information) values (1, 'brie');");
    EXPECT_EQ(ExportQuery(&connection_, "\r\n\t select information from fromage;", pathOf("f.txt"), "Data", 14), 1);
    EXPECT_EQ(readWithPython("text", out("f.txt"), ","), (Rows{{"information"}, {"brie"}}));
    // An empty field list exports every column.
    EXPECT_EQ(ExportTable(&connection_, "fromage;", "", "Data", 14, pathOf("g.txt")), 1);
    EXPECT_EQ(readWithPython("text", out("g.txt"), ","), (Rows{{"id", "information"}, {"1", "brie"}}));

    // The per-table form of the export window: each table on its own sheet of one workbook.
    const QString book = pathOf("tables.xls");
    for (const auto& [table, sheet] : std::vector<std::pair<QString, QString>>{{"datac", "general"}, {"datai1", "item1"},
                                                                                {"datav1", "var1"}})
        connection_.execute(QStringLiteral("select * into [Excel 8.0;Database=%1].[%2] from %3").arg(book, sheet, table));
    EXPECT_EQ(readWithPython("xls", book.toStdString(), "?"), (Rows{{"general"}, {"item1"}, {"var1"}}));
    EXPECT_EQ(readWithPython("xls", book.toStdString(), "var1"), (Rows{{"id", "v1"}, {"1", "2.5"}, {"3", "-1"}}));

    const auto message = [&](const std::function<void()>& call) {
        try {
            call();
        } catch (const EngineError& e) {
            return e.message();
        }
        return QStringLiteral("no failure");
    };
    EXPECT_EQ(message([&] { ExportQuery(&connection_, kResultSelect, pathOf("r.wk4"), "Data", 7); }),
              "ExportTable: Fileformat not supported.");
    EXPECT_EQ(message([&] { ExportTable(&connection_, "datac", "*", "Data", 17, pathOf("r.x")); }),
              "ExportTable: Fileformat not supported.");
    EXPECT_EQ(message([&] { ExportQuery(&connection_, "", pathOf("r.x"), "Data", 10); }), "Incomplete parameters.");
    EXPECT_EQ(message([&] { ExportQuery(nullptr, kResultSelect, pathOf("r.x"), "Data", 10); }), "Incomplete parameters.");
    EXPECT_EQ(message([&] { ExportQuery(&connection_, kResultSelect, "", "Data", 10); }), "Incomplete parameters.");
    EXPECT_EQ(message([&] { ExportTable(&connection_, "", "*", "Data", 10, pathOf("r.x")); }), "Incomplete parameters.");
    EXPECT_EQ(message([&] { connection_.execute("select * into [Data] in \"" + pathOf("r.x") + "\" \"Excel 2.1;\" from datac"); }),
              "Could not find installable ISAM.");
}

TEST_F(ExportRoutines, FailuresLeaveEarlierFilesWholeAndTheTestFileUntouched)
{
    useLatinNames();
    // An earlier export stays whole when the next one fails on a limit.
    ASSERT_EQ(ExportQuery(&connection_, kResultSelect, pathOf("r.dbf"), "Data", 8), 3);
    const QByteArray earlier = fileBytes(pathOf("r.dbf"));
    QStringList columns;
    for (int c = 0; c < 130; ++c)
        columns << QStringLiteral("datac.id as c%1").arg(c);
    try {
        ExportQuery(&connection_, "select " + columns.join(", ") + " from datac;", pathOf("r.dbf"), "Data", 8);
        ADD_FAILURE() << "130 fields in dBase III";
    } catch (const EngineError& e) {
        EXPECT_NE(e.message().indexOf("dBase III holds at most 128 fields"), -1) << e.message().toStdString();
    }
    EXPECT_EQ(fileBytes(pathOf("r.dbf")), earlier);
    // The earlier workbook is replaced, not added to, by an export of type 4.
    ASSERT_EQ(ExportQuery(&connection_, kResultSelect, pathOf("r.xls"), "Data", 4), 3);
    ASSERT_EQ(ExportQuery(&connection_, kResultSelect, pathOf("r.xls"), "Data", 4), 3);
    EXPECT_EQ(readWithPython("xls", out("r.xls"), "?"), (Rows{{"Data"}}));
    EXPECT_EQ(entries(), (std::vector<std::string>{"r.dbf", "r.xls", "test.mdb"}));

    // The open test file, however its path is spelled, is never a target.
    const QByteArray test = fileBytes(testFile());
    const QString spelled = folder_.path() + "/./sub/../test.mdb";
    QDir(folder_.path()).mkdir("sub");
    for (const int type : {0, 1, 4, 6, 16}) {
        SCOPED_TRACE(type);
        try {
            ExportQuery(&connection_, kResultSelect, spelled, "Data", type);
            ADD_FAILURE() << "the open test file as target";
        } catch (const EngineError& e) {
            EXPECT_NE(e.message().indexOf("cannot be the target of an export"), -1) << e.message().toStdString();
        }
    }
    EXPECT_EQ(fileBytes(testFile()), test);

    // A read-only folder: the message, and nothing is left in it.
    const QString locked = pathOf("locked");
    QDir(folder_.path()).mkdir("locked");
    QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    for (const auto& [type, name] : std::vector<std::pair<int, QString>>{{14, "r.txt"}, {4, "r.xls"}, {10, "r.dbf"},
                                                                         {13, "r.db"}, {6, "r.wk3"}, {16, "r.xml"}}) {
        SCOPED_TRACE(type);
        try {
            ExportQuery(&connection_, kResultSelect, locked + "/" + name, "Data", type);
            ADD_FAILURE() << "a read-only folder";
        } catch (const EngineError& e) {
            EXPECT_NE(e.message().indexOf("read-only"), -1) << e.message().toStdString();
        }
        EXPECT_TRUE(QDir(locked).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
    }
    QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

}  // namespace
}  // namespace kelvo::engine::testing
