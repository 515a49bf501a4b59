#include "data/database.h"

#include "data/table_dataset.h"
#include "tests/support/test_file_fixture.h"
#include "ui/dialog_service.h"

#include <QFile>
#include <QLocale>

#include <vector>

using namespace kelvo;
using kelvo::testing::TestFileFixture;

namespace {

// Sets the default locale for one test and puts the previous one back.
class LocaleScope {
public:
    explicit LocaleScope(const QLocale& locale) { QLocale::setDefault(locale); }
    ~LocaleScope() { QLocale::setDefault(previous_); }

private:
    QLocale previous_;
};

const QString kSelectError =
    "Error code 45. General SQL select command error!\r\n\r\nCheck status of database file!";

}  // namespace

class DatabaseRoutines : public TestFileFixture {
protected:
    void SetUp() override { MakeTestFile("a.mdb", 9, true); }

    TableDataset Table(const QString& name)
    {
        TableDataset table;
        table.open(Form1->con, name);
        return table;
    }
};

TEST_F(DatabaseRoutines, SelectGivesNullWithoutRowsAndOneCellForACount)
{
    DialogScript script;
    EXPECT_TRUE(SelectToVariant("select id, caption from items;").isNull());

    const RowSet count = SelectToVariant("select count(*) from items;");
    ASSERT_FALSE(count.isNull());
    EXPECT_EQ(count.rows(), 1);
    EXPECT_EQ(count.cols(), 1);
    EXPECT_EQ(count.integer(0, 0), 0);
    EXPECT_FALSE(ItemsExist());

    ExecSQL("insert into items (id, caption, editcap) values (1, 'First', null);");
    ExecSQL("insert into items (id, caption, editcap) values (2, 'Second', 'Other');");
    EXPECT_TRUE(ItemsExist());
    const RowSet rows = SelectToVariant("select id, caption, editcap from items order by id;");
    ASSERT_EQ(rows.rows(), 2);
    ASSERT_EQ(rows.cols(), 3);
    EXPECT_EQ(rows.text(1, 1), "Second");
    // A Null reads as "" and as 0.
    EXPECT_TRUE(rows.at(0, 2).isNull());
    EXPECT_EQ(rows.text(0, 2), "");
    EXPECT_EQ(rows.number(0, 2), 0.0);
    EXPECT_THROW(rows.at(2, 0), std::out_of_range);
    EXPECT_TRUE(script.shown().empty());
}

TEST_F(DatabaseRoutines, FailingSelectShowsError45AndGivesNull)
{
    DialogScript script;
    EXPECT_TRUE(SelectToVariant("select nothing from nowhere;").isNull());
    EXPECT_EQ(script.texts(), QStringList{kSelectError});
    EXPECT_EQ(script.shown().front().kind, MessageKind::Error);
}

TEST_F(DatabaseRoutines, ExecSqlLetsFailuresReachTheCaller)
{
    DialogScript script;
    EXPECT_THROW(ExecSQL("insert into nowhere (id) values (1);"), engine::EngineError);
    EXPECT_TRUE(script.shown().empty());
}

TEST_F(DatabaseRoutines, FirstFreeNumberFindsTheFirstGap)
{
    struct Case {
        std::vector<int> ids;
        int col;
        int expected;
    };
    const Case cases[] = {
        {{1, 2, 4}, 0, 3}, {{1, 2, 3}, 0, 4}, {{}, 0, 1}, {{2, 3}, 0, 1}, {{1, 2}, 1, -1},
    };
    for (const Case& c : cases) {
        ExecSQL("delete from keyb;");
        for (const int id : c.ids)
            ExecSQL(QString("insert into keyb (id, k) values (%1, '%2');").arg(id).arg(id));
        EXPECT_EQ(FirstFreeNumber("select id from keyb order by id;", c.col), c.expected)
            << "ids " << c.ids.size() << " col " << c.col;
    }
}

TEST_F(DatabaseRoutines, InsertRecordWritesNullForEmptyAndNullValuesAndQuotesText)
{
    DialogScript script;
    const TableDataset userf = Table("userf");
    const QStringList fields = {"id", "posit", "caption", "ftype"};
    EXPECT_TRUE(InsertRecord(userf, fields, {1, 1, "NULL", ""}));
    EXPECT_TRUE(InsertRecord(userf, fields, {" 2 ", 2, "  O'Brien's  ", QVariant()}));
    const RowSet rows = SelectToVariant("select id, caption, ftype from userf order by id;");
    ASSERT_EQ(rows.rows(), 2);
    EXPECT_TRUE(rows.at(0, 1).isNull());  // the word null, not the text "NULL"
    EXPECT_TRUE(rows.at(0, 2).isNull());  // an empty value, for a text field too
    EXPECT_EQ(rows.text(1, 1), "O'Brien's");  // trimmed; the quote breaks nothing
    EXPECT_TRUE(rows.at(1, 2).isNull());
    EXPECT_TRUE(script.shown().empty());

    // Text given for a number field is quoted too: the database may refuse it, but no
    // statement is ever built from it.
    InsertRecord(Table("keyb"), {"id", "k"}, {"3); delete from userf; --", "z"});
    EXPECT_EQ(SelectToVariant("select count(*) from userf;").integer(0, 0), 2);
}

TEST_F(DatabaseRoutines, InsertRecordRefusesSilentlyOrReportsError54)
{
    DialogScript script;
    const TableDataset userf = Table("userf");
    EXPECT_FALSE(InsertRecord(userf, {}, {}));
    EXPECT_FALSE(InsertRecord(userf, {"id", "posit"}, {1}));
    EXPECT_FALSE(InsertRecord(userf, {"id", "nosuchfield"}, {1, "x"}));
    EXPECT_TRUE(script.shown().empty());
    EXPECT_TRUE(SelectToVariant("select id from userf;").isNull());

    EXPECT_TRUE(InsertRecord(userf, {"id", "posit"}, {7, 1}));
    EXPECT_FALSE(InsertRecord(userf, {"id", "posit"}, {7, 2}));  // the key exists
    EXPECT_EQ(script.texts(), QStringList{"Error code 54! Save result to database file has failed! "
                                          "Check status of database file."});
    EXPECT_EQ(SelectToVariant("select posit from userf;").integer(0, 0), 1);
}

TEST_F(DatabaseRoutines, UpdateRecordCountsMatchingRowsOnlyWhenAskedTo)
{
    DialogScript script;
    for (int id = 1; id <= 3; ++id)
        ExecSQL(QString("insert into userf (id, posit, caption, ftype) values (%1, %2, 'f', 'string');")
                    .arg(id)
                    .arg(id == 3 ? 9 : 5));
    const TableDataset userf = Table("userf");
    // Without the check the result is 1, even when no row matched.
    EXPECT_EQ(UpdateRecord(userf, "id", "99", {"caption"}, {"none"}, false, false), 1);
    // Two rows match: refused unless many are allowed.
    EXPECT_EQ(UpdateRecord(userf, "posit", "5", {"caption"}, {"two"}, false, true), 0);
    EXPECT_EQ(SelectToVariant("select count(*) from userf where caption = 'two';").integer(0, 0), 0);
    EXPECT_EQ(UpdateRecord(userf, "posit", "5", {"caption"}, {"two"}, true, true), 2);
    EXPECT_EQ(SelectToVariant("select count(*) from userf where caption = 'two';").integer(0, 0), 2);
    // A text key is quoted; a quote in it matches nothing.
    EXPECT_EQ(UpdateRecord(userf, "caption", "two", {"ftype"}, {"integer"}, true, true), 2);
    EXPECT_EQ(UpdateRecord(userf, "caption", "t' or 'a'='a", {"ftype"}, {"x"}, true, true), 0);
    EXPECT_EQ(SelectToVariant("select count(*) from userf where ftype = 'x';").integer(0, 0), 0);
    // Missing fields and uneven lists run nothing.
    EXPECT_EQ(UpdateRecord(userf, "nokey", "1", {"caption"}, {"y"}, true, false), 0);
    EXPECT_EQ(UpdateRecord(userf, "id", "1", {"nofield"}, {"y"}, true, false), 0);
    EXPECT_EQ(UpdateRecord(userf, "id", "1", {"caption", "posit"}, {"y"}, true, false), 0);
    EXPECT_TRUE(script.shown().empty());
}

TEST_F(DatabaseRoutines, AddColumnMapsTypesAndRefusesAnExistingColumn)
{
    DialogScript script;
    ExecSQL("create table datai1 (id integer primary key);");
    EXPECT_TRUE(AddColumn("datai1", "Item1", "boolean"));
    EXPECT_TRUE(AddColumn("datai1", "item2", "string"));
    EXPECT_TRUE(AddColumn("datai1", "item3", "float"));
    EXPECT_TRUE(Form3->tmpTable.isOpen());
    EXPECT_EQ(Form3->tmpTable.tableName(), "datai1");

    const TableDataset table = Table("datai1");
    ASSERT_NE(table.findField("item1"), nullptr);
    EXPECT_EQ(table.findField("item1")->type, engine::FieldClass::Boolean);
    EXPECT_EQ(table.findField("item2")->type, engine::FieldClass::Text);
    EXPECT_EQ(table.findField("item3")->type, engine::FieldClass::Float);

    EXPECT_FALSE(AddColumn("datai1", "ITEM2", "integer"));
    EXPECT_EQ(script.texts(), QStringList{"Error code 73: Field can't be add to Table because this "
                                          "Field already exists in Database Table!"});
    EXPECT_THROW(AddColumn("nosuchtable", "item1", "integer"), engine::EngineError);
}

TEST_F(DatabaseRoutines, DropColumnDropsOnlyAnExistingColumn)
{
    DialogScript script;
    ExecSQL("create table datav1 (id integer primary key, var1 float, var2 float);");
    EXPECT_TRUE(DropColumn("datav1", "VAR1"));
    EXPECT_EQ(Table("datav1").findField("var1"), nullptr);
    EXPECT_NE(Table("datav1").findField("var2"), nullptr);
    EXPECT_FALSE(DropColumn("datav1", "var1"));
    EXPECT_EQ(script.texts(), QStringList{"Error code 74: Field can't be deleted because this Field "
                                          "not exists in Database Table!"});
}

TEST_F(DatabaseRoutines, TableExistsIgnoresCaseAndNeedsAnOpenTest)
{
    EXPECT_TRUE(TableExists("ITEMS"));
    EXPECT_FALSE(TableExists("datai1"));
    ExecSQL("create table datai1 (id integer primary key);");
    EXPECT_TRUE(TableExists("datai1"));
    Form1->con.close();
    EXPECT_FALSE(TableExists("items"));
}

TEST_F(DatabaseRoutines, UniqueFileNameCountsUpBesideTheOpenTest)
{
    EXPECT_EQ(Session::current().testFile, dir.filePath("a.mdb"));
    const QString first = UniqueFileName(Session::current().testFile, "_backup");
    EXPECT_EQ(first, dir.filePath("a_backup.mdb"));
    QFile(first).open(QIODevice::WriteOnly);
    EXPECT_EQ(UniqueFileName(Session::current().testFile, "_backup"), dir.filePath("a_backup2.mdb"));
    QFile(dir.filePath("a_backup2.mdb")).open(QIODevice::WriteOnly);
    EXPECT_EQ(UniqueFileName(Session::current().testFile, "_backup"), dir.filePath("a_backup3.mdb"));
    EXPECT_EQ(UniqueFileName("log.rtf", "_log"), dir.filePath("a_log.rtf"));
}

TEST(TextRoutines, ColumnBlockHolds254ColumnsATable)
{
    const std::pair<int, int> cases[] = {{1, 1}, {254, 1}, {255, 2}, {508, 2}, {509, 3}};
    for (const auto& [n, block] : cases)
        EXPECT_EQ(ColumnBlock(n), block) << n;
}

TEST(TextRoutines, IsNumberWithThePointAsSeparator)
{
    const LocaleScope c(QLocale::c());
    struct Case {
        const char* text;
        bool integerOnly;
        bool expected;
    };
    const Case cases[] = {
        {"007", true, false},   {"007", false, false}, {"0.5", true, false},  {"0.5", false, true},
        {" 12 ", true, true},   {"1-2", false, false}, {"-12", true, true},   {"12-", true, false},
        {"", true, false},      {"-", false, false},   {"1.2.3", false, false}, {"1e5", false, false},
        {"0", true, true},      {"-0.25", false, true}, {"99999999999", true, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsNumber(c.text, c.integerOnly), c.expected) << c.text << " " << c.integerOnly;
}

TEST(TextRoutines, IsNumberAndNormalizingFollowTheLocaleSeparator)
{
    const LocaleScope german(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_TRUE(IsNumber("0,5", false));
    EXPECT_FALSE(IsNumber("0.5", false));
    EXPECT_FALSE(IsNumber("0,5", true));

    RowSet rows({{QVariant("1,5"), QVariant()}, {QVariant(2.25), QVariant("a,b,c")}});
    NormalizeDecimalSeparator(rows);
    EXPECT_EQ(rows.at(0, 0), QVariant("1.5"));
    EXPECT_TRUE(rows.at(0, 1).isNull());
    EXPECT_EQ(rows.at(1, 0), QVariant("2.25"));  // numbers are written with "." anyway
    EXPECT_EQ(rows.at(1, 1), QVariant("a.b,c"));
    // Numbers stored and put into statements never take the locale's separator.
    EXPECT_EQ(NumberToText(1234.5), "1234.5");
    EXPECT_EQ(TextToNumber("2.5"), 2.5);
    EXPECT_FALSE(TextToNumber("2,5").has_value());
    EXPECT_FALSE(TextToNumber("2,500").has_value());
}

TEST(TextRoutines, NumberToTextIsShortAndLocaleFree)
{
    const std::pair<double, const char*> cases[] = {
        {0.0, "0"}, {-0.0, "0"}, {0.1 + 0.2, "0.3"}, {-7.0, "-7"}, {1e20, "1E20"}, {1.5e-7, "1.5E-7"}};
    for (const auto& [value, text] : cases)
        EXPECT_EQ(NumberToText(value), text);
}

TEST(TextRoutines, TableNameAfterFromSkipsBlanksAndParentheses)
{
    const std::pair<const char*, const char*> cases[] = {
        {"select * from (datai2) order by id;", "datai2"},
        {"select id from datav1;", "datav1;"},
        {"select id from    items where id = 1", "items"},
        {"SELECT id FROM items", ""},
        {"", ""},
        {"select id from", ""},
    };
    for (const auto& [sql, name] : cases)
        EXPECT_EQ(TableNameAfterFrom(sql), name) << sql;
}

TEST(TextRoutines, SmallTextHelpers)
{
    EXPECT_EQ(RemoveSpaces(QString("a b") + QChar(u'\0') + " c"), "abc");
    EXPECT_EQ(FileNameWithoutExt("/t/dir.x/name.tar.mdb"), "name.tar");
    EXPECT_EQ(FileNameWithoutExt("/t/dir.x/name"), "name");
    EXPECT_EQ(SqlQuote("O'Brien"), "'O''Brien'");
    const RowSet one = SingleCellVariant("x");
    EXPECT_EQ(one.rows(), 1);
    EXPECT_EQ(one.cols(), 1);
    EXPECT_EQ(one.text(0, 0), "x");
    EXPECT_TRUE(RowSet().isNull());
    EXPECT_TRUE(RowSet(std::vector<std::vector<QVariant>>{{}}).isNull());
}

TEST(TextRoutines, BinarySearchIntFindsOrGivesMinusOne)
{
    const std::vector<int> values = {2, 3, 5, 8, 13};
    EXPECT_EQ(BinarySearchInt(values, 2), 0);
    EXPECT_EQ(BinarySearchInt(values, 13), 4);
    EXPECT_EQ(BinarySearchInt(values, 5), 2);
    EXPECT_EQ(BinarySearchInt(values, 4), -1);
    EXPECT_EQ(BinarySearchInt(std::vector<int>{}, 4), -1);
}

TEST(CellReaders, NullIsEmptyTextAndZero)
{
    EXPECT_EQ(CellText(QVariant()), "");
    EXPECT_EQ(CellNumber(QVariant()), 0.0);
    EXPECT_EQ(CellInt(QVariant()), 0);
    EXPECT_EQ(CellText(QVariant(true)), "true");
    EXPECT_EQ(CellText(QVariant(2.5)), "2.5");
    EXPECT_EQ(CellNumber(QVariant("2.5")), 2.5);
    EXPECT_EQ(CellInt(QVariant("2.5")), 2);  // to the nearest even, as variants round
    EXPECT_EQ(CellInt(QVariant(3.5)), 4);
    EXPECT_THROW(CellNumber(QVariant("abc")), std::invalid_argument);
    EXPECT_THROW(CellInt(QVariant(1e12)), std::out_of_range);
}

TEST_F(DatabaseRoutines, ChangeDatabasePasswordNeedsTheOldPasswordAndReportsError114)
{
    const QString path = Session::current().testFile;
    ASSERT_TRUE(Form1->OpenTestDatabase(path, false, true));
    DialogScript script;
    EXPECT_FALSE(ChangeDatabasePassword("wrong_password_here", "null"));
    ASSERT_EQ(script.shown().size(), 1u);
    EXPECT_TRUE(script.lastText().startsWith("Permission security problem (Error code 114)!.\r\n\r\nCause: "))
        << script.lastText().toStdString();

    EXPECT_TRUE(ChangeDatabasePassword(kDatabasePassword, "null"));
    EXPECT_TRUE(ChangeDatabasePassword("null", kDatabasePassword));
    EXPECT_EQ(script.shown().size(), 1u);
    EXPECT_TRUE(Form1->OpenTestDatabase(path, false, false));  // the password holds again
}
