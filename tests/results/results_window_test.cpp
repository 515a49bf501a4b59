#include "results/results_window.h"

#include "data/accounts.h"
#include "data/session.h"
#include "results/find_dialog.h"
#include "tests/results/results_fixture.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>

#include <numeric>

namespace kelvo::testing {
namespace {

// Three runs; answers stored for runs 1 and 3 only, variables for 1 and 2, data fields
// for run 2 only.
class ThreeRuns : public ResultsFixture {
protected:
    void SetUp() override
    {
        MakeTest(2, 2, 1);
        AddRun({1, QStringLiteral("carl"), QStringLiteral("2026-03-05 00:00:00"), 10});
        AddRun({2, QStringLiteral("Ann"), QStringLiteral("2025-11-20 00:00:00"), 2});
        AddRun({3, QStringLiteral("bob"), QStringLiteral("2026-01-10 00:00:00"), 1});
        AddAnswers(1, {QStringLiteral("yes"), QString()});
        AddAnswers(3, {QStringLiteral("no"), QStringLiteral("maybe")});
        AddVariables(1, {1.5, 2});
        AddVariables(2, {-3, 0.25});
        AddDataFields(2, {QStringLiteral("Zagreb")});
    }
};

TEST_F(ThreeRuns, MergesEveryStoredRunByIdAcrossTheResultTables)
{
    ShowResults();
    EXPECT_TRUE(Form13->toolFields->isChecked());
    EXPECT_TRUE(Form13->toolVariables->isChecked());
    EXPECT_EQ(Headers(), (QStringList{"id", "test_date", "test_time", "blank_answers", "last_answer", "go_back",
                                      "correction_answers", "username", "finished", "modified", "aposterior", "os",
                                      "data1", "item1", "item2", "var1", "var2"}));
    EXPECT_EQ(Ids(), (QStringList{"1", "2", "3"}));
    EXPECT_EQ(ColumnTexts("username"), (QStringList{"carl", "Ann", "bob"}));
    EXPECT_EQ(ColumnTexts("data1"), (QStringList{"", "Zagreb", ""}));
    // Run 2 has no answers row and the null answer of run 1 is an empty cell.
    EXPECT_EQ(ColumnTexts("item1"), (QStringList{"yes", "", "no"}));
    EXPECT_EQ(ColumnTexts("item2"), (QStringList{"", "", "maybe"}));
    EXPECT_EQ(ColumnTexts("var1"), (QStringList{"1.5", "-3", ""}));
    EXPECT_EQ(ColumnTexts("finished"), (QStringList{"true", "true", "true"}));
    EXPECT_EQ(Form13->statusText(), "Record count: 3");
    // The run id stays in view in the vertical header.
    EXPECT_EQ(Model().headerData(1, Qt::Vertical).toString(), "2");
    EXPECT_TRUE(script.shown().empty()) << script.lastText().toStdString();
}

TEST_F(ThreeRuns, ShowingTheWindowAgainListsEveryColumnOnce)
{
    ShowResults();
    const QStringList first = Headers();
    Form13->hide();
    ShowResults();
    EXPECT_EQ(Headers(), first);
    EXPECT_EQ(Form13->queryList().size(), 4);
}

TEST_F(ThreeRuns, SectionButtonsAddAndRemoveTheirColumns)
{
    ShowResults();
    Form13->toolVariables->click();
    EXPECT_EQ(Column("var1"), -1);
    EXPECT_GE(Column("item1"), 0);
    Form13->toolFields->click();
    EXPECT_EQ(Column("data1"), -1);

    // Without the general section the answers table decides the rows: run 2 has none.
    Form13->toolCommon->click();
    EXPECT_EQ(Headers(), (QStringList{"id", "item1", "item2"}));
    EXPECT_EQ(Ids(), (QStringList{"1", "3"}));

    Form13->toolVariables->click();
    EXPECT_EQ(Headers(), (QStringList{"id", "item1", "item2", "var1", "var2"}));
    EXPECT_EQ(ColumnTexts("var2"), (QStringList{"2", ""}));

    Form13->toolAnswers->click();
    Form13->toolVariables->click();
    EXPECT_EQ(Model().rowCount(), 0);
    EXPECT_TRUE(Form13->queryList().isEmpty());

    Form13->toolCommon->click();
    EXPECT_EQ(Ids(), (QStringList{"1", "2", "3"}));
    EXPECT_EQ(Model().columnCount(), 12);
}

TEST_F(ThreeRuns, HeaderDoubleClickAndDescendingSortNumbersTextsAndDates)
{
    struct Case {
        const char* column;
        QStringList ascending;  // ids in order
    };
    const Case cases[] = {
        {"blank_answers", {"3", "2", "1"}},  // 1, 2, 10 as numbers
        {"username", {"2", "3", "1"}},       // Ann, bob, carl whatever the letter case
        {"test_date", {"2", "3", "1"}},      // 2025-11-20, 2026-01-10, 2026-03-05
        {"var1", {"2", "1"}},                // the variables table decides the rows now
        {"item1", {"3", "1"}},               // no, yes
        {"id", {"1", "3"}},  // the answers statement, first since item1, holds an id too
    };
    ShowResults();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.column);
        Form13->toolAsc->click();
        DoubleClickHeader(c.column);
        EXPECT_EQ(Ids(), c.ascending);
        // The statement holding the column went first; every section stays shown.
        EXPECT_TRUE(Form13->queryList().front().contains(QStringLiteral("order by %1").arg(c.column)));
        EXPECT_EQ(Form13->queryList().size(), 4);
        Form13->toolDesc->click();
        QStringList descending = c.ascending;
        std::reverse(descending.begin(), descending.end());
        EXPECT_EQ(Ids(), descending);
        EXPECT_TRUE(Form13->queryList().front().endsWith(QStringLiteral(" desc; ")));
    }
    // Sorting reorders whole rows: each run keeps its own cells.
    DoubleClickHeader("username");
    EXPECT_EQ(ColumnTexts("username"), (QStringList{"carl", "bob", "Ann"}));
    EXPECT_EQ(ColumnTexts("item2"), (QStringList{"", "maybe", ""}));
    EXPECT_EQ(ColumnTexts("data1"), (QStringList{"", "", "Zagreb"}));
    EXPECT_TRUE(script.shown().empty()) << script.lastText().toStdString();
}

TEST_F(ThreeRuns, TheRecordCountNamesTheRowsShownWhicheverSectionDecidesThem)
{
    ShowResults();
    EXPECT_EQ(Form13->statusText(), "Record count: 3");
    Form13->toolFields->click();
    Form13->toolCommon->click();  // the answers decide the rows: runs 1 and 3
    EXPECT_EQ(Model().rowCount(), 2);
    EXPECT_EQ(Form13->statusText(), "Record count: 2");
    DoubleClickHeader("var1");  // the variables decide them: runs 1 and 2
    EXPECT_EQ(Ids(), (QStringList{"2", "1"}));
    EXPECT_EQ(Form13->statusText(), "Record count: 2");
    Form13->toolAnswers->click();
    Form13->toolVariables->click();
    EXPECT_TRUE(Form13->statusText().isEmpty());
}

TEST_F(ThreeRuns, ColumnsFitTheirHeaderAndTheValuesInViewWithinACap)
{
    const QString longAnswer = QStringLiteral("an answer far longer than any column should be allowed to grow, "
                                              "so that the other columns stay in view");
    ExecSQL(QStringLiteral("update datai1 set item1 = %1 where id = 3;").arg(SqlQuote(longAnswer)));
    ExecSQL(QStringLiteral("update datai1 set item2 = 'a somewhat longer answer' where id = 3;"));
    ShowResults();
    const QFontMetrics metrics(Form13->grid->font());
    const QHeaderView* header = Form13->grid->horizontalHeader();
    for (const char* name : {"correction_answers", "blank_answers", "aposterior", "item2"}) {
        SCOPED_TRACE(name);
        const int column = Column(name);
        EXPECT_GE(header->sectionSize(column), metrics.horizontalAdvance(QString::fromLatin1(name)));
    }
    const int item2 = header->sectionSize(Column("item2"));
    EXPECT_GE(item2, metrics.horizontalAdvance(QStringLiteral(" a somewhat longer answer")));
    const int item1 = header->sectionSize(Column("item1"));
    EXPECT_GT(item1, item2);
    EXPECT_LT(item1, metrics.horizontalAdvance(longAnswer) / 2);
}

TEST_F(ThreeRuns, ResetViewEmptiesTheWindowAndReleasesFieldsAndVariables)
{
    ShowResults();
    Form13->ResetView();
    EXPECT_EQ(Model().rowCount(), 0);
    EXPECT_EQ(Model().columnCount(), 0);
    EXPECT_TRUE(Form13->queryList().isEmpty());
    EXPECT_TRUE(Form13->statusText().isEmpty());
    EXPECT_FALSE(Form13->toolFields->isChecked());
    EXPECT_FALSE(Form13->toolVariables->isChecked());
    EXPECT_TRUE(Form13->toolCommon->isChecked());
    EXPECT_TRUE(Form13->toolAnswers->isChecked());
}

TEST_F(ThreeRuns, RowsThatChangedWhileShownAreReadAgainAtTheNextShowing)
{
    ShowResults();
    Form13->hide();
    AddRun({4, QStringLiteral("dora"), QStringLiteral("2026-04-01 00:00:00"), 0});
    ShowResults();
    EXPECT_EQ(Ids(), (QStringList{"1", "2", "3", "4"}));
    Form13->toolDesc->click();
    EXPECT_EQ(Ids(), (QStringList{"4", "3", "2", "1"}));
}

// More runs than the grid keeps cells of at once: every row, read in any order and after
// sorting, shows its own run's cells.
TEST_F(ResultsFixture, EveryRowOfAManyRunTestShowsItsOwnRunAfterSorting)
{
    constexpr int kRuns = 1450;
    MakeTest(1, 1, 0);
    const auto username = [](int id) { return QStringLiteral("user%1").arg((id * 7919) % kRuns, 4, 10, QLatin1Char('0')); };
    const auto answer = [](int id) { return id % 3 == 0 ? QString() : QStringLiteral("answer %1").arg(id % 5); };
    const auto variable = [](int id) { return id % 2 == 0 ? NumberToText(id / 4.0) : QString(); };
    {
        engine::Transaction transaction(Form1->con);
        for (int id = 1; id <= kRuns; ++id) {
            AddRun({id, username(id), QStringLiteral("2026-01-01 00:00:00"), id % 7});
            if (!answer(id).isEmpty())
                AddAnswers(id, {answer(id)});
            if (!variable(id).isEmpty())
                AddVariables(id, {id / 4.0});
        }
        transaction.commit();
    }
    ShowResults();
    ASSERT_EQ(Model().rowCount(), kRuns);
    const auto checkEveryRow = [&](const std::vector<int>& rows) {
        const int item = Column("item1");
        const int var = Column("var1");
        const int user = Column("username");
        for (const int r : rows) {
            const int id = Model().index(r, 0).data().toInt();
            ASSERT_GE(id, 1);
            EXPECT_EQ(Model().headerData(r, Qt::Vertical).toString(), QString::number(id));
            EXPECT_EQ(Model().index(r, user).data().toString(), username(id)) << "row " << r;
            EXPECT_EQ(Model().index(r, item).data().toString(), answer(id)) << "row " << r;
            EXPECT_EQ(Model().index(r, var).data().toString(), variable(id)) << "row " << r;
        }
    };
    std::vector<int> downwards(kRuns);
    std::iota(downwards.begin(), downwards.end(), 0);
    std::vector<int> upwards(downwards.rbegin(), downwards.rend());
    checkEveryRow(downwards);
    EXPECT_EQ(Model().index(kRuns - 1, 0).data().toString(), QString::number(kRuns));

    DoubleClickHeader("username");
    Form13->toolDesc->click();
    checkEveryRow(upwards);
    checkEveryRow({0, kRuns / 2, kRuns - 1, 1});
    QStringList names;
    for (int r = 0; r < kRuns; ++r)
        names << Model().index(r, Column("username")).data().toString();
    QStringList expected = names;
    std::sort(expected.begin(), expected.end(), std::greater<>());
    EXPECT_EQ(names, expected);
    EXPECT_EQ(Form13->statusText(), QStringLiteral("Record count: %1").arg(kRuns));
}

TEST_F(ResultsFixture, WithoutAConnectionTheWindowSaysSoAndCloses)
{
    Form13->show();
    QApplication::processEvents();
    EXPECT_EQ(script.lastText(),
              "Error code 197. Main database connection is disabled!\r\n\r\nYou can't view test results!\r\n\r\n"
              "Check status of .mdb database file!");
    EXPECT_FALSE(Form13->isVisible());
}

TEST_F(ResultsFixture, AResultTableWithoutLeadingIdWarnsAndTheGridIsStillFilled)
{
    MakeTest(1, 0, 0);
    AddRun({1, QStringLiteral("ann"), QStringLiteral("2026-01-01 00:00:00"), 0});
    AddAnswers(1, {QStringLiteral("yes")});
    ExecSQL(QStringLiteral("create table dataix ( item9 longtext, id integer );"));
    ExecSQL(QStringLiteral("insert into dataix (item9, id) values ('1', 1);"));
    Reopen();
    ShowResults();
    EXPECT_EQ(script.lastText(),
              "Internal error! Error code: 199. If you get this error please send e-mail to: \r\n\r\nsupport@kelvo.example");
    // The table merges by its first field: its text "1" is the id of run 1.
    EXPECT_EQ(Ids(), (QStringList{"1"}));
    EXPECT_EQ(ColumnTexts("item1"), (QStringList{"yes"}));
    EXPECT_EQ(ColumnTexts("item9"), (QStringList{"1"}));
}

TEST_F(ResultsFixture, AFailingStatementIsReportedAndTheRefreshEnds)
{
    MakeTest(1, 0, 0);
    AddRun({1, QStringLiteral("ann"), QStringLiteral("2026-01-01 00:00:00"), 0});
    ShowResults();
    Form13->hide();
    // The table goes while the file's table list still names it.
    ExecSQL(QStringLiteral("drop table datai1;"));
    ShowResults();
    EXPECT_EQ(script.lastText(),
              "Error code 198. General SQL select command error!\r\n\r\nCheck status of .mdb database file!");
    EXPECT_EQ(Ids(), (QStringList{"1"}));
    EXPECT_EQ(Model().columnCount(), 12);
}

TEST_F(ThreeRuns, WrappedCellsGrowTheirRowAndOneLineRowsComeBack)
{
    ExecSQL(QStringLiteral("update datai1 set item1 = 'first line of a long answer that is wider than its "
                           "cell and has to be broken into several lines' where id = 1;"));
    Form13->resize(900, 500);
    ShowResults();
    const int oneLine = Form13->grid->rowHeight(0);
    // Rows grow as their cells come into view.
    Form13->grid->scrollTo(Model().index(0, Column("item1")));
    Form13->toolWrap->click();
    QApplication::processEvents();
    EXPECT_GT(Form13->grid->rowHeight(0), 2 * oneLine);
    EXPECT_EQ(Form13->grid->rowHeight(1), oneLine);
    Form13->toolWrap->click();
    QApplication::processEvents();
    EXPECT_EQ(Form13->grid->rowHeight(0), oneLine);
}

TEST_F(ResultsFixture, EditingResultsIsOfferedOnceRunsAreStoredSinceTheRightsWereApplied)
{
    MakeTest(1, 0, 0);
    // An account that may modify results, applied while no run is stored.
    Session::current().permissions = QStringList{"false", "false", "true", "false", "true", "false"};
    ApplyPermissions();
    EXPECT_FALSE(Form13->toolModify->isEnabled());
    AddRun({1, QStringLiteral("ann"), QStringLiteral("2026-03-05 00:00:00"), 0});
    Form13->show();
    EXPECT_TRUE(Form13->toolModify->isEnabled());
    EXPECT_FALSE(Form13->toolExport->isEnabled());
    Form13->hide();
    ExecSQL("delete from datac;");
    Form13->show();
    EXPECT_FALSE(Form13->toolModify->isEnabled());
}

TEST_F(ThreeRuns, CtrlFOpensFind)
{
    ShowResults();
    bool found = false;
    WithModal<TForm17>([] { QTest::keyRelease(Form13->grid, Qt::Key_F, Qt::ControlModifier); },
                       [&](TForm17& find) { found = find.isVisible(); });
    EXPECT_TRUE(found);
}

}  // namespace
}  // namespace kelvo::testing
