// How a run is written down: the number format of variables, durations, the daily
// backup file's name and numbering, and a run taken where numbers are written with a
// decimal comma.

#include "model/run_recording.h"
#include "tests/run/run_window_fixture.h"
#include "ui/dialog_service.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTest>

using namespace kelvo;
using kelvo::testing::TestWindowFixture;

namespace {

struct FormatCase {
    double value;
    int decimals;
    const char* text;
};

TEST(VariableFormat, ValuesAreWrittenWithTheirDecimalsAndFifteenSignificantDigits)
{
    const FormatCase cases[] = {
        {3.14159, 2, "3.14"},
        {47, 2, "47.00"},
        {3.14159, 0, "3"},
        {2.5, 0, "3"},  // halves round away from zero
        {-2.5, 0, "-3"},
        {2.675, 2, "2.68"},  // 2.67499999... is 2.675 in fifteen digits
        {0.005, 2, "0.01"},
        {-0.004, 2, "0.00"},  // no minus sign on a zero
        {0.1 + 0.2, 15, "0.300000000000000"},
        {2.0 / 3.0, 4, "0.6667"},
        {123456789012.345678, 5, "123456789012.34600"},  // digits past the fifteenth are zeros
        {999.9996, 3, "1000.000"},
        {-1234.5, 1, "-1234.5"},
        {0, 3, "0.000"},
        {1e15, 2, "1E15"},  // from 1E15 on a value is written in exponent form
        {-2.5e20, 0, "-2.5E20"},
    };
    for (const FormatCase& c : cases)
        EXPECT_EQ(FixedPointText(c.value, c.decimals), c.text) << c.value << " with " << c.decimals;
}

// Each variable's decimals go to its own value, whatever order the values come in; a
// variable without decimals, or with decimals outside 0..15, and a Null value stay as
// they are.
TEST(VariableFormat, EachValueTakesTheDecimalsOfItsOwnVariable)
{
    RowSet values({{7, 2.0 / 3.0}, {3, 1.25}, {5, QVariant()}, {9, 4.5}, {4, 10.0}});
    const RowSet variables({{3, 0, 0}, {4, QVariant(), 0}, {5, 2, 0}, {7, 3, 0}, {9, 16, 0}});
    FormatVariableDecimals(values, variables);
    EXPECT_EQ(values.at(0, 1), QVariant(QStringLiteral("0.667")));
    EXPECT_EQ(values.at(1, 1), QVariant(QStringLiteral("1")));
    EXPECT_TRUE(values.at(2, 1).isNull());
    EXPECT_EQ(values.at(3, 1), QVariant(4.5));
    EXPECT_EQ(values.at(4, 1), QVariant(10.0));
}

TEST(RunDuration, DurationsOfADayOrMoreStayWhole)
{
    EXPECT_EQ(SecondsToHMS(3605), "1:0:5");
    EXPECT_EQ(SecondsToHMS(90000), "25:0:0");
    EXPECT_EQ(DurationText(65), "0:01:05");
    EXPECT_EQ(DurationText(90005), "25:00:05");
    EXPECT_EQ(DurationText(-3), "0:00:00");
    EXPECT_EQ(StoredDurationText(65), "1899-12-30 00:01:05");
    EXPECT_EQ(StoredDurationText(90005), "1899-12-31 01:00:05");
}

// The daily file is named by the date as the system writes it; separators that would
// make folders of it are replaced.
TEST(DailyBackupFile, NameHoldsNoPathCharacterWhateverTheDateFormat)
{
    const QLocale saved;
    const QDate day(2026, 12, 10);
    for (const QLocale& locale :
         {QLocale(QLocale::English, QLocale::UnitedStates), QLocale(QLocale::German, QLocale::Germany),
          QLocale(QLocale::French, QLocale::France), QLocale(QLocale::Japanese, QLocale::Japan),
          QLocale(QLocale::Dutch, QLocale::Netherlands), QLocale(QLocale::Hungarian, QLocale::Hungary), QLocale::c()}) {
        QLocale::setDefault(locale);
        const QString name = DailyBackupFileName(day);
        SCOPED_TRACE(locale.name().toStdString() + " " + name.toStdString());
        EXPECT_TRUE(name.endsWith(".txt"));
        for (const char* bad : {"/", "\\", ":", "*", "?", "\"", "<", ">", "|"})
            EXPECT_FALSE(name.contains(bad)) << bad;
        EXPECT_NE(name, ".txt");
        EXPECT_TRUE(name.contains("10"));
    }
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(DailyBackupFileName(day), "12-10-26.txt");
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(DailyBackupFileName(day), "10.12.26.txt");
    QLocale::setDefault(saved);
}

class Recording : public TestWindowFixture {
protected:
    void TearDown() override { QLocale::setDefault(savedLocale); }

    // One question, a float data field and variables in several number formats.
    void BuildTest()
    {
        CreateTest();
        AddDataField(1, 1, "Weight", "float");
        AddVariable(1, "two decimals", "true", 0, "2", {"3.14159"});
        AddVariable(2, "none", "true", 0, "0", {"3.14159"});
        AddVariable(3, "as computed", "true", 0, "16", {"3.14159"});
        AddVariable(4, "no decnum", "true", 0, "null", {"3.14159"});
        AddVariable(5, "from data", "true", 0, "1", {"data1*2"});
        AddVariable(6, "last counts", "false", 1, "3", {"2/3", "1/8"});
        AddVariable(7, "unchanged", "true", 5, "2");
        AddVariable(8, "huge", "true", 0, "2", {"2*5000000000000000"});
        Lock();
    }

    void TakeOneRun(const QString& weight)
    {
        DialogScript script;
        script.answerQuestion(true);
        TakeTest([&](TForm2* window) {
            QTest::keyClicks(Child<QLineEdit>(window, "data1"), weight);
            QTest::mouseClick(window->btnInstruction, Qt::LeftButton);
            QTest::mouseClick(Child<QAbstractButton>(window, "answer0"), Qt::LeftButton);
        });
        EXPECT_TRUE(script.texts().contains(kEndMessage))
            << script.texts().join(" | ").toStdString();
    }

    const QLocale savedLocale;
};

// A calculation that cannot finish (a start value that is no number) is told once, in
// the calculation's own words; the run is still stored, its variables empty.
TEST_F(Recording, AFailedCalculationShowsOneClearMessageAndTheRunIsStored)
{
    CreateTest();
    AddVariable(1, "sum", "true", 0, "2", {"1+1"});
    Lock();
    ExecSQL("update variables set start = 'none' where id = 1;");
    DialogScript script;
    script.answerQuestion(true);
    TakeTest([&](TForm2* window) { QTest::mouseClick(Child<QAbstractButton>(window, "answer0"), Qt::LeftButton); });
    QStringList errors;
    for (const ShownMessage& message : script.shown())
        if (message.kind == MessageKind::Error)
            errors << message.text;
    EXPECT_EQ(errors, QStringList{"There was an error in calculating the variables in the test!\r\n\r\n"
                                  "Some variables are probably not calculated correctly!"});
    const RowSet stored = SelectToVariant("select datac.finished, datav1.var1 from datac, datav1 where datav1.id = datac.id;");
    ASSERT_FALSE(stored.isNull());
    EXPECT_EQ(stored.text(0, 0), "true");
    EXPECT_TRUE(stored.at(0, 1).isNull());
}

TEST_F(Recording, NumbersAreStoredWithAPointWhereTheSystemWritesACommaAndVariablesKeepTheirDecimals)
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    BuildTest();
    TakeOneRun("2,5");
    EXPECT_EQ(SelectToVariant("select data1 from dataf where id = 1;").number(0, 0), 2.5);
    const RowSet values =
        SelectToVariant("select var1, var2, var3, var4, var5, var6, var7, var8 from datav1 where id = 1;");
    ASSERT_EQ(values.rows(), 1);
    EXPECT_EQ(values.number(0, 0), 3.14);
    EXPECT_EQ(values.number(0, 1), 3.0);
    EXPECT_EQ(values.number(0, 2), 3.14159);
    EXPECT_EQ(values.number(0, 3), 3.14159);
    EXPECT_EQ(values.number(0, 4), 5.0);
    EXPECT_EQ(values.number(0, 5), 1.125);
    EXPECT_TRUE(values.at(0, 6).isNull());  // still its start value
    EXPECT_EQ(values.number(0, 7), 1e16);
    for (const char* line :
         {"data1=2.5", "var1=3.14", "var2=3", "var4=3.14159", "var5=5.0", "var6=1.125", "var7=\n", "var8=1E16"})
        EXPECT_TRUE(LogText().contains(line)) << line;
}

// A value beyond the Double range cannot be stored: its variable fails and keeps its start
// value, and the run's other variables and rows are stored as ever.
TEST_F(Recording, AValueBeyondTheDoubleRangeFailsOnlyItsOwnVariable)
{
    CreateTest();
    Setting(-29, "false");
    AddVariable(1, "ordinary", "true", 0, "null", {"2+3"});
    AddVariable(2, "power", "true", 7, "null", {"10^400"});
    AddVariable(3, "product", "false", 0, "null", {"1", "1e308*10"});
    AddVariable(4, "sum", "true", 1e308, "null", {"1e308"});
    AddVariable(5, "after them", "true", 0, "null", {"var1*2"});
    Lock();
    DialogScript script;
    script.answerQuestion(true);
    TakeTest([&](TForm2* window) {
        QTest::mouseClick(window->btnInstruction, Qt::LeftButton);
        QTest::mouseClick(Child<QAbstractButton>(window, "answer0"), Qt::LeftButton);
    });
    EXPECT_EQ(script.texts(), (QStringList{kEndQuestion, kEndMessage}));
    const RowSet values = SelectToVariant("select var1, var2, var3, var4, var5 from datav1 where id = 1;");
    ASSERT_EQ(values.rows(), 1);
    EXPECT_EQ(values.number(0, 0), 5.0);
    EXPECT_EQ(values.number(0, 1), 7.0);
    EXPECT_EQ(values.number(0, 2), 0.0);
    EXPECT_EQ(values.number(0, 3), 1e308);
    EXPECT_EQ(values.number(0, 4), 10.0);
    EXPECT_TRUE(SelectToVariant("select finished from datac where id = 1;").at(0, 0).toBool());
    EXPECT_EQ(Count("select count(*) from datai1 where id = 1;"), 1);
}

// A step that still fails leaves no run that claims to be whole: the run is kept as an
// unfinished one with what could be written, and its answers are in the backup record.
TEST_F(Recording, ARunWithARowThatCannotBeWrittenIsKeptUnfinishedAndItsAnswersInTheBackup)
{
    BuildTest();
    ExecSQL("alter table dataf drop data1;");
    DialogScript script;
    script.answerQuestion(true);
    TakeTest([&](TForm2* window) {
        QTest::keyClicks(Child<QLineEdit>(window, "data1"), "70");
        QTest::mouseClick(window->btnInstruction, Qt::LeftButton);
        QTest::mouseClick(Child<QAbstractButton>(window, "answer0"), Qt::LeftButton);
    });
    ASSERT_EQ(script.texts().size(), 3) << script.texts().join(" | ").toStdString();
    EXPECT_TRUE(script.texts()[2].startsWith("There was an unexpected problem (exception)"));
    EXPECT_FALSE(SelectToVariant("select finished from datac where id = 1;").at(0, 0).toBool());
    EXPECT_EQ(Count("select count(*) from dataf;"), 0);
    EXPECT_EQ(StoredAnswer(1, 1), "This is 1. answer on first question your test..");
    EXPECT_EQ(Count("select count(*) from datav1 where id = 1;"), 1);
    for (const char* line : {"data1=70", "item1\nThis is 1. answer on first question your test..", "var1=3.14"})
        EXPECT_TRUE(LogText().contains(line)) << line;
    QFile daily(BackupFolder() + "/" + DailyBackupFileName(QDate::currentDate()));
    ASSERT_TRUE(daily.open(QIODevice::ReadOnly));
    EXPECT_TRUE(daily.readAll().contains("data1=70"));
}

TEST_F(Recording, TypedNumberInAnIntegerFieldIsRefusedUntilItIsWhole)
{
    CreateTest();
    AddDataField(1, 1, "Children", "integer");
    Lock();
    DialogScript script;
    script.answerQuestion(true);
    TakeTest([&](TForm2* window) {
        auto* field = Child<QLineEdit>(window, "data1");
        const QString notWhole = "This field must be integer: Children\r\n\r\n";
        const struct {
            const char* typed;
            QString message;
        } refused[] = {
            {"1.5", notWhole},
            {"two", notWhole},
            {"3'", "Forbidden character ' in field! Delete this character from field: 3'\r\n\r\n" + notWhole},
        };
        for (const auto& r : refused) {
            field->clear();
            QTest::keyClicks(field, r.typed);
            script.clear();
            QTest::mouseClick(window->btnInstruction, Qt::LeftButton);
            EXPECT_TRUE(window->panel2->isVisible()) << r.typed;
            EXPECT_EQ(script.texts(), QStringList{r.message}) << r.typed;
        }
        field->clear();
        QTest::keyClicks(field, " 3 ");
        QTest::mouseClick(window->btnInstruction, Qt::LeftButton);
        QTest::mouseClick(Child<QAbstractButton>(window, "answer0"), Qt::LeftButton);
    });
    EXPECT_EQ(SelectToVariant("select data1 from dataf;").integer(0, 0), 3);
}

TEST_F(Recording, RecordsOfOneDayShareTheDailyFileAndItsNumbering)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));  // dates written with "/"
    BuildTest();
    TakeOneRun("70");
    TakeOneRun("71.5");
    const QDir folder(BackupFolder());
    EXPECT_EQ(folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{});
    QFile daily(folder.filePath(DailyBackupFileName(QDate::currentDate())));
    ASSERT_TRUE(daily.open(QIODevice::ReadOnly)) << daily.fileName().toStdString();
    const QStringList lines = QString::fromUtf8(daily.readAll()).split('\n');
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines[0], "1\tKelvo backup record\t_ _ _ _ _");
    const qsizetype second = lines.indexOf("2\tKelvo backup record\t_ _ _ _ _");
    ASSERT_GT(second, 1);
    EXPECT_EQ(lines[second - 1], "");
    EXPECT_EQ(lines[second - 2], "");  // the first record's closing line, then the separator
    EXPECT_TRUE(lines.contains("data1=71.5"));
    EXPECT_EQ(CountBackupRecords(daily.fileName()), 2);
}

}  // namespace
