#include "results/find_dialog.h"

#include "results/results_window.h"
#include "tests/results/results_fixture.h"
#include "tests/support/table_dump.h"

#include <QButtonGroup>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

namespace kelvo::testing {
namespace {

class FindRuns : public ResultsFixture {
protected:
    void SetUp() override
    {
        MakeTest(1, 1, 2);
        const QStringList users{"ann", "Annika", "joann", "a_n", "asc; order by x", "bob"};
        for (int i = 0; i < users.size(); ++i) {
            AddRun({i + 1, users[i], QStringLiteral("2026-01-0%1 00:00:00").arg(i + 1), i});
            AddAnswers(i + 1, {QStringLiteral("answer %1").arg(i + 1)});
            AddVariables(i + 1, {double(i)});
        }
        AddDataFields(2, {QStringLiteral("Split"), QStringLiteral("x")});
        AddDataFields(5, {QStringLiteral("Split"), QStringLiteral("y")});
        AddDataFields(6, {QStringLiteral("Zadar"), QStringLiteral("z")});
        ShowResults();
    }

    // Opens Find, chooses the column, types the text, picks the mode and presses Find.
    void Find(const QString& column, const QString& text, int mode)
    {
        WithModal<TForm17>([] { Form13->toolFind->click(); },
                           [&](TForm17& find) {
                               find.combo->setCurrentIndex(find.combo->findText(column));
                               find.edit->setText(text);
                               find.radio->button(mode)->setChecked(true);
                               find.findBtn->click();
                           });
    }
    void Reset()
    {
        WithModal<TForm17>([] { Form13->toolFind->click(); }, [](TForm17& find) { find.resetBtn->click(); });
    }
};

constexpr int kPartial = 0;
constexpr int kExact = 1;

TEST_F(FindRuns, FiltersByUserNameWithEachMatchKindAndResetRestoresEveryRun)
{
    struct Case {
        const char* text;
        int mode;
        QStringList ids;
        const char* clause;
    };
    const Case cases[] = {
        {"ann", kPartial, {"1", "2"}, "where username like 'ann%'"},   // letter case ignored
        {"ann", kExact, {"1"}, "where username like 'ann'"},
        {"%ann", kPartial, {"1", "2", "3"}, "where username like '%ann%'"},  // the author's wildcard
        {"a_n", kExact, {"1", "4"}, "where username like 'a_n'"},           // _ is any one character
        {"ann&", kPartial, {}, "where username like 'ann&'"},               // "&": matched whole
        {"  bob  ", kPartial, {"6"}, "where username like 'bob%'"},
        {"asc; order by x", kExact, {"5"}, "where username like 'asc; order by x'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Find(QStringLiteral("username"), c.text, c.mode);
        EXPECT_EQ(Form13->generalWhere(), c.clause);
        // Only the general section is shown, filtered before its own order.
        ASSERT_EQ(Form13->queryList().size(), 1);
        EXPECT_TRUE(Form13->queryList().front().startsWith(QStringLiteral("select * from datac ") + c.clause
                                                           + QStringLiteral(" order by id ")));
        EXPECT_FALSE(Form13->toolAnswers->isChecked());
        EXPECT_EQ(Ids(), c.ids);
        EXPECT_EQ(Form13->statusText(), QStringLiteral("Record count: %1").arg(c.ids.size()));
    }
    Reset();
    EXPECT_TRUE(Form13->generalWhere().isEmpty());
    EXPECT_EQ(Ids(), (QStringList{"1", "2", "3", "4", "5", "6"}));
    EXPECT_TRUE(script.shown().empty()) << script.lastText().toStdString();
}

TEST_F(FindRuns, SortingAFilteredGridRewritesOnlyTheStatementsOwnOrder)
{
    Find(QStringLiteral("username"), QStringLiteral("asc; order by x"), kExact);
    Form13->toolAnswers->click();
    for (int pass = 0; pass < 2; ++pass) {
        Form13->toolDesc->click();
        DoubleClickHeader(QStringLiteral("username"));
        Form13->toolAsc->click();
        DoubleClickHeader(QStringLiteral("item1"));
        DoubleClickHeader(QStringLiteral("username"));
    }
    EXPECT_EQ(Ids(), (QStringList{"5"}));
    EXPECT_EQ(ColumnTexts("item1"), (QStringList{"answer 5"}));
    EXPECT_EQ(Form13->queryList().front(),
              "select * from datac where username like 'asc; order by x' order by username  asc; ");
    EXPECT_TRUE(script.shown().empty()) << script.lastText().toStdString();
}

TEST_F(FindRuns, AQuoteInTheTextIsRefusedAndTheFilterStays)
{
    Find(QStringLiteral("username"), QStringLiteral("ann"), kPartial);
    bool stillOpen = false;
    WithModal<TForm17>([] { Form13->toolFind->click(); },
                       [&](TForm17& find) {
                           find.edit->setText(QStringLiteral("o'brien"));
                           find.findBtn->click();
                           stillOpen = find.isVisible();
                       });
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(script.lastText(), "This character is forbidden to enter inside the SQL query: ' ");
    EXPECT_EQ(Form13->generalWhere(), "where username like 'ann%'");
    EXPECT_EQ(Ids(), (QStringList{"1", "2"}));
}

TEST_F(FindRuns, ControlCharactersInTheTextAreLeftOut)
{
    Find(QStringLiteral("username"), QString("an") + QChar(0) + "n\x01", kPartial);
    EXPECT_TRUE(script.shown().empty()) << script.lastText().toStdString();
    EXPECT_EQ(Form13->generalWhere(), "where username like 'ann%'");
    EXPECT_EQ(Ids(), (QStringList{"1", "2"}));
}

TEST_F(FindRuns, ADataFieldColumnFiltersTheDataFieldSectionOnly)
{
    Find(QStringLiteral("data1"), QStringLiteral("split"), kExact);
    EXPECT_EQ(Form13->fieldsWhere(), "where data1 like 'split'");
    EXPECT_TRUE(Form13->generalWhere().isEmpty());
    EXPECT_TRUE(Form13->toolFields->isChecked());
    EXPECT_FALSE(Form13->toolCommon->isChecked());
    EXPECT_EQ(Headers(), (QStringList{"id", "data1", "data2"}));
    EXPECT_EQ(Ids(), (QStringList{"2", "5"}));
    // Switching the general section on again merges it into the filtered runs.
    Form13->toolCommon->click();
    EXPECT_EQ(ColumnTexts("username"), (QStringList{"Annika", "asc; order by x"}));
}

TEST_F(FindRuns, TheDialogOffersBothTablesColumnsAndKeepsTheLastSearch)
{
    Find(QStringLiteral("username"), QStringLiteral("bob"), kExact);
    QStringList items;
    QString column;
    QString text;
    int mode = -1;
    WithModal<TForm17>([] { Form13->toolFind->click(); },
                       [&](TForm17& find) {
                           for (int i = 0; i < find.combo->count(); ++i)
                               items << find.combo->itemText(i);
                           column = find.combo->currentText();
                           text = find.edit->text();
                           mode = find.radio->checkedId();
                       });
    EXPECT_EQ(items, (QStringList{"id", "data1", "data2", "id", "test_date", "test_time", "blank_answers", "last_answer",
                                  "go_back", "correction_answers", "username", "finished", "modified", "aposterior", "os"}));
    EXPECT_EQ(column, "username");
    EXPECT_EQ(text, "bob");
    EXPECT_EQ(mode, kExact);
}

TEST_F(FindRuns, AnEmptyTextOrNoColumnActsAsReset)
{
    Find(QStringLiteral("username"), QStringLiteral("ann"), kPartial);
    Find(QStringLiteral("username"), QStringLiteral("   "), kPartial);
    EXPECT_TRUE(Form13->generalWhere().isEmpty());
    EXPECT_EQ(Ids().size(), 6);
    Find(QStringLiteral("data1"), QStringLiteral("Zadar"), kExact);
    Find(QString(), QStringLiteral("Zadar"), kExact);
    EXPECT_TRUE(Form13->fieldsWhere().isEmpty());
    EXPECT_TRUE(Form13->toolCommon->isChecked());
    EXPECT_EQ(Ids().size(), 6);
}

// Awkward texts typed (or pasted: a NUL, very long texts) into Find: each finds exactly
// the runs that hold it or is refused with a message, and the file is left as it was.
TEST_F(FindRuns, AwkwardTextsFindTheRunsHoldingThemOrAreRefused)
{
    const QString veryLong(32767, QChar(u'\u20ac'));  // as much as the edit holds, 3 bytes each
    const QStringList users{"say \"hi\"", "a;b", "inf", "NaN", "1e400", "-0", veryLong};
    for (int i = 0; i < users.size(); ++i)
        AddRun({i + 11, users[i], QStringLiteral("2026-01-01 00:00:00"), 0});
    AddDataFields(11, {QString(5000, QChar('a')), QStringLiteral("x")});
    struct Case {
        QString column;
        QString typed;
        bool paste;
        int mode;
        QStringList ids;  // empty with a message: refused
        QString message;
    };
    const Case cases[] = {
        {"username", "say \"hi\"", false, kExact, {"11"}, {}},
        {"username", "a;b", false, kExact, {"12"}, {}},
        {"username", QString("a") + QChar(0) + ";b", true, kExact, {"12"}, {}},
        {"username", "inf", false, kExact, {"13"}, {}},
        {"username", "nan", false, kExact, {"14"}, {}},
        {"username", "1e400", false, kPartial, {"15"}, {}},
        {"username", "-0", false, kExact, {"16"}, {}},
        {"username", veryLong, true, kExact, {"17"}, {}},
        {"username", veryLong.left(20000), true, kPartial, {"17"}, {}},
        {"username", "x'; delete from datac; --", false, kExact, {}, "This character is forbidden to enter inside the SQL query: ' "},
        // Wildcards typed by the author against a long stored text: answered at once.
        {"data1", "%a%a%a%a%a%a%b", false, kPartial, {}, {}},
        {"data1", "%a%a%a%a%a%a%", false, kPartial, {"11"}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE((c.column + " " + c.typed.left(20)).toStdString());
        const TableDump before = DumpTables();
        const QString whereBefore = Form13->generalWhere();
        DialogScript script;
        WithModal<TForm17>([] { Form13->toolFind->click(); },
                           [&](TForm17& find) {
                               find.combo->setCurrentIndex(find.combo->findText(c.column));
                               find.edit->clear();
                               if (c.paste) {
                                   QApplication::clipboard()->setText(c.typed);
                                   QTest::keyClick(find.edit, Qt::Key_V, Qt::ControlModifier);
                               } else {
                                   QTest::keyClicks(find.edit, c.typed);
                               }
                               find.radio->button(c.mode)->setChecked(true);
                               QTest::mouseClick(find.findBtn, Qt::LeftButton);
                           });
        if (!c.message.isEmpty()) {
            EXPECT_EQ(script.texts(), QStringList{c.message});
            EXPECT_EQ(Form13->generalWhere(), whereBefore);
        } else {
            EXPECT_TRUE(script.texts().isEmpty()) << script.texts().join(" | ").left(300).toStdString();
            EXPECT_EQ(Ids(), c.ids);
        }
        EXPECT_EQ(DumpChanges(before, DumpTables()), QStringList());
    }
}

}  // namespace
}  // namespace kelvo::testing
