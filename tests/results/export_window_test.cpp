// The export window through its widgets: the boxes and delimiters set, Export pressed and
// the save dialog answered with a file and an entry of its filter; each file is then read
// back with a reader Kelvo did not write (openpyxl, xlrd, dbfread, sqlite3, pxlib,
// libwps's wks2csv, Python's csv).
#include "results/export_window.h"

#include "data/session.h"
#include "tests/engine/export_reading.h"
#include "tests/results/results_fixture.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlQuery>

#include <algorithm>
#include <map>

namespace kelvo::testing {
namespace {

using exporting::testing::readParadox;
using exporting::testing::readWithPython;
using exporting::testing::Rows;
using exporting::testing::runProgram;
using exporting::testing::shellQuoted;

const QString kText = QStringLiteral("Text File (*.txt)");
const QString kAccess = QStringLiteral("Access (*.mdb)");
const QString kLotus = QStringLiteral("Lotus WK3 (*.wk3)");
const QString kDbase = QStringLiteral("dBase 5 (*.dbf)");
const QString kParadox = QStringLiteral("Paradox 5.x (*.db)");
const QString kExcel1990 = QStringLiteral("Excel 1990 (*.xls)");
const QString kExcel1997 = QStringLiteral("Excel 1997-2003 (*.xls)");
const QString kExcel2010 = QStringLiteral("Excel 2010 (*.xlsx)");
const QString kExportFailed = QStringLiteral("There was error in exporting data!\r\n\r\nExport failed!");

const QString kCyrillic = QStringLiteral("\u041f\u0440\u0438\u0432\u0435\u0442");
const QString kLatin = QStringLiteral("\u00c6r\u00f8");

// Exports through the window as the results window opens it, and reads the folder.
class ExportFixture : public ResultsFixture {
protected:
    // The window as the results window opens it; `choose` sets its widgets.
    void Export(const QString& filter, const QString& file, const std::function<void(TForm14&)>& choose = {})
    {
        TForm14 window;
        window.show();
        QApplication::processEvents();
        if (choose)
            choose(window);
        script.answerFile(file, filter);
        window.btnExport->click();
        EXPECT_TRUE(window.btnExport->isEnabled());
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }

    QString Path(const QString& name) const { return dir.filePath(name); }
    std::string Out(const QString& name) const { return Path(name).toStdString(); }
    QStringList Files(const QString& folder = {}) const
    {
        return QDir(folder.isEmpty() ? dir.path() : folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    static QByteArray Bytes(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

// Three runs: run 2 has no answers row, run 3 no variables and no data fields; texts with
// quotes and the text delimiter, two chosen answers joined by a line break, accents,
// Cyrillic, a Null answer, numbers, dates with and without a time, Booleans.
class ExportRuns : public ExportFixture {
protected:
    void SetUp() override
    {
        MakeTest(2, 1, 1);
        AddRun({1, QStringLiteral("Ann \"A\"; B"), QStringLiteral("2024-03-05 09:30:00"), 0});
        AddRun({2, QStringLiteral("Zo\u00eb \u00c6r\u00f8"), QStringLiteral("2024-03-06 00:00:00"), 1});
        AddRun({3, kCyrillic, QStringLiteral("2024-03-07 14:00:00"), 2});
        AddAnswers(1, {QStringLiteral("yes\r\nno"), QString()});
        AddAnswers(3, {QStringLiteral("x"), QStringLiteral("Caf\u00e9")});
        AddVariables(1, {2.5});
        AddVariables(2, {-1});
        AddDataFields(1, {QStringLiteral("K\u00f6ln")});
        AddDataFields(2, {QStringLiteral("Zagreb")});
    }

    void SetNameOfRun3(const QString& name) { ExecSQL("update datac set username = " + SqlQuote(name) + " where id = 3;"); }
};

// How a reader shows the fixture's cells.
struct Look {
    std::string nullText = "<null>";
    std::string nullNumber = "<null>";
    // test_time holds a time of day, day 0 (serial 0.427083): xlrd counts day 0 as
    // 1899-12-31 and openpyxl as 1899-12-29, the formats' readers as they are.
    std::string time = "1899-12-30 10:15:00";
    std::string midnight = "2024-03-06";
    std::string yes = "true";
    std::string no = "false";
    std::string lineBreak = "\\r\\n";
    bool cyrillic = true;
    bool dbaseNames = false;
    // Paradox texts as their Windows-1252 bytes.
    bool windows1252 = false;
    bool trailingCell = false;
};

Rows Expected(const Look& look)
{
    const auto text = [&](const char* utf8) {
        return look.windows1252 ? exporting::toWindows1252(utf8, {}, "test") : std::string(utf8);
    };
    Rows rows{{"id", "test_date", "test_time", look.dbaseNames ? "blank_answ" : "blank_answers",
               look.dbaseNames ? "last_answe" : "last_answer", "go_back", look.dbaseNames ? "correction" : "correction_answers",
               "username", "finished", "modified", "aposterior", "os", "data1", "item1", "item2", "var1"},
              {"1", "2024-03-05 09:30:00", look.time, "0", "1", "0", "0", "Ann \"A\"; B", look.yes, look.no, look.no, "1",
               text("K\u00f6ln"), "yes" + look.lineBreak + "no", look.nullText, "2.5"},
              {"2", look.midnight, look.time, "1", "1", "0", "0", text("Zo\u00eb \u00c6r\u00f8"), look.yes, look.no, look.no,
               "1", "Zagreb", look.nullText, look.nullText, "-1"},
              {"3", "2024-03-07 14:00:00", look.time, "2", "1", "0", "0",
               look.cyrillic ? "\u041f\u0440\u0438\u0432\u0435\u0442" : text("\u00c6r\u00f8"), look.yes, look.no, look.no, "1",
               look.nullText, "x", text("Caf\u00e9"), look.nullNumber}};
    if (look.trailingCell)
        for (auto& row : rows)
            row.emplace_back();
    return rows;
}

TEST_F(ExportRuns, EveryEntryOfTheFilterWritesEveryRunThatAReaderReadsBack)
{
    // Text: UTF-8 with BOM and CRLF (the reader checks both), the quoted cell, the answers
    // joined by "_", the delimiter after every cell.
    Export(kText, Path("r.txt"));
    Look text;
    text.nullText = text.nullNumber = "";
    text.lineBreak = "_";
    text.trailingCell = true;
    EXPECT_EQ(readWithPython("text", Out("r.txt")), Expected(text));

    Export(kExcel1997, Path("r.xls"));
    Look xls;
    xls.time = "1899-12-31 10:15:00";
    EXPECT_EQ(readWithPython("xls", Out("r.xls"), "?"), (Rows{{"Data"}}));
    EXPECT_EQ(readWithPython("xls", Out("r.xls")), Expected(xls));

    Export(kExcel2010, Path("r.xlsx"));
    Look xlsx;
    xlsx.time = "1899-12-29 10:15:00";
    EXPECT_EQ(readWithPython("xlsx", Out("r.xlsx"), "?"), (Rows{{"Data"}}));
    EXPECT_EQ(readWithPython("xlsx", Out("r.xlsx")), Expected(xlsx));

    engine::createDatabase(Path("target.mdb"), QString());
    Export(kAccess, Path("target.mdb"));
    Look access;
    access.midnight = "2024-03-06 00:00:00";
    access.yes = "1";
    access.no = "0";
    Rows accessRows = Expected(access);
    accessRows.insert(accessRows.begin() + 1, {"INT", "DATETIME", "DATETIME", "INT", "INT", "INT", "INT", "VARCHAR(255)",
                                               "BOOLEAN", "BOOLEAN", "BOOLEAN", "INT", "VARCHAR(255)", "LONGTEXT", "LONGTEXT",
                                               "FLOAT"});
    EXPECT_EQ(readWithPython("access", Out("target.mdb"), "Data"), accessRows);
    EXPECT_TRUE(script.shown().empty()) << script.lastText().toStdString();

    // The 8-bit formats hold the accents, not the Cyrillic (refused below).
    SetNameOfRun3(kLatin);
    Export(kExcel1990, Path("r3.xls"));
    Look xls3 = xls;
    xls3.cyrillic = false;
    EXPECT_EQ(readWithPython("xls", Out("r3.xls")), Expected(xls3));

    Export(kDbase, Path("r.dbf"));
    Look dbase;
    dbase.nullText = "";
    dbase.lineBreak = "\\r\\n";
    dbase.cyrillic = false;
    dbase.dbaseNames = true;
    Rows dbaseRows = Expected(dbase);
    dbaseRows.push_back({"encoding", "cp1252"});
    EXPECT_EQ(readWithPython("dbf", Out("r.dbf")), dbaseRows);

    Export(kParadox, Path("r.db"));
    Look paradox;
    paradox.midnight = "2024-03-06 00:00:00";
    paradox.lineBreak = "\r\n";
    paradox.cyrillic = false;
    paradox.windows1252 = true;
    Rows paradoxRows = Expected(paradox);
    paradoxRows.insert(paradoxRows.begin(), {"50", "1252"});
    EXPECT_EQ(readParadox(Out("r.db")), paradoxRows);

    // wks2csv shows dates and times as day numbers and drops a label's line break.
    Export(kLotus, Path("r.wk3"));
    EXPECT_EQ(runProgram("wks2csv " + shellQuoted(Out("r.wk3"))).text,
              "Col1,Col2,Col3,Col4,Col5,Col6,Col7,Col8,Col9,Col10,Col11,Col12,Col13,Col14,Col15,Col16\n"
              "\"id\",\"test_date\",\"test_time\",\"blank_answers\",\"last_answer\",\"go_back\",\"correction_answers\","
              "\"username\",\"finished\",\"modified\",\"aposterior\",\"os\",\"data1\",\"item1\",\"item2\",\"var1\"\n"
              "\"1\",\"45356.4\",\"0.427083\",\"0\",\"1\",\"0\",\"0\",\"Ann \"\"A\"\"; B\",\"1\",\"0\",\"0\",\"1\",\"K\u00f6ln\","
              "\"yesno\",\"\",\"2.5\"\n"
              "\"2\",\"45357\",\"0.427083\",\"1\",\"1\",\"0\",\"0\",\"Zo\u00eb \u00c6r\u00f8\",\"1\",\"0\",\"0\",\"1\",\"Zagreb\","
              "\"\",\"\",\"-1\"\n"
              "\"3\",\"45358.6\",\"0.427083\",\"2\",\"1\",\"0\",\"0\",\"\u00c6r\u00f8\",\"1\",\"0\",\"0\",\"1\",\"\",\"x\","
              "\"Caf\u00e9\",\"\"\n\n");
    EXPECT_TRUE(script.shown().empty()) << script.lastText().toStdString();
    EXPECT_EQ(Files(), (QStringList{"r.db", "r.dbf", "r.txt", "r.wk3", "r.xls", "r.xlsx", "r3.xls", "results.mdb", "target.mdb"}));
}

// The file written beside the target before it takes the target's name must not make a
// name the file system takes too long: 255 bytes is the longest a name can be.
TEST_F(ExportRuns, TheLongestNameTheFileSystemTakesIsWrittenInEveryFormatOffered)
{
    SetNameOfRun3(kLatin);
    const auto nameOf = [](char letter, const QString& extension) {
        return QString(255 - extension.size(), QLatin1Char(letter)) + extension;
    };
    const auto rowsRead = [](const std::string& reader) {
        return [reader](const std::string& file) { return readWithPython(reader, file).size(); };
    };
    struct Case {
        QString filter;
        QString name;
        std::function<std::size_t(const std::string&)> rows;  // header included
        std::size_t expected;
    };
    const Case cases[] = {
        {kText, nameOf('t', ".txt"), rowsRead("text"), 4},
        {kAccess, nameOf('a', ".mdb"),
         [](const std::string& file) { return readWithPython("access", file, "Data").size() - 1; }, 4},
        {kLotus, nameOf('l', ".wk3"),
         [](const std::string& file) {
             const std::string text = runProgram("wks2csv " + shellQuoted(file)).text;
             return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) - 2;
         },
         4},
        {kDbase, nameOf('d', ".dbf"), [](const std::string& file) { return readWithPython("dbf", file).size() - 1; }, 4},
        {kParadox, nameOf('p', ".db"), [](const std::string& file) { return readParadox(file).size() - 1; }, 4},
        {kExcel1990, nameOf('e', ".xls"), rowsRead("xls"), 4},
        {kExcel1997, nameOf('f', ".xls"), rowsRead("xls"), 4},
        {kExcel2010, nameOf('x', ".xlsx"), rowsRead("xlsx"), 4},
    };
    // Created under a short name (the program makes no test with a name this long), then
    // named so, as another program may have named it.
    engine::createDatabase(Path("access.mdb"), QString());
    ASSERT_TRUE(QFile::rename(Path("access.mdb"), Path(nameOf('a', ".mdb"))));
    QStringList expectedFiles{"results.mdb"};
    for (const Case& c : cases)
        expectedFiles << c.name;
    expectedFiles.sort();
    // The second time each file but the Access one (which holds its table now) exists
    // already and is replaced.
    for (const bool again : {false, true})
        for (const Case& c : cases) {
            if (again && c.filter == kAccess)
                continue;
            SCOPED_TRACE(c.filter.toStdString() + (again ? " again" : ""));
            script.clear();
            Export(c.filter, Path(c.name));
            EXPECT_TRUE(script.shown().empty()) << script.lastText().toStdString();
            EXPECT_EQ(c.rows(Out(c.name)), c.expected);
        }
    EXPECT_EQ(Files(), expectedFiles);
}

TEST_F(ExportRuns, TheDelimitersAndTheChosenGroupsShapeTheText)
{
    // Without the general data the runs are still every run of datac, by id.
    Export(kText, Path("answers.txt"), [](TForm14& window) {
        window.chCommon->setChecked(false);
        window.chFields->setChecked(false);
        window.chVariables->setChecked(false);
        window.Edit1->setText(",");
        window.Edit2->clear();
    });
    // With no delimiter for multiple answers the line break stays, in a quoted cell.
    EXPECT_EQ(readWithPython("text", Out("answers.txt"), ","),
              (Rows{{"id", "item1", "item2", ""}, {"1", "yes\\r\\nno", "", ""}, {"2", "", "", ""}, {"3", "x", "Caf\u00e9", ""}}));
    EXPECT_TRUE(Bytes(Path("answers.txt")).contains("\"yes\r\nno\","));

    // The same groups through the SELECT of the other formats.
    Export(kExcel1997, Path("answers.xls"), [](TForm14& window) {
        window.chCommon->setChecked(false);
        window.chFields->setChecked(false);
    });
    EXPECT_EQ(readWithPython("xls", Out("answers.xls")),
              (Rows{{"id", "item1", "item2", "var1"},
                    {"1", "yes\\r\\nno", "<null>", "2.5"},
                    {"2", "<null>", "<null>", "-1"},
                    {"3", "x", "Caf\u00e9", "<null>"}}));

    struct Case {
        const char* label;
        QString columnDelimiter;
        QString answerDelimiter;
        QString message;
    };
    const Case cases[] = {
        {"no column delimiter", QString(), QStringLiteral("_"),
         QStringLiteral("Column delimiter is missing!\r\n\r\nYou must specify Column delimiter!\r\n\r\nOperation aborted..")},
        {"equal delimiters", QStringLiteral("_"), QStringLiteral("_"),
         QStringLiteral("Column delimiter must be different from delimiter for multiple answers!\r\n\r\nOperation aborted..")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        script.clear();
        Export(kText, Path("refused.txt"), [&](TForm14& window) {
            window.Edit1->setText(c.columnDelimiter);
            window.Edit2->setText(c.answerDelimiter);
        });
        EXPECT_EQ(script.texts(), QStringList{c.message});
        EXPECT_FALSE(QFile::exists(Path("refused.txt")));
    }
}

TEST_F(ExportRuns, NothingChosenAMissingAccessFileAndAnEntryNotOfferedAreRefused)
{
    {
        TForm14 window;
        window.show();
        for (QCheckBox* box : {window.chCommon, window.chFields, window.chAnswers, window.chVariables})
            box->setChecked(false);
        window.btnExport->click();
        EXPECT_TRUE(window.btnExport->isEnabled());
    }
    EXPECT_EQ(script.texts(), QStringList{"You must select data (General data, Fields, Answers, Variables) to Export!"});
    EXPECT_EQ(script.shown().front().kind, MessageKind::Warning);

    script.clear();
    Export(kAccess, Path("missing.mdb"));
    ASSERT_EQ(script.shown().size(), 1u);
    EXPECT_EQ(script.shown().front().kind, MessageKind::Warning);
    EXPECT_TRUE(script.lastText().startsWith("The selected file must exist!\r\n\r\nFor the process of transferring data in Access"));

    script.clear();
    Export(QStringLiteral("Excel 2007 (*.xlsx)"), Path("r.xlsx"));
    EXPECT_EQ(script.texts(),
              QStringList{"Error code: 251.\r\n\r\nUnsupported file filter!\r\n\r\nExport operation is aborted!"});
    // A cancelled dialog does nothing.
    script.clear();
    Export(kText, QString());
    EXPECT_TRUE(script.shown().empty());
    EXPECT_EQ(Files(), QStringList{"results.mdb"});
}

// No file name holds a NUL: a name typed with one is refused in every format, and
// nothing is written under the part before it.
TEST_F(ExportRuns, AFileNameWithANulIsRefusedAndNothingIsWritten)
{
    engine::createDatabase(Path("target.mdb"), QString());
    struct Case {
        QString filter;
        QString file;
    };
    const Case cases[] = {{kText, "r.txt"},     {kAccess, "target.mdb"}, {kLotus, "r.wk3"},      {kDbase, "r.dbf"},
                          {kParadox, "r.db"},   {kExcel1990, "r.xls"},   {kExcel1997, "r.xls"},  {kExcel2010, "r.xlsx"}};
    const QByteArray target = Bytes(Path("target.mdb"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.filter.toStdString());
        script.clear();
        Export(c.filter, Path(QString(c.file).replace(u'.', QString(QChar(u'\0')) + u'.')));
        ASSERT_EQ(script.shown().size(), 1u);
        EXPECT_EQ(script.shown().front().kind, MessageKind::Error);
        EXPECT_TRUE(script.lastText().startsWith(kExportFailed)) << script.lastText().toStdString();
        EXPECT_EQ(Files(), (QStringList{"results.mdb", "target.mdb"}));
        EXPECT_EQ(Bytes(Path("target.mdb")), target);
    }
}

TEST_F(ExportRuns, LimitsCodePagesAReadOnlyFolderAndTheOpenTestGiveTheirMessageAndLeaveNothing)
{
    struct Case {
        QString filter;
        QString file;
    };
    const Case eightBit[] = {{kExcel1990, "r.xls"}, {kLotus, "r.wk3"}, {kDbase, "r.dbf"}, {kParadox, "r.db"}};
    for (const Case& c : eightBit) {
        SCOPED_TRACE(c.filter.toStdString());
        script.clear();
        Export(c.filter, Path(c.file));
        ASSERT_EQ(script.shown().size(), 1u);
        EXPECT_TRUE(script.lastText().startsWith(kExportFailed + "\r\n\r\n")) << script.lastText().toStdString();
        EXPECT_TRUE(script.lastText().contains("row 3, column \"username\"")) << script.lastText().toStdString();
        EXPECT_EQ(Files(), QStringList{"results.mdb"});
    }

    // A text longer than every cell limit: 255 (Excel 3.0), 240 (Lotus), 254 (dBase), 255
    // (Paradox), 32767 characters (Excel 97-2003, .xlsx).
    SetNameOfRun3(kLatin);
    ExecSQL("update datai1 set item2 = " + SqlQuote(QString(32768, u'a')) + " where id = 3;");
    const Case everyLimit[] = {{kExcel1990, "r.xls"}, {kLotus, "r.wk3"}, {kDbase, "r.dbf"},
                               {kParadox, "r.db"},    {kExcel1997, "r.xls"}, {kExcel2010, "r.xlsx"}};
    for (const Case& c : everyLimit) {
        SCOPED_TRACE(c.filter.toStdString());
        script.clear();
        Export(c.filter, Path(c.file));
        ASSERT_EQ(script.shown().size(), 1u);
        EXPECT_EQ(script.shown().front().kind, MessageKind::Error);
        EXPECT_TRUE(script.lastText().contains("holds at most")) << script.lastText().toStdString();
        EXPECT_TRUE(script.lastText().contains("row 3, column \"item2\"")) << script.lastText().toStdString();
        EXPECT_EQ(Files(), QStringList{"results.mdb"});
    }

    // A read-only folder (Access is left out: its file must exist and is changed in place).
    ExecSQL("update datai1 set item2 = 'short' where id = 3;");
    const QString locked = Path("locked");
    ASSERT_TRUE(QDir(dir.path()).mkdir("locked"));
    QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const Case newFiles[] = {{kText, "r.txt"},      {kLotus, "r.wk3"},      {kDbase, "r.dbf"},     {kParadox, "r.db"},
                             {kExcel1990, "r.xls"}, {kExcel1997, "r.xls"}, {kExcel2010, "r.xlsx"}};
    for (const Case& c : newFiles) {
        SCOPED_TRACE(c.filter.toStdString());
        script.clear();
        Export(c.filter, locked + "/" + c.file);
        ASSERT_EQ(script.shown().size(), 1u);
        EXPECT_TRUE(script.lastText().startsWith(kExportFailed)) << script.lastText().toStdString();
        EXPECT_TRUE(script.lastText().contains("read-only")) << script.lastText().toStdString();
        EXPECT_TRUE(Files(locked).isEmpty());
    }
    QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    // The open test, its path spelled another way, is refused before anything is written.
    ASSERT_TRUE(QDir(dir.path()).mkdir("sub"));
    const QString spelled = dir.path() + "/./sub/../results.mdb";
    const QByteArray test = Bytes(path);
    const Case everyEntry[] = {{kAccess, ""}, {kText, ""},  {kLotus, ""},      {kDbase, ""},
                               {kParadox, ""}, {kExcel1990, ""}, {kExcel1997, ""}, {kExcel2010, ""}};
    for (const Case& c : everyEntry) {
        SCOPED_TRACE(c.filter.toStdString());
        script.clear();
        Export(c.filter, spelled);
        EXPECT_EQ(script.texts(), QStringList{"You can not transfer data to a working Kelvo file!\r\n\r\nIt is strictly forbidden!"});
    }
    EXPECT_EQ(Bytes(path), test);
    EXPECT_EQ(Files(), QStringList{"results.mdb"});
}

TEST_F(ExportRuns, TheRowLimitsOfTheOlderFormatsAreMetBeforeAnythingIsWritten)
{
    // 65,536 runs: more than Lotus WK3 (8,191), Excel 3.0 (16,383) and Excel 97-2003
    // (65,535 rows below the header) hold.
    QSqlQuery insert(Session::current().con.database());
    ASSERT_TRUE(insert.exec("with recursive run(id) as (select 4 union all select id + 1 from run where id < 65536) "
                            "insert into datac (id, test_date, username, finished) "
                            "select id, '2024-03-05 00:00:00', 'user' || id, 1 from run;"));
    struct Case {
        QString filter;
        QString file;
        const char* limit;
    };
    const Case cases[] = {{kLotus, "r.wk3", "holds at most 8191 rows"},
                          {kExcel1990, "r.xls", "holds at most 16383 rows"},
                          {kExcel1997, "r.xls", "holds at most 65535 rows"}};
    SetNameOfRun3(kLatin);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.filter.toStdString());
        script.clear();
        Export(c.filter, Path(c.file));
        ASSERT_EQ(script.shown().size(), 1u);
        EXPECT_TRUE(script.lastText().contains(c.limit)) << script.lastText().toStdString();
        EXPECT_EQ(Files(), QStringList{"results.mdb"});
    }
}

// Numbers of many shapes, empty texts beside empty cells, a run without any result row:
// every format offered holds them as Python's sqlite3 reads them from the test file.
class ExportNumbers : public ExportFixture {
protected:
    void SetUp() override
    {
        MakeTest(1, 4, 2);
        for (int id = 1; id <= 4; ++id)
            AddRun({id, QStringLiteral("user%1").arg(id), QStringLiteral("2024-03-0%1 00:00:00").arg(id), 0});
        AddVariables(1, {0.1, 3.14159, -1250.125, 1e-05});
        AddVariables(2, {1234567.891, -0.000125, 0, -7});
        ExecSQL("insert into datav1 (id, var1, var3) values (3, 2.5, 100);");
        AddDataFields(1, {QString(""), QStringLiteral("K\u00f6ln")});
        AddDataFields(2, {QString(), QString("")});
        AddDataFields(3, {QStringLiteral("x"), QString()});
    }
};

// A reader's rows: the header, then one row per run.
using ReadRows = std::function<Rows(const std::string&)>;

// wks2csv's lines as cells: the first line names its columns Col1, Col2 ..., every cell is
// quoted, a quote doubled.
Rows LotusRows(const std::string& file)
{
    const std::string text = runProgram("wks2csv " + shellQuoted(file)).text;
    Rows rows;
    std::vector<std::string> row;
    std::string cell;
    bool quoted = false;
    for (std::size_t at = text.find('\n') + 1; at < text.size(); ++at) {
        const char c = text[at];
        if (quoted) {
            if (c != '"')
                cell += c;
            else if (at + 1 < text.size() && text[at + 1] == '"')
                cell += text[++at];
            else
                quoted = false;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            row.push_back(cell);
            cell.clear();
        } else if (c == '\n' && (!row.empty() || !cell.empty())) {
            row.push_back(cell);
            cell.clear();
            rows.push_back(row);
            row.clear();
        }
    }
    return rows;
}

TEST_F(ExportNumbers, EveryFormatOfferedHoldsTheNumbersAndEmptyCellsAsSqliteReadsThem)
{
    struct Look {
        std::string nullNumber = "<null>";
        std::string nullText = "<null>";
        std::string emptyText;
        bool sixDigits = false;  // wks2csv shows numbers in the general format
    };
    struct Case {
        QString filter;
        QString file;
        ReadRows read;
        Look look;
    };
    const auto dropRow = [](ReadRows read, std::size_t row) {
        return [read, row](const std::string& file) {
            Rows rows = read(file);
            if (rows.size() > row)
                rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(row));
            return rows;
        };
    };
    const auto python = [](const std::string& reader, const std::string& extra = {}) {
        return [reader, extra](const std::string& file) { return readWithPython(reader, file, extra); };
    };
    const auto paradox = [](const std::string& file) {
        Rows rows = readParadox(file);
        rows.erase(rows.begin());
        for (auto& row : rows)
            for (auto& cell : row)
                cell = QString::fromLatin1(cell).toStdString();
        return rows;
    };
    const Case cases[] = {
        {kText, "n.txt", python("text"), {"", "", "", false}},
        {kExcel1990, "n3.xls", python("xls"), {}},
        {kExcel1997, "n8.xls", python("xls"), {}},
        // libxlsxwriter writes an empty text as an empty cell.
        {kExcel2010, "n.xlsx", python("xlsx"), {"<null>", "<null>", "<null>", false}},
        {kAccess, "target.mdb", dropRow(python("access", "Data"), 1), {}},
        // dBase keeps an empty text and Null alike as blanks, Paradox alike as an empty
        // field; wks2csv shows an empty cell and an empty label alike.
        {kDbase, "n.dbf", [](const std::string& file) {
             Rows rows = readWithPython("dbf", file);
             rows.pop_back();
             return rows;
         }, {"<null>", "", "", false}},
        {kParadox, "n.db", paradox, {"<null>", "<null>", "<null>", false}},
        {kLotus, "n.wk3", LotusRows, {"", "", "", true}},
    };

    // The stored cells as a reader the program did not write sees them, by run id.
    std::map<std::string, std::map<std::string, std::string>> stored;  // id -> column -> cell
    for (const char* table : {"datav1", "dataf"}) {
        const Rows rows = readWithPython("access", path.toStdString(), table);
        ASSERT_GE(rows.size(), 2u) << table;
        for (std::size_t r = 2; r < rows.size(); ++r)
            for (std::size_t c = 1; c < rows[0].size(); ++c)
                stored[rows[r][0]][rows[0][c]] = rows[r][c];
    }
    const std::vector<std::string> columns{"var1", "var2", "var3", "var4", "data1", "data2"};

    engine::createDatabase(Path("target.mdb"), QString());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.filter.toStdString());
        script.clear();
        Export(c.filter, Path(c.file));
        ASSERT_TRUE(script.shown().empty()) << script.lastText().toStdString();
        const Rows read = c.read(Out(c.file));
        ASSERT_EQ(read.size(), 5u);
        for (std::size_t r = 1; r < read.size(); ++r) {
            const std::string id = read[r][0];
            ASSERT_EQ(id, std::to_string(r));
            for (const std::string& column : columns) {
                const auto at = std::find(read[0].begin(), read[0].end(), column);
                ASSERT_NE(at, read[0].end()) << column;
                const std::string cell = read[r][static_cast<std::size_t>(at - read[0].begin())];
                const auto found = stored[id].find(column);
                const bool number = column.rfind("var", 0) == 0;
                std::string expected = number ? c.look.nullNumber : c.look.nullText;
                if (found != stored[id].end() && found->second != "<null>") {
                    expected = found->second;
                    if (expected.empty())
                        expected = c.look.emptyText;
                    else if (number && c.look.sixDigits)
                    {
                        char general[32];
                        std::snprintf(general, sizeof general, "%g", std::stod(expected));
                        expected = general;
                    }
                }
                EXPECT_EQ(cell, expected) << "run " << id << ", " << column;
            }
        }
    }
}

TEST_F(ResultsFixture, WithoutDataFieldsOrVariablesTheirBoxesAreOffAndDisabled)
{
    MakeTest(2, 0, 0);
    AddRun({1, QStringLiteral("Ann"), QStringLiteral("2024-03-05 00:00:00"), 0});
    TForm14 window;
    window.show();
    QApplication::processEvents();
    for (QCheckBox* box : {window.chFields, window.chVariables}) {
        EXPECT_FALSE(box->isEnabled()) << box->text().toStdString();
        EXPECT_FALSE(box->isChecked()) << box->text().toStdString();
    }
    EXPECT_TRUE(window.chCommon->isChecked());
    EXPECT_TRUE(window.chAnswers->isChecked());
    EXPECT_EQ(window.Edit1->text(), ";");
    EXPECT_EQ(window.Edit2->text(), "_");
}

// 300 questions: the answers fill datai1 (254) and datai2 (46), more columns than the
// database formats hold in one table.
class WideExport : public ExportFixture {
protected:
    void SetUp() override
    {
        MakeTest(300, 1, 0);
        for (int id = 1; id <= 3; ++id)
            AddRun({id, QStringLiteral("user%1").arg(id), QStringLiteral("2024-03-0%1 00:00:00").arg(id), id});
        ExecSQL("insert into datai1 (id, item1, item254) values (1, 'first', 'last of one');");
        ExecSQL("insert into datai2 (id, item255, item300) values (1, 'first of two', 'end');");
        ExecSQL("insert into datai2 (id, item300) values (3, 'three');");
        AddVariables(2, {7});
    }
};

TEST_F(WideExport, OffersNoDatabaseFormatAndWritesOneSheetPerTableOrOneXlsxSheet)
{
    Export(kExcel1997, Path("wide.xls"));
    EXPECT_EQ(script.offeredFilters(), (QStringList{kText, kExcel1990, kExcel1997, kExcel2010}));
    EXPECT_TRUE(script.shown().empty()) << script.lastText().toStdString();
    EXPECT_EQ(readWithPython("xls", Out("wide.xls"), "?"), (Rows{{"general"}, {"item1"}, {"item2"}, {"var1"}}));
    // Every sheet lists every run by id.
    const Rows item2 = readWithPython("xls", Out("wide.xls"), "item2");
    ASSERT_EQ(item2.size(), 4u);
    ASSERT_EQ(item2[0].size(), 47u);
    EXPECT_EQ(item2[0].front(), "id");
    EXPECT_EQ(item2[0].back(), "item300");
    EXPECT_EQ((std::vector<std::string>{item2[1][0], item2[1][1], item2[1][46]}),
              (std::vector<std::string>{"1", "first of two", "end"}));
    EXPECT_EQ((std::vector<std::string>{item2[2][0], item2[2][46]}), (std::vector<std::string>{"2", "<null>"}));
    EXPECT_EQ((std::vector<std::string>{item2[3][0], item2[3][46]}), (std::vector<std::string>{"3", "three"}));
    EXPECT_EQ(readWithPython("xls", Out("wide.xls"), "var1"), (Rows{{"id", "var1"}, {"1", "<null>"}, {"2", "7"}, {"3", "<null>"}}));
    const Rows general = readWithPython("xls", Out("wide.xls"), "general");
    ASSERT_EQ(general.size(), 4u);
    EXPECT_EQ(general[3][7], "user3");

    // Exported again, the workbook is made anew, not added to.
    Export(kExcel1990, Path("wide.xls"));
    EXPECT_TRUE(script.shown().empty()) << script.lastText().toStdString();
    EXPECT_EQ(readWithPython("xls", Out("wide.xls"), "?"), (Rows{{"general"}, {"item1"}, {"item2"}, {"var1"}}));

    Export(kExcel2010, Path("wide.xlsx"));
    EXPECT_EQ(readWithPython("xlsx", Out("wide.xlsx"), "?"), (Rows{{"Data"}}));
    const Rows sheet = readWithPython("xlsx", Out("wide.xlsx"));
    ASSERT_EQ(sheet.size(), 4u);
    ASSERT_EQ(sheet[0].size(), 12u + 300u + 1u);
    EXPECT_EQ(sheet[0][12], "item1");
    EXPECT_EQ(sheet[0][311], "item300");
    EXPECT_EQ(sheet[0][312], "var1");
    EXPECT_EQ((std::vector<std::string>{sheet[1][12], sheet[1][265], sheet[1][266], sheet[1][311]}),
              (std::vector<std::string>{"first", "last of one", "first of two", "end"}));
    EXPECT_EQ((std::vector<std::string>{sheet[2][0], sheet[2][311], sheet[2][312]}), (std::vector<std::string>{"2", "<null>", "7"}));
    EXPECT_EQ(sheet[3][311], "three");

    // An entry the filter does not offer cannot be chosen.
    script.clear();
    Export(kDbase, Path("wide.dbf"));
    EXPECT_EQ(script.texts(),
              QStringList{"Error code: 251.\r\n\r\nUnsupported file filter!\r\n\r\nExport operation is aborted!"});
    EXPECT_FALSE(QFile::exists(Path("wide.dbf")));
}

TEST_F(WideExport, AFailingSheetLeavesTheEarlierWorkbookWhole)
{
    Export(kExcel1997, Path("wide.xls"));
    const QByteArray earlier = Bytes(Path("wide.xls"));
    ASSERT_FALSE(earlier.isEmpty());
    // The last sheet fails on the cell limit, after the first ones are written.
    ExecSQL("update datav1 set var1 = null where id = 2;");
    ExecSQL("alter table datav1 add note longtext;");
    ExecSQL("insert into datav1 (id, note) values (3, " + SqlQuote(QString(32768, u'n')) + ");");
    Reopen();
    script.clear();
    Export(kExcel1997, Path("wide.xls"));
    ASSERT_EQ(script.shown().size(), 1u);
    EXPECT_TRUE(script.lastText().contains("holds at most 32767 characters")) << script.lastText().toStdString();
    EXPECT_EQ(Bytes(Path("wide.xls")), earlier);
    EXPECT_EQ(Files(), (QStringList{"results.mdb", "wide.xls"}));
}

TEST_F(WideExport, TheLongestNameTakesOneSheetPerTable)
{
    const QString name = QString(251, QLatin1Char('w')) + QStringLiteral(".xls");
    Export(kExcel1997, Path(name));
    EXPECT_TRUE(script.shown().empty()) << script.lastText().toStdString();
    EXPECT_EQ(readWithPython("xls", Out(name), "?"), (Rows{{"general"}, {"item1"}, {"item2"}, {"var1"}}));
    EXPECT_EQ(Files(), (QStringList{"results.mdb", name}));
}

TEST_F(ExportRuns, TheResultsWindowsExportButtonAndCtrlSOpenTheWindow)
{
    Session::current().AnnounceRights({{QStringLiteral("true")}, true});
    ShowResults();
    ASSERT_TRUE(Form13->toolExport->isEnabled());
    for (const auto& open : std::vector<std::function<void()>>{[] { Form13->toolExport->click(); },
                                                               [] { QTest::keyRelease(Form13->grid, Qt::Key_S, Qt::ControlModifier); }}) {
        QString title;
        WithModal<TForm14>(open, [&](TForm14& window) {
            title = window.windowTitle();
            script.answerFile(Path("from results.txt"), kText);
            window.btnExport->click();
        });
        EXPECT_EQ(title, "Export / Save");
        EXPECT_EQ(readWithPython("text", Out("from results.txt")).size(), 4u);
        QFile::remove(Path("from results.txt"));
    }
}

}  // namespace
}  // namespace kelvo::testing
