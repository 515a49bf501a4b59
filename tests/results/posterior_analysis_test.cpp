// The posterior analysis through its dialog, on runs recorded by the test window: with
// unchanged formulas every stored value comes back exactly; after a formula change the
// variables it feeds take the values a fresh run gives; unmatched answers, failing
// formulas, missing blocks and the interval checks.

#include "dataaware/dataset.h"
#include "results/posterior_analysis_window.h"
#include "results/results_editor_window.h"
#include "tests/results/recorded_runs_fixture.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include <algorithm>
#include <limits>
#include <map>
#include <vector>

using namespace kelvo;
using kelvo::testing::RecordedRunsFixture;

namespace {

class PosteriorAnalysis : public RecordedRunsFixture {
protected:
    static constexpr int kRuns = static_cast<int>(std::size(kRespondents));

    // Types the interval, presses Compute and answers Yes; `logShown` says whether the
    // log window is expected to come up modally at the end (it is closed then).
    QStringList Analyse(const QString& start, const QString& stop, bool logShown = false)
    {
        DialogScript script;
        script.answerQuestion(true);
        bool logSeen = false;
        if (logShown)
            kelvo::testing::answerModal<TForm7>([&](TForm7* log) {
                logSeen = true;
                log->reject();
            });
        TForm19 dialog;
        dialog.show();
        dialog.eStart->clear();
        QTest::keyClicks(dialog.eStart, start);
        dialog.eStop->clear();
        QTest::keyClicks(dialog.eStop, stop);
        QTest::mouseClick(dialog.btnCompute, Qt::LeftButton);
        EXPECT_EQ(logSeen, logShown);
        EXPECT_TRUE(dialog.btnCompute->isEnabled());
        return script.texts();
    }

    std::vector<std::map<QString, QString>> AllStored(int first, int count)
    {
        std::vector<std::map<QString, QString>> runs;
        for (int id = first; id < first + count; ++id)
            runs.push_back(StoredVariables(id));
        return runs;
    }
};

TEST_F(PosteriorAnalysis, UnchangedFormulasGiveEveryStoredValueBackExactly)
{
    BuildTest();
    TakeAllRuns();
    const auto before = AllStored(1, kRuns);
    ASSERT_NE(before[0].at("var3"), "null");
    ASSERT_EQ(before[0].at("var4"), "null");  // still at its start value
    const QStringList texts = Analyse("1", QString::number(kRuns), true);
    EXPECT_EQ(AllStored(1, kRuns), before);
    EXPECT_EQ(Count("select count(*) from datac where aposterior = true;"), kRuns);
    // The typed answer matches no caption: listed and counted, its run still computed.
    EXPECT_TRUE(texts.contains("Posterior analysis finished, but not everything succeeded.\r\n\r\n"
                               "Number of records updated: 4\r\nUnmatched answers: 1\r\n\r\nThe log window lists them."))
        << texts.join(" | ").toStdString();
    EXPECT_TRUE(LogText().contains("id= 1. item2 --> my own words"));
    EXPECT_TRUE(LogText().contains("1. non-referenced answers found in test results."));
}

TEST_F(PosteriorAnalysis, ChangedFormulaChangesExactlyTheVariablesItFeedsToWhatAFreshRunGives)
{
    BuildTest();
    TakeAllRuns();
    const auto before = AllStored(1, kRuns);
    ExecSQL("update formula set formula = 'if(item1=1,4,0)+if(item1=2,8,0)' "
            "where varid = 1 and formula like 'if(item1=1%';");
    Analyse("1", QString::number(kRuns), true);
    const auto rescored = AllStored(1, kRuns);
    TakeAllRuns();  // the same respondents again, under the new formula
    const auto fresh = AllStored(kRuns + 1, kRuns);
    for (int r = 0; r < kRuns; ++r) {
        SCOPED_TRACE(r + 1);
        EXPECT_EQ(rescored[r], fresh[r]);
        for (const char* untouched : {"var2", "var4", "var6"})
            EXPECT_EQ(rescored[r].at(untouched), before[r].at(untouched)) << untouched;
    }
    // Run 2 answered nothing: its variables stay; the others' var1, var3 and var5 moved.
    for (const int r : {0, 2, 3})
        for (const char* fed : {"var1", "var3", "var5"})
            EXPECT_NE(rescored[r].at(fed), before[r].at(fed)) << r + 1 << " " << fed;
    EXPECT_EQ(rescored[1], before[1]);
}

TEST_F(PosteriorAnalysis, EditedCaptionIsListedAndTheRunsOtherVariablesAreStillComputed)
{
    BuildTest();
    TakeAllRuns();
    const auto before = AllStored(1, kRuns);
    ExecSQL("update answers set caption = 'Frequently' where caption = 'Often';");
    const QStringList texts = Analyse("3", "3", true);
    EXPECT_TRUE(texts.join(" | ").contains("Unmatched answers: 1")) << texts.join(" | ").toStdString();
    EXPECT_TRUE(LogText().contains("id= 3. item2 --> Often"));
    const auto after = StoredVariables(3);
    // Its slot stays 0: the 10 of "Often" is gone, the first question still counts.
    EXPECT_EQ(after.at("var1").toDouble(), before[2].at("var1").toDouble() - 10);
    EXPECT_EQ(after.at("var2"), before[2].at("var2"));
}

TEST_F(PosteriorAnalysis, FailingFormulaIsLoggedPerRunAndCountedAndTheOthersAreStored)
{
    BuildTest();
    TakeAllRuns();
    const auto before = AllStored(1, kRuns);
    ExecSQL("update formula set formula = 'ln(0-1-var2)' where varid = 6;");
    const QStringList texts = Analyse("2", "3", true);
    EXPECT_TRUE(texts.join(" | ").contains("Variables that could not be calculated: 2")) << texts.join(" | ").toStdString();
    EXPECT_FALSE(texts.join(" ").contains("successfully"));
    for (const char* line : {"id= 2. var6--> formula: ln(0-1-var2)", "id= 3. var6--> formula: ln(0-1-var2)"})
        EXPECT_TRUE(LogText().contains(line)) << line;
    for (const int id : {2, 3}) {
        const auto after = StoredVariables(id);
        EXPECT_EQ(after.at("var6"), "null");  // its start value, stored as Null
        EXPECT_EQ(after.at("var3"), before[id - 1].at("var3"));
    }
    EXPECT_EQ(StoredVariables(1), before[0]);
}

TEST_F(PosteriorAnalysis, MissingLaterBlockIsInsertedAloneAndMissingRowsAreMade)
{
    BuildTest();
    AddVariable(300, "far", "true", 0, "null", {"var2*4"});
    Lock();
    TakeAllRuns();
    const QString far = StoredVariables(3).at("var1");
    ExecSQL("delete from datav2 where id = 3;");
    ExecSQL("delete from datav1 where id = 4;");
    ExecSQL("delete from datav2 where id = 4;");
    const RowSet expected = SelectToVariant("select var300 from datav2 where id = 1;");
    Analyse("1", QString::number(kRuns), true);
    for (int id = 1; id <= kRuns; ++id) {
        EXPECT_EQ(Count(QString("select count(*) from datav1 where id = %1;").arg(id)), 1) << id;
        EXPECT_EQ(Count(QString("select count(*) from datav2 where id = %1;").arg(id)), 1) << id;
    }
    EXPECT_EQ(StoredVariables(3).at("var1"), far);
    // var2 of run 3 is 0.5 + 7.25 * 2 / 3 before its two decimals are applied; values
    // are stored with 15 significant digits.
    EXPECT_NEAR(SelectToVariant("select var300 from datav2 where id = 3;").number(0, 0), (0.5 + 7.25 * 2 / 3) * 4, 1e-13);
    EXPECT_EQ(SelectToVariant("select var300 from datav2 where id = 1;").at(0, 0), expected.at(0, 0));
}

TEST_F(PosteriorAnalysis, IntervalIsCheckedAndDeletedRunsArePassedOver)
{
    BuildTest();
    TakeAllRuns();
    struct Case {
        const char* start;
        const char* stop;
        const char* message;
    };
    const Case cases[] = {
        {"", "2", "Start ID and/or Stop (ID) are not valid!\r\n\r\nEnter integer values"},
        {"3", "2", "Start ID must be less than or equal to Stop ID!"},
        {"0", "2", "Start ID or Stop ID are out of valid data range (1..4)."},
        {"2", "5", "Start ID or Stop ID are out of valid data range (1..4)."},
    };
    for (const Case& c : cases) {
        const QStringList texts = Analyse(c.start, c.stop);
        EXPECT_EQ(texts, QStringList{c.message}) << c.start << ".." << c.stop;
    }
    EXPECT_EQ(Count("select count(*) from datac where aposterior = true;"), 0);
    ExecSQL("delete from datac where id = 2;");
    ExecSQL("delete from datac where id = 3;");
    const QStringList texts = Analyse("2", "3");
    EXPECT_EQ(texts.last(), "No records were found within a given interval!\r\n\r\nOperation aborted..");
    EXPECT_TRUE(Analyse("1", "4", true).contains(
        "Posterior analysis finished, but not everything succeeded.\r\n\r\nNumber of records updated: 2\r\n"
        "Unmatched answers: 1\r\n\r\nThe log window lists them."));
}

TEST_F(PosteriorAnalysis, ResultsEditorOpensItOnTheSelectedRunAndRefreshesAfterwards)
{
    BuildTest();
    TakeAllRuns();
    TForm15 editor;
    editor.show();
    bool opened = false;
    kelvo::testing::answerModal<TForm19>([&](TForm19* dialog) {
        opened = true;
        EXPECT_EQ(dialog->eStart->text(), "4");
        EXPECT_EQ(dialog->eStop->text(), "4");
        DialogScript script;
        script.answerQuestion(true);
        QTest::mouseClick(dialog->btnCompute, Qt::LeftButton);
        EXPECT_EQ(script.lastText(), "No found unmatched answers during the calculation.");
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    QTest::mouseClick(editor.aposterior, Qt::LeftButton);
    EXPECT_TRUE(opened);
    EXPECT_EQ(editor.query->value("aposterior").toBool(), true);
    ExecSQL("delete from formula;");
    DialogScript script;
    QTest::mouseClick(editor.aposterior, Qt::LeftButton);
    EXPECT_EQ(script.lastText(), "The selected operation can not be achieved because of this test is not defined by any "
                                 "one formula (or variable)!");
}

TEST_F(PosteriorAnalysis, IntervalEndingAtTheLargestIdEndsAndTouchesNoRunOutsideIt)
{
    BuildTest();
    TakeAllRuns();
    constexpr int kLargest = std::numeric_limits<int>::max();
    // Runs 3 and 4 move to the top of the id range; runs 1 and 2 stay far below it.
    const std::map<int, int> moved = {{3, kLargest - 7}, {4, kLargest}};
    for (const auto& [from, to] : moved)
        for (const char* table : {"datac", "dataf", "datai1", "datav1"})
            ExecSQL(QString("update %1 set id = %2 where id = %3;").arg(table).arg(to).arg(from));
    std::map<int, std::map<QString, QString>> computed;
    for (const int id : {1, 2, kLargest - 7, kLargest})
        computed[id] = StoredVariables(id);

    struct Case {
        int start;
        int stop;
        std::vector<int> rescored;
    };
    const Case cases[] = {
        {kLargest - 7, kLargest, {kLargest - 7, kLargest}},
        {3, kLargest - 1, {kLargest - 7}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start);
        ExecSQL("update datav1 set var2 = 999;");
        ExecSQL("update datac set aposterior = false;");
        const QStringList texts = Analyse(QString::number(c.start), QString::number(c.stop));
        EXPECT_TRUE(texts.contains(QString("Posterior analysis successfully finished.\r\n\r\nNumber of records "
                                           "updated: %1").arg(c.rescored.size())))
            << texts.join(" | ").toStdString();
        for (const auto& [id, values] : computed) {
            const bool inside = std::find(c.rescored.begin(), c.rescored.end(), id) != c.rescored.end();
            const auto stored = StoredVariables(id);
            EXPECT_EQ(Count(QString("select count(*) from datac where id = %1 and aposterior = true;").arg(id)),
                      inside ? 1 : 0) << id;
            if (inside) {
                EXPECT_EQ(stored, values) << id;
            } else {
                EXPECT_EQ(stored.at("var2"), "999") << id;
            }
        }
    }
}

}  // namespace
