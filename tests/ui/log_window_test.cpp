#include "app/main_window.h"
#include "app/window_instance.h"
#include "data/database.h"
#include "model/rtf_reader.h"
#include "tests/support/rtf_test_support.h"
#include "tests/support/test_file_fixture.h"
#include "ui/dialog_service.h"
#include "ui/help.h"
#include "ui/log_window.h"
#include "ui/wait_window.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QTextBrowser>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextEdit>
#include <gtest/gtest.h>

using namespace kelvo;
using kelvo::rtf_check::blockTexts;
using kelvo::rtf_check::runsOf;
using kelvo::rtf_check::StyledRun;

namespace {

QTextBlockFormat blockFormat(const TForm7& form, int number)
{
    return form.editor->document()->findBlockByNumber(number).blockFormat();
}

StyledRun firstRun(const TForm7& form, int blockNumber)
{
    const QTextBlock block = form.editor->document()->findBlockByNumber(blockNumber);
    return kelvo::rtf_check::runOf(block.begin().fragment());
}

// Stands in for the open test: fixed findings, and the statements the window sends.
template <class Window>
Window* shownTopLevel()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* window = qobject_cast<Window*>(widget); window && window->isVisible())
            return window;
    return nullptr;
}

class FakeCheckTarget : public FormulaCheckTarget {
public:
    explicit FakeCheckTarget(const TForm7& form) : form_(form) {}

    std::vector<FormulaMessageRow> syntax;
    std::vector<FormulaMessageRow> references;
    QStringList statements;
    // What the person saw while the check ran.
    bool entryEnabledDuringCheck = true;
    QString waitText;

    std::vector<FormulaMessageRow> CheckAllFormulasSyntax() override
    {
        entryEnabledDuringCheck = form_.formulaDebug->isEnabled();
        if (const TForm16* wait = shownTopLevel<TForm16>())
            waitText = wait->label1->text();
        return syntax;
    }
    std::vector<FormulaMessageRow> CheckAllFormulaReferences() override { return references; }
    void ExecSQL(const QString& statement) override { statements << statement; }

private:
    const TForm7& form_;
};

const QString kCheckQuestion = QStringLiteral(
    "You have started a process that will thoroughly check all the formulas in the test!\r\n\r\n"
    "Warning: this proccess can be very long in case of a large number of formulas in the test!\r\n\r\n"
    "Continue?");

}  // namespace

TEST(LogWindow, HasItsCaptionSizeAndMenu)
{
    TForm7 form;
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Log form"));
    EXPECT_EQ(form.size(), QSize(600, 400));
    EXPECT_EQ(form.minimumSize(), QSize(400, 300));
    EXPECT_TRUE(form.editor->isReadOnly());
    EXPECT_EQ(form.OpenFile->title(), QStringLiteral("File"));
    QStringList captions;
    for (const QAction* action : form.OpenFile->actions())
        captions << action->text();
    EXPECT_EQ(captions, (QStringList{"Save", "Clear Log", "Debug formula", "Help"}));
}

TEST(LogWindow, TitlesHaveBlankLinesAroundThemExceptAtTheStart)
{
    TForm7 form;
    form.AddLogTitle(2, QStringLiteral("Validation"), Qt::AlignHCenter, 14, true, false, Qt::blue);
    EXPECT_EQ(blockTexts(*form.editor->document()), (QStringList{"Validation", "", "", ""}));
    form.AddLogLine(QStringLiteral("first finding"), 10, false, false, Qt::black);
    form.AddLogLine(QStringLiteral("second finding"), 10, false, false, Qt::black);
    form.AddLogTitle(1, QStringLiteral("Structure"), Qt::AlignRight, 12, false, true, Qt::darkGreen);
    EXPECT_EQ(blockTexts(*form.editor->document()),
              (QStringList{"Validation", "", "", "first finding", "second finding", "", "Structure", "", ""}));

    EXPECT_EQ(blockFormat(form, 0).alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    EXPECT_EQ(firstRun(form, 0), (StyledRun{"Validation", true, false, false, QColor(Qt::blue), 14, {}}));
    const QTextBlockFormat line = blockFormat(form, 3);
    EXPECT_EQ(line.alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
    EXPECT_DOUBLE_EQ(line.textIndent(), 20);
    EXPECT_EQ(blockFormat(form, 6).alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
}

TEST(LogWindow, StylesAddUpUntilResetLogFormat)
{
    TForm7 form;
    form.AddLogTitle(1, QStringLiteral("Bold title"), Qt::AlignLeft, 12, true, false, Qt::red);
    form.AddLogLine(QStringLiteral("still bold"), 10, false, true, Qt::black);
    form.AddLogLine(QStringLiteral("bold and italic"), 9, false, false, Qt::darkRed);
    form.ResetLogFormat();
    form.AddLogLine(QStringLiteral("plain again"), 11, false, false, Qt::black);

    const std::vector<StyledRun> runs = runsOf(*form.editor->document());
    const std::vector<StyledRun> expected = {
        {"Bold title", true, false, false, QColor(Qt::red), 12, {}},
        {"still bold", true, true, false, QColor(Qt::black), 10, {}},
        {"bold and italic", true, true, false, QColor(Qt::darkRed), 9, {}},
        {"plain again", false, false, false, QColor(Qt::black), 11, {}},
    };
    ASSERT_EQ(runs.size(), expected.size());
    for (std::size_t i = 0; i < runs.size(); ++i)
        EXPECT_EQ(runs[i], expected[i]) << "run " << i;

    const QTextBlockFormat reset = form.editor->document()->lastBlock().blockFormat();
    EXPECT_DOUBLE_EQ(reset.textIndent(), 20);
    EXPECT_EQ(reset.tabPositions(), (QList<QTextOption::Tab>{QTextOption::Tab(100, QTextOption::LeftTab),
                                                             QTextOption::Tab(200, QTextOption::LeftTab)}));
}

TEST(LogWindow, PlainLinesFromOtherModulesEachTakeALine)
{
    TForm7 form;
    LogLineSink& sink = form;
    sink.AddLine(QStringLiteral("Run 12 recorded"));
    sink.AddLine(QStringLiteral("answers: 1;2;3"));
    form.AddLogTitle(1, QStringLiteral("Title"), Qt::AlignLeft, 10, false, false, Qt::black);
    sink.AddLine(QStringLiteral("after"));
    EXPECT_EQ(form.editor->toPlainText(),
              QStringLiteral("Run 12 recorded\nanswers: 1;2;3\n\nTitle\n\nafter\n"));
}

TEST(LogWindow, SaveWritesTheLogAsRtfWithItsStyles)
{
    QTemporaryDir folder;
    TForm7 form;
    form.AddLogTitle(1, QStringLiteral("Report über Tests"), Qt::AlignHCenter, 14, true, false, Qt::blue);
    form.AddLogLine(QStringLiteral("a line\twith a tab"), 10, false, true, Qt::red);

    DialogScript script;
    const QString path = folder.filePath(QStringLiteral("log.rtf"));
    script.answerFile(path);
    form.saveFile->trigger();
    ASSERT_TRUE(script.shown().empty()) << script.lastText().toStdString();

    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    QTextDocument read;
    readRtfInto(saved.readAll(), read);
    EXPECT_EQ(blockTexts(read), blockTexts(*form.editor->document()));
    const std::vector<StyledRun> runs = runsOf(read);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].text, QStringLiteral("Report über Tests"));
    EXPECT_TRUE(runs[0].bold);
    EXPECT_EQ(runs[0].colour, QColor(Qt::blue));
    EXPECT_EQ(runs[0].points, 14);
    EXPECT_EQ(runs[1].text, QStringLiteral("a line\twith a tab"));
    EXPECT_TRUE(runs[1].bold) << "the title's bold stays until the format is reset";
    EXPECT_TRUE(runs[1].italic);
    EXPECT_EQ(runs[1].colour, QColor(Qt::red));
    EXPECT_EQ(read.begin().blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
}

TEST(LogWindow, SaveAddsTheSuffixAndWritesNothingForABlankName)
{
    QTemporaryDir folder;
    TForm7 form;
    form.AddLogLine(QStringLiteral("x"), 10, false, false, Qt::black);
    DialogScript script;
    script.answerFile(QStringLiteral("   "));
    form.saveFile->trigger();
    form.saveFile->trigger();  // cancelled
    EXPECT_TRUE(QDir(folder.path()).isEmpty());

    script.answerFile(folder.filePath(QStringLiteral("report")));
    form.saveFile->trigger();
    EXPECT_TRUE(QFile::exists(folder.filePath(QStringLiteral("report.rtf"))));

    // The dialog confirmed "report", not "report.rtf": replacing that one is asked.
    QFile::resize(folder.filePath(QStringLiteral("report.rtf")), 0);
    script.answerFile(folder.filePath(QStringLiteral("report")));
    script.answerQuestion(false);
    form.saveFile->trigger();
    EXPECT_EQ(script.lastText(), QStringLiteral("report.rtf already exists.\r\nDo you want to replace it?"));
    EXPECT_EQ(QFileInfo(folder.filePath(QStringLiteral("report.rtf"))).size(), 0);
}

TEST(LogWindow, FailedSaveIsReportedAndLeavesTheLog)
{
    QTemporaryDir folder;
    TForm7 form;
    form.AddLogLine(QStringLiteral("kept"), 10, false, false, Qt::black);
    DialogScript script;
    const QString path = folder.filePath(QStringLiteral("no such folder/log.rtf"));
    script.answerFile(path);
    form.saveFile->trigger();
    ASSERT_EQ(script.shown().size(), 1u);
    EXPECT_EQ(script.shown()[0].kind, MessageKind::Error);
    EXPECT_TRUE(script.lastText().contains(path)) << script.lastText().toStdString();
    EXPECT_EQ(form.editor->toPlainText(), QStringLiteral("kept\n"));
}

TEST(LogWindow, ClearLogEmptiesItOnlyOnYes)
{
    TForm7 form;
    form.AddLogLine(QStringLiteral("line"), 10, false, false, Qt::black);
    DialogScript script;
    script.answerQuestion(false);
    form.clearLog->trigger();
    EXPECT_EQ(form.editor->toPlainText(), QStringLiteral("line\n"));
    script.answerQuestion(true);
    form.clearLog->trigger();
    EXPECT_TRUE(form.editor->document()->isEmpty());
    EXPECT_EQ(script.texts(), (QStringList{"Clear Log?", "Clear Log?"}));
    EXPECT_EQ(script.shown()[0].kind, MessageKind::Question);

    form.AddLogTitle(3, QStringLiteral("After clearing"), Qt::AlignLeft, 10, false, false, Qt::black);
    EXPECT_EQ(blockTexts(*form.editor->document()).first(), QStringLiteral("After clearing"));
}

TEST(LogWindow, FormulaCheckReportsAndDeletesOnlyOnYes)
{
    TForm7 form;
    FakeCheckTarget target(form);
    form.setFormulaCheckTarget(&target);
    // Formula 3 has two faulty conditions, formula 5 is faulty in syntax and references.
    target.syntax = {{3, "if(item1=9,1,0) --> answer out of range"},
                     {3, "if(item2=0,1,0) --> always true or false"},
                     {5, "if(item7=1,1,0) --> question out of range"}};
    target.references = {{5, "var9 --> missing variable"}, {7, "item40 --> missing question"}};

    DialogScript script;
    script.answerQuestion(true);
    script.answerQuestion(true);
    script.answerQuestion(false);  // declines at the count
    form.formulaDebug->trigger();
    EXPECT_EQ(form.editor->toPlainText(),
              QStringLiteral("\nSome of the formulas contain errors!\n"
                             "if(item1=9,1,0) --> answer out of range\n"
                             "if(item2=0,1,0) --> always true or false\n"
                             "if(item7=1,1,0) --> question out of range\n"
                             "\n"
                             "var9 --> missing variable\n"
                             "item40 --> missing question\n"));
    EXPECT_EQ(script.texts(),
              (QStringList{kCheckQuestion, "If you want to delete all of the formulas selected from the debug process?",
                           "Number of formulas to delete: 4\r\n\r\nDelete selected records?"}));
    EXPECT_TRUE(target.statements.isEmpty());
    EXPECT_FALSE(target.entryEnabledDuringCheck);
    EXPECT_EQ(target.waitText, QStringLiteral("Debugging Kelvo formula.."));
    EXPECT_TRUE(form.formulaDebug->isEnabled());
    EXPECT_EQ(shownTopLevel<TForm16>(), nullptr) << "the wait window is closed after the check";

    script.clear();
    form.editor->clear();
    for (int i = 0; i < 3; ++i)
        script.answerQuestion(true);
    form.formulaDebug->trigger();
    EXPECT_EQ(target.statements, QStringList{"delete from formula where autoid in (3,3,5,7);"});
    EXPECT_EQ(script.lastText(), QStringLiteral("Records deleted: 4"));
}

TEST(LogWindow, FormulaCheckWithoutFindingsSaysSoAndAsksNothingMore)
{
    TForm7 form;
    FakeCheckTarget target(form);
    form.setFormulaCheckTarget(&target);
    DialogScript script;
    script.answerQuestion(false);
    form.formulaDebug->trigger();  // declined at the start
    EXPECT_TRUE(form.editor->document()->isEmpty());

    script.answerQuestion(true);
    form.formulaDebug->trigger();
    EXPECT_EQ(form.editor->toPlainText(), QStringLiteral("\nAll formulas in the test are correct!\n"));
    EXPECT_EQ(script.texts(), (QStringList{kCheckQuestion, kCheckQuestion}));

    target.references = {{2, "var3 --> missing variable"}};
    form.editor->clear();
    script.answerQuestion(true);
    form.formulaDebug->trigger();
    EXPECT_EQ(form.editor->toPlainText(),
              QStringLiteral("\nSome of the formulas contain errors!\nvar3 --> missing variable\n"));
}

class LogWindowOnATest : public kelvo::testing::TestFileFixture {};

// A test made by the program: one question with three answers, one variable, and
// formulas that are right, faulty in a condition, and faulty in condition and reference.
TEST_F(LogWindowOnATest, DebugFormulaChecksTheOpenTestAndDeletesOnYes)
{
    MakeTestFile(QStringLiteral("check.mdb"), 9, true);
    ExecSQL(QStringLiteral("insert into items (id, caption) values (1, 'Colour?');"));
    for (const char* answer : {"red", "green", "blue"})
        ExecSQL(QStringLiteral("insert into answers (itemid, caption) values (1, '%1');").arg(answer));
    ExecSQL(QStringLiteral("insert into variables (id, caption, start) values (1, 'score', 0);"));
    for (const char* formula : {"if(item1=2,5,0)", "if(item1=9,5,0)", "if(item8=1,2,0)"})
        ExecSQL(QStringLiteral("insert into formula (varid, formula) values (1, '%1');").arg(formula));
    const RowSet ids = SelectToVariant(QStringLiteral("select autoid from formula order by autoid;"));
    ASSERT_EQ(ids.rows(), 3);
    const int faultyCondition = ids.integer(1, 0);
    const int missingQuestion = ids.integer(2, 0);

    TForm7 form;
    DialogScript script;
    for (int i = 0; i < 3; ++i)
        script.answerQuestion(true);
    form.formulaDebug->trigger();

    const QString log = form.editor->toPlainText();
    EXPECT_TRUE(log.startsWith(QStringLiteral("\nSome of the formulas contain errors!\n"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("if(item1=9,5,0) --> Answer reference out of range."))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("if(item8=1,2,0) --> Item reference out of range."))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("if(item8=1,2,0) --> Item not exists: item8"))) << log.toStdString();
    EXPECT_FALSE(log.contains(QStringLiteral("if(item1=2,5,0)"))) << log.toStdString();
    ASSERT_EQ(script.texts().size(), 4) << script.texts().join(u'|').toStdString();
    EXPECT_EQ(script.texts()[2], QStringLiteral("Number of formulas to delete: 2\r\n\r\nDelete selected records?"));
    EXPECT_EQ(script.texts()[3], QStringLiteral("Records deleted: 2"));

    const RowSet left = SelectToVariant(QStringLiteral("select formula from formula;"));
    ASSERT_EQ(left.rows(), 1);
    EXPECT_EQ(left.text(0, 0), QStringLiteral("if(item1=2,5,0)"));
    EXPECT_TRUE(SelectToVariant(QStringLiteral("select autoid from formula where autoid in (%1,%2);")
                                    .arg(faultyCondition)
                                    .arg(missingQuestion))
                    .isNull());
}

TEST_F(LogWindowOnATest, DebugFormulaDeletesNothingOnNo)
{
    MakeTestFile(QStringLiteral("keep.mdb"), 9, true);
    ExecSQL(QStringLiteral("insert into variables (id, caption, start) values (1, 'score', 0);"));
    ExecSQL(QStringLiteral("insert into formula (varid, formula) values (1, 'var7+1');"));
    TForm7 form;
    DialogScript script;
    script.answerQuestion(true);
    script.answerQuestion(false);
    form.formulaDebug->trigger();
    EXPECT_TRUE(form.editor->toPlainText().contains(QStringLiteral("var7+1 -->"))) << form.editor->toPlainText().toStdString();
    EXPECT_EQ(SelectToVariant(QStringLiteral("select count(*) from formula;")).integer(0, 0), 1);
}

TEST(LogWindow, HelpMenuAndF1OpenTheLogTopic)
{
    const WindowInstance<TForm1> form1(Form1);
    gHelpFile = QStringLiteral(QT_TESTCASE_SOURCEDIR "/../help");
    DialogScript script;
    TForm7 form;
    form.show();
    form.Help->trigger();
    HelpWindow* help = shownTopLevel<HelpWindow>();
    ASSERT_NE(help, nullptr) << script.lastText().toStdString();
    EXPECT_TRUE(help->browser->toPlainText().contains(QStringLiteral("The log window")));
    help->close();
    ASSERT_EQ(shownTopLevel<HelpWindow>(), nullptr);

    form.editor->setFocus();
    QTest::keyClick(form.editor, Qt::Key_F1);
    help = shownTopLevel<HelpWindow>();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->browser->toPlainText().contains(QStringLiteral("The log window")));
    EXPECT_TRUE(script.shown().empty()) << script.lastText().toStdString();
}

TEST(LogWindow, LooksRightOnScreen)
{
    TForm7 form;
    form.AddLogTitle(1, QStringLiteral("Test validation"), Qt::AlignHCenter, 14, true, false, Qt::darkBlue);
    form.ResetLogFormat();
    form.AddLogLine(QStringLiteral("Question 3:\tno answers"), 10, false, false, Qt::red);
    form.AddLogLine(QStringLiteral("Variable 2:\tno formula"), 10, false, true, Qt::black);
    form.ResetLogFormat();
    form.AddLine(QStringLiteral("plain record line"));
    form.show();
    const QString out = qEnvironmentVariable("KELVO_SCREENSHOT_DIR");
    if (!out.isEmpty())
        form.grab().save(QDir(out).filePath(QStringLiteral("log_window.png")));
    EXPECT_FALSE(form.grab().isNull());
}
