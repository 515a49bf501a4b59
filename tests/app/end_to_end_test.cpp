// The whole road of a test, through the windows and the keys an author and a respondent
// use: the author writes a test on the editor's pages (questions added by the grid's
// insert key and by the navigator, answers, a data field, one variable typed in the
// formula editor and one made with the formula builder, keyboard keys, screen texts,
// fonts, colours, the timer, a typed answer, an account), clones a formula, saves, opens the file again
// through the login dialog and locks it; a respondent takes it twice; the results are
// read, edited, re-scored with a changed formula and exported in every format the
// export window offers, each file read back by a reader Kelvo did not write. Every
// computed value is checked against one worked out by hand.
#include "dataaware/data_check_box.h"
#include "dataaware/data_line_edit.h"
#include "dataaware/data_memo.h"
#include "editor/admin_account_window.h"
#include "editor/captions_editor_window.h"
#include "editor/clone_window.h"
#include "editor/formula_builder_window.h"
#include "editor/formula_editor_window.h"
#include "results/export_window.h"
#include "results/posterior_analysis_window.h"
#include "results/results_editor_window.h"
#include "tests/editor/pages_fixture.h"
#include "tests/engine/export_reading.h"
#include "ui/color_dialog.h"
#include "ui/font_dialog.h"
#include "ui/log_window.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFontDialog>
#include <QLabel>
#include <QMimeData>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>

#include <map>
#include <memory>

namespace kelvo::testing {
namespace {

using exporting::testing::readParadox;
using exporting::testing::readWithPython;
using exporting::testing::Rows;
using exporting::testing::runProgram;
using exporting::testing::shellQuoted;

// A caption with the characters that break quoted SQL and C strings. The NUL reaches the
// edit by a paste, as no key types it.
const QString kTrickyTyped = QStringLiteral("Smoke \"now\"; or 'later'?");
const QString kNul = QString(QChar(u'\0'));

const QString kEndQuestion = QStringLiteral("All done; end the test?");
const QString kAdministrator = QStringLiteral("boss");
const QString kAdministratorPassword = QStringLiteral("s3cret");

// The answers a respondent gives, by question id, as answer positions (from 1).
// A question missing from `chosen` is answered by typing `typed` into its last answer.
struct Respondent {
    QString age;
    std::map<int, int> chosen;
    QString typed;
};

const Respondent kFirst{QStringLiteral("16"), {{1, 1}, {2, 1}, {3, 1}, {4, 1}}, {}};
const Respondent kSecond{QStringLiteral("9"), {{1, 2}, {2, 2}, {3, 2}}, QStringLiteral("Water")};

// var1 = 0 + if(item2=1,4)*2.5+1+sqrt(data1), worked out by hand; after the offset is
// changed to 2, and run 1's age to 25, it is 10 + 2 + 5.
constexpr double kVar1First = 4 * 2.5 + 1 + 4;   // 15
constexpr double kVar1Second = 0 * 2.5 + 1 + 3;  // 4
constexpr double kVar1Rescored = 4 * 2.5 + 2 + 5;
// var2 starts at 1 and adds 3 for the first answer of question 3 and, by the cloned
// formula, of question 4; the second run gives it 1, its start value.
constexpr double kVar2First = 1 + 3 + 3;

class EndToEnd : public PagesFixture {
protected:
    void SetUp() override
    {
        qputenv("XDG_DATA_HOME", dir.filePath("data").toUtf8());
        // The program as it starts: the main window, and the editor behind its Create
        // button.
        Form1->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Form1));
        // A window that waits for an answer the road never gives would hold the test
        // until CTest gives up: past the time limit every modal window is closed and the
        // test fails, naming it.
        watchdog_.setInterval(1000);
        QObject::connect(&watchdog_, &QTimer::timeout, &watchdog_, [this] {
            if (++seconds_ < kTimeLimitSeconds)
                return;
            if (QWidget* modal = QApplication::activeModalWidget()) {
                ADD_FAILURE() << "a window waits for an answer: " << modal->metaObject()->className() << " "
                              << modal->windowTitle().toStdString();
                modal->close();
            }
        });
        watchdog_.start();
    }

public:
    using Step = void (EndToEnd::*)();
    using Steps = std::vector<std::pair<const char*, Step>>;

    // Runs `steps` in order, each named in a failure, up to the first fatal one.
    void Run(const Steps& steps)
    {
        for (const auto& [name, step] : steps) {
            SCOPED_TRACE(name);
            // The person comes back to the editor when a window opened from it closes.
            if (Form3->isVisible()) {
                Form3->activateWindow();
                EXPECT_TRUE(QTest::qWaitForWindowActive(Form3));
            }
            (this->*step)();
            if (HasFatalFailure())
                return;
        }
    }

    // Opens the editor with the main window's Create button, runs `steps` in it and
    // closes it, which saves its Properties page.
    void InEditor(const Steps& steps)
    {
        bool opened = false;
        answerModal<TForm3>([&](TForm3* editor) {
            opened = true;
            editor->resize(1000, 700);
            EXPECT_TRUE(QTest::qWaitForWindowActive(editor));
            Run(steps);
            editor->close();
        });
        ClickButton(Form1->btnCreate);
        ASSERT_TRUE(opened);
        ASSERT_FALSE(Form3->isVisible());
    }

protected:

    // --- helpers ----------------------------------------------------------------------

    static void Paste(QWidget* target, const QString& text)
    {
        QApplication::clipboard()->setText(text);
        QTest::keyClick(target, Qt::Key_V, Qt::ControlModifier);
    }

    // The visible cell editor of `grid`, or none.
    static QLineEdit* CellEditor(DataGrid& grid)
    {
        for (QLineEdit* editor : grid.viewport()->findChildren<QLineEdit*>())
            if (editor->isVisible())
                return editor;
        return nullptr;
    }

    // Types `text` into the caption of the grid's current row, which a key or button has
    // just inserted, and posts it with Enter.
    static void TypeIntoNewRow(DataGrid& grid, int column, const QString& text)
    {
        const int row = grid.currentIndex().row();
        ASSERT_GE(row, 0) << "no current row";
        TypeCell(grid, row, column, text);
    }

    static QString GridText(const DataGrid& grid)
    {
        QStringList rows;
        for (int r = 0; r < grid.model()->rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < grid.model()->columnCount(); ++c)
                cells << Shown(grid, r, c);
            rows << cells.join(u'|');
        }
        return rows.join(QStringLiteral("; "));
    }

    // What the file holds in every table an author writes.
    QString Snapshot() const
    {
        QStringList parts;
        for (const char* sql : {"select id, caption, editcap from items order by id;",
                                "select id, itemid, caption from answers order by id;",
                                "select id, caption, ftype, posit from userf order by id;",
                                "select id, caption, cumul, start, decnum from variables order by id;",
                                "select autoid, varid, formula from formula order by autoid;",
                                "select id, k from keyb order by id;", "select id, v from testd order by id;",
                                "select usr, pas, act, per0, per1, per2, per3, per4, per5 from users order by usr;"})
            parts << FileHolds(QString::fromUtf8(sql));
        return parts.join(u'\n');
    }

    // What the editor's pages show.
    QString PagesShow()
    {
        QStringList shown;
        ShowPage(Form3->Sheet1);
        shown << GridText(*Form3->dbg);
        ShowPage(Form3->Sheet5);
        shown << GridText(*Form3->dbg4);
        ShowPage(Form3->Sheet3);
        shown << GridText(*Form3->dbg2);
        ShowPage(Form3->Sheet6);
        shown << GridText(*Form3->dbg7);
        ShowPage(Form3->Sheet7);
        shown << GridText(*Form3->dbg5);
        ShowPage(Form3->Sheet9);
        shown << GridText(*Form3->dbg6);
        shown << QStringLiteral("timer %1 %2 %3")
                     .arg(Form3->chTimerEnabled->isChecked())
                     .arg(Form3->udTimer->value())
                     .arg(Form3->udTimer->isEnabled());
        shown << QStringLiteral("keyboard %1").arg(Form3->chKeyBoard->isChecked());
        return shown.join(u'\n');
    }

    static void ClickButton(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

    // Clicks the middle of `widget` where the mouse would land: on the innermost child
    // there (a spin box's text, say).
    static QWidget* ClickInto(QWidget* widget)
    {
        const QPoint middle = widget->rect().center();
        QWidget* under = widget->childAt(middle);
        QWidget* target = under ? under : widget;
        QTest::mouseClick(target, Qt::LeftButton, {}, target->mapFrom(widget, middle));
        EXPECT_TRUE(target->hasFocus()) << "a click does not give the focus";
        return target;
    }

    // Picks the entry `text` of a list with the arrow keys, as a person does.
    static void Choose(QComboBox* list, const QString& text)
    {
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Home);
        for (int k = 0; k < list->count() && list->currentText() != text; ++k)
            QTest::keyClick(list, Qt::Key_Down);
        ASSERT_EQ(list->currentText(), text);
        QCoreApplication::processEvents();
    }

    static QString Setting(int id)
    {
        return SelectToVariant(QStringLiteral("select v from testd where id = %1;").arg(id)).text(0, 0);
    }

    static QStringList Formulas(int variable)
    {
        QStringList formulas;
        const RowSet rows =
            SelectToVariant(QStringLiteral("select formula from formula where varid = %1 order by autoid;").arg(variable));
        for (int r = 0; r < rows.rows(); ++r)
            formulas << rows.text(r, 0);
        return formulas;
    }

    // Presses a key where the respondent's focus is.
    static void Press(TForm2* window, Qt::Key key)
    {
        QWidget* focus = QApplication::focusWidget();
        QTest::keyClick(focus && focus->window() == window ? focus : window, key);
    }

    static QString QuestionShown(TForm2* window)
    {
        auto* caption = window->findChild<QLabel*>(QStringLiteral("dbt"));
        return caption ? caption->text() : QString();
    }

public:
    // --- the author's steps -----------------------------------------------------------

    void WriteQuestions()
    {
        ShowPage(Form3->Sheet1);
        // The sample question takes the quote, the semicolon and the NUL.
        QLineEdit* editor = OpenCell(*Form3->dbg, 0, 1);
        ASSERT_NE(editor, nullptr);
        editor->selectAll();
        Type(*editor, kTrickyTyped);
        Paste(editor, kNul + QStringLiteral("!"));
        const QString typed = editor->text();
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents();
        const QString stored = FileHolds("select caption from items where id = 1;");
        if (script.texts().isEmpty()) {
            EXPECT_EQ(stored, typed) << "stored otherwise than typed, and nothing said";
        } else {
            EXPECT_TRUE(stored.startsWith(QStringLiteral("This is first question"))) << stored.toStdString();
        }
        script.clear();

        // A question by the grid's own insert key, one by the navigator's insert button,
        // one by Ctrl+Insert.
        ClickCell(*Form3->dbg, 0, 1);
        QTest::keyClick(Form3->dbg, Qt::Key_Insert);
        TypeIntoNewRow(*Form3->dbg, 1, QStringLiteral("Do you drink coffee?"));
        ClickButton(Form3->nav->button(NavigatorButton::Insert));
        TypeIntoNewRow(*Form3->dbg, 1, QStringLiteral("Wo wohnen Sie? Где вы живёте?"));
        ClickCell(*Form3->dbg, 0, 1);
        Ctrl(Form3->dbg, Qt::Key_Insert);
        TypeIntoNewRow(*Form3->dbg, 1, QStringLiteral("Tea or coffee?"));
        EXPECT_TRUE(script.texts().isEmpty()) << script.texts().join(" | ").toStdString();
        EXPECT_EQ(FileHolds("select id, caption from items where id > 1 order by id;"),
                  QStringLiteral("2|Do you drink coffee?; 3|Wo wohnen Sie? Где вы живёте?; 4|Tea or coffee?"));
    }

    void WriteAnswers()
    {
        ShowPage(Form3->Sheet2);
        const std::map<int, QStringList> answers{
            {2, {QStringLiteral("Yes"), QStringLiteral("No")}},
            {3, {QStringLiteral("Köln"), QStringLiteral("Москва")}},
            {4, {QStringLiteral("Tea"), QStringLiteral("Coffee"), QStringLiteral("Neither; \"water\"")}}};
        for (const auto& [question, captions] : answers) {
            ClickQuestionNode(question);
            ASSERT_FALSE(HasFatalFailure());
            for (const QString& caption : captions)
                AddRow(*Form3->dbg1, 0, QStringLiteral("  ") + caption + QStringLiteral(" "));
        }
        EXPECT_TRUE(script.texts().isEmpty()) << script.texts().join(" | ").toStdString();
        EXPECT_EQ(FileHolds("select itemid, caption from answers where itemid > 1 order by id;"),
                  QStringLiteral("2|Yes; 2|No; 3|Köln; 3|Москва; 4|Tea; 4|Coffee; 4|Neither; \"water\""));
    }

    void WriteDataFieldAndVariables()
    {
        ShowPage(Form3->Sheet5);
        AddRow(*Form3->dbg4, 0, QStringLiteral("Your age"), {{1, QStringLiteral(" Integer ")}});
        ShowPage(Form3->Sheet3);
        AddRow(*Form3->dbg2, 0, QStringLiteral("Score"), {{2, QStringLiteral("0")}});
        AddRow(*Form3->dbg2, 0, QStringLiteral("Coffee points"), {{2, QStringLiteral("1")}});
        EXPECT_TRUE(script.texts().isEmpty()) << script.texts().join(" | ").toStdString();
        EXPECT_EQ(FileHolds("select id, caption, ftype, posit from userf;"), QStringLiteral("1|Your age|integer|1"));
        EXPECT_EQ(FileHolds("select id, caption, start from variables order by id;"),
                  QStringLiteral("1|Score|0; 2|Coffee points|1"));
    }

    // var1 is typed in the formula editor; the quote, the semicolon and the NUL are
    // either stored exactly or refused with a message.
    void TypeFormula()
    {
        ShowPage(Form3->Sheet3);
        ClickCell(*Form3->dbg2, 0, 0);
        QStringList refusals;
        bool opened = false;
        answerModal<TForm6>([&](TForm6* editor) {
            opened = true;
            editor->trialAnswerSeed = 5;
            QTest::keyClick(editor->memo, Qt::Key_Insert, Qt::ControlModifier);
            QTest::keyClicks(editor->memo, QStringLiteral("IF(item2 = 1, 4) * 2.5"));
            QTest::keyClick(editor->memo, Qt::Key_Return);
            QTest::keyClicks(editor->memo, QStringLiteral("+ 1 + sqrt(data1)"));
            QTest::keyClick(editor->memo, Qt::Key_S, Qt::ControlModifier);
            EXPECT_TRUE(script.texts().isEmpty()) << script.texts().join(" | ").toStdString();
            for (const QString& bad : {QStringLiteral("if(item2=1,'4')"), QStringLiteral("1;2"),
                                       QStringLiteral("1+") + kNul + QStringLiteral("2")}) {
                script.clear();
                QTest::keyClick(editor->memo, Qt::Key_Insert, Qt::ControlModifier);
                Paste(editor->memo, bad);
                QTest::keyClick(editor->memo, Qt::Key_S, Qt::ControlModifier);
                const QStringList stored = Formulas(1);
                if (script.texts().isEmpty()) {
                    // Stored as the editor normalises every formula, and shown so.
                    ASSERT_EQ(stored.size(), 2) << "nothing said and nothing stored for " << bad.toStdString();
                    EXPECT_EQ(stored[1], editor->memo->toPlainText());
                    EXPECT_FALSE(stored[1].contains(kNul));
                    stored_ << stored[1];
                    QTest::keyClick(editor->memo, Qt::Key_Delete, Qt::ControlModifier);
                } else {
                    refusals << script.texts().join(QStringLiteral(" / "));
                    EXPECT_EQ(stored.size(), 1) << "refused, yet stored: " << stored.join(" | ").toStdString();
                    QTest::keyClick(editor->memo, Qt::Key_C, Qt::ControlModifier);
                }
            }
            editor->close();
        });
        ClickButton(Form3->btnEditor);
        ASSERT_TRUE(opened);
        EXPECT_EQ(Formulas(1), QStringList{QStringLiteral("if(item2=1,4)*2.5+1+sqrt(data1)")});
        refusals_ = refusals;
        // The quote is refused by the editor's own rule, the semicolon by the trial
        // compile; the NUL goes the way of the blanks the editor removes.
        EXPECT_EQ(refusals_.value(0), QStringLiteral("This character is forbidden in formula: '\r\n\r\n"));
        EXPECT_TRUE(refusals_.value(1).contains(QStringLiteral("\"1;2\""))) << refusals_.value(1).toStdString();
        EXPECT_EQ(stored_, QStringList{QStringLiteral("1+2")});
        script.clear();
    }

    // var2 is made with the formula builder: answer 1 of question 3 dropped on the
    // formula tree with the value 3.
    void BuildFormula()
    {
        ShowPage(Form3->Sheet3);
        ClickCell(*Form3->dbg2, 1, 0);
        bool opened = false;
        answerModal<TForm5>([&](TForm5* builder) {
            opened = true;
            QTest::keyClick(builder, Qt::Key_T, Qt::ControlModifier);
            QTest::keyClicks(builder->editTrue, QStringLiteral("3"));
            QTreeWidgetItem* question = nullptr;
            for (int k = 0; k < builder->tree1->topLevelItemCount(); ++k)
                if (builder->tree1->topLevelItem(k)->text(0) == QStringLiteral("item3"))
                    question = builder->tree1->topLevelItem(k);
            ASSERT_NE(question, nullptr);
            question->setExpanded(true);
            QTreeWidgetItem* answer = question->child(0);
            builder->tree1->scrollToItem(answer);
            QTest::mouseClick(builder->tree1->viewport(), Qt::LeftButton, {},
                              builder->tree1->visualItemRect(answer).center());
            const std::unique_ptr<QMimeData> data(builder->tree1->dragData());
            QWidget* viewport = builder->tree2->viewport();
            const QPoint at(5, viewport->height() - 3);
            QDragEnterEvent enter(at, Qt::CopyAction, data.get(), Qt::LeftButton, {});
            QApplication::sendEvent(viewport, &enter);
            QDragMoveEvent move(at, Qt::CopyAction, data.get(), Qt::LeftButton, {});
            QApplication::sendEvent(viewport, &move);
            EXPECT_TRUE(move.isAccepted());
            QDropEvent drop(QPointF(at), Qt::CopyAction, data.get(), Qt::LeftButton, {});
            QApplication::sendEvent(viewport, &drop);
            builder->close();
        });
        ClickButton(Form3->btnFormula);
        ASSERT_TRUE(opened);
        EXPECT_EQ(Formulas(2), QStringList{QStringLiteral("if(item3=1,3)")});
    }

    // The formula of question 3 is cloned to question 4 with the clone window.
    void CloneFormula()
    {
        ShowPage(Form3->Sheet3);
        script.answerQuestion(true);
        bool opened = false;
        answerModal<TForm4>([&](TForm4* clone) {
            opened = true;
            EXPECT_EQ(clone->comboMain->currentIndex(), 2);
            Choose(clone->combo, QStringLiteral("item3"));
            Choose(clone->combo2, QStringLiteral("var2"));
            QTableWidgetItem* child = nullptr;
            for (QTableWidgetItem* cell : clone->grid->findItems(QStringLiteral("item4"), Qt::MatchExactly))
                child = cell;
            ASSERT_NE(child, nullptr);
            QTest::mouseClick(clone->grid->viewport(), Qt::LeftButton, {},
                              clone->grid->visualItemRect(child).center());
            ClickButton(clone->btnClone);
            clone->close();
        });
        ClickButton(Form3->Speed1);
        ASSERT_TRUE(opened);
        EXPECT_EQ(Formulas(2), (QStringList{QStringLiteral("if(item3=1,3)"), QStringLiteral("if(item4=1,3)")}));
        EXPECT_EQ(script.lastText(), QStringLiteral("Cloning of the formula is successfully completed!\r\n\r\nRecords inserted: 1"))
            << script.texts().join(" | ").toStdString();
        script.clear();
    }

    // A typed last answer, keys y and x for the first two answers, the end question's text, fonts, colours and
    // the timer.
    void SetProperties()
    {
        ShowPage(Form3->Sheet8);
        EXPECT_FALSE(Form3->udTimer->isEnabled()) << "the test time is editable while the timer is off";
        ClickBox(Form3->chTimerEnabled);
        ASSERT_TRUE(Form3->udTimer->isEnabled());
        QWidget* time = ClickInto(Form3->udTimer);
        QTest::keyClicks(time, QStringLiteral("120"));
        QTest::keyClick(time, Qt::Key_Tab);
        EXPECT_EQ(Form3->udTimer->value(), 120);

        // The keyboard is on in a new test; its box writes its row at once.
        ASSERT_TRUE(Form3->chKeyBoard->isChecked());
        // Question 4's last answer is typed by the respondent.
        ClickBox(Form3->chEditQuestion);
        bool captions = false;
        answerModal<TForm10>([&](TForm10* window) {
            captions = true;
            EXPECT_TRUE(QTest::qWaitForWindowActive(window));
            TypeCell(*window->dbg, 3, 1, QStringLiteral("Something else:"));
            window->close();
        });
        ClickButton(Form3->editcap);
        ASSERT_TRUE(captions);
        EXPECT_EQ(FileHolds("select id, editcap from items where editcap <> '' order by id;"),
                  QStringLiteral("4|Something else:"));

        ClickBox(Form3->chKeyBoard);
        EXPECT_EQ(Setting(-19), QStringLiteral("false"));
        EXPECT_FALSE(Form3->Sheet6->isEnabled());
        ClickBox(Form3->chKeyBoard);
        EXPECT_EQ(Setting(-19), QStringLiteral("true"));
        ShowPage(Form3->Sheet6);
        TypeCell(*Form3->dbg7, 0, 1, QStringLiteral("y"));
        // "n" belongs to answer 23 already: refused, and the stored key comes back.
        TypeCell(*Form3->dbg7, 1, 1, QStringLiteral("n"));
        EXPECT_EQ(script.texts(), QStringList{QStringLiteral(
                                      "This key keyboard already exists within the table!\r\n\r\nSelect another key "
                                      "keyboard!")});
        EXPECT_EQ(Shown(*Form3->dbg7, 1, 1), QStringLiteral("2"));
        QTest::keyClick(Form3->dbg7, Qt::Key_Escape);
        script.clear();
        TypeCell(*Form3->dbg7, 1, 1, QStringLiteral("x"));
        EXPECT_EQ(FileHolds("select id, k from keyb where id < 3 order by id;"), QStringLiteral("1|y; 2|x"));

        ShowPage(Form3->Sheet7);
        TypeCell(*Form3->dbg5, 7, 1, kEndQuestion);
        EXPECT_EQ(Setting(8), kEndQuestion);

        ShowPage(Form3->Sheet8);
        answerModal<FontDialog>([](FontDialog* dialog) {
            QFont font(QStringLiteral("DejaVu Sans"), 14);
            font.setBold(true);
            dialog->fontChooser->setCurrentFont(font);
            Choose(dialog->colorChoice->names, QStringLiteral("clBlue"));
            ClickButton(dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok));
        });
        ClickButton(Form3->speed10);
        EXPECT_EQ(Setting(-5), QStringLiteral("DejaVu Sans;clBlue;14;1;0;0;0;"));
        answerModal<ColorDialog>([](ColorDialog* dialog) {
            Choose(dialog->choice->names, QStringLiteral("clYellow"));
            ClickButton(dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok));
        });
        ClickButton(Form3->speed13);
        EXPECT_EQ(Setting(-8), QStringLiteral("clYellow"));
        EXPECT_TRUE(script.texts().isEmpty()) << script.texts().join(" | ").toStdString();
    }

    // An account that may only run the test, and the administrator renamed with user
    // identification on, so that opening asks who is there.
    void SetAccounts()
    {
        ShowPage(Form3->Sheet9);
        ClickButton(Form3->nav6->button(NavigatorButton::Insert));
        QTest::keyClicks(ClickInto(Form3->DBEdit1), QStringLiteral("ann"));
        QTest::keyClicks(ClickInto(Form3->DBEdit2), QStringLiteral("pw 1"));
        // A new account is active and may run the test; it may also view results.
        EXPECT_TRUE(Form3->dbCheck->isChecked());
        EXPECT_TRUE(Form3->dbcheck1->isChecked());
        ClickBox(Form3->dbcheck2);
        ClickButton(Form3->nav6->button(NavigatorButton::Post));
        EXPECT_EQ(FileHolds("select usr, pas, act, per0, per1, per2, per3, per4, per5 from users where usr = 'ann';"),
                  QStringLiteral("ann|pw 1|true|false|true|true|false|false|false"));

        script.answerQuestion(true);
        answerModal<TForm11>([](TForm11* dialog) {
            for (QLineEdit* edit : {dialog->Edit1, dialog->Edit2, dialog->Edit3})
                edit->clear();
            QTest::keyClicks(dialog->Edit1, kAdministrator);
            QTest::keyClicks(dialog->Edit2, kAdministratorPassword);
            QTest::keyClicks(dialog->Edit3, kAdministratorPassword);
            ClickBox(dialog->chIdentification);
            ClickButton(dialog->btn2);
        });
        ClickButton(Form3->speed9);
        EXPECT_EQ(FileHolds("select usr, pas from users where per0 = true;"),
                  kAdministrator + u'|' + kAdministratorPassword);
        EXPECT_EQ(Setting(-14), QStringLiteral("true"));
        script.clear();
    }

    void CreateTest()
    {
        path = NewTest();
        EXPECT_TRUE(MainWindowNames(QFileInfo(path).fileName())) << "the main window does not name the open test";
    }

    // The main window names the open test in its caption or its status.
    static bool MainWindowNames(const QString& name)
    {
        if (Form1->windowTitle().contains(name))
            return true;
        for (const QLabel* label : Form1->findChildren<QLabel*>())
            if (label->text().contains(name))
                return true;
        for (const QStatusBar* status : Form1->findChildren<QStatusBar*>())
            if (status->currentMessage().contains(name))
                return true;
        return false;
    }

    // The editor is about to close: what its pages show now must come back.
    void NoteWhatThePagesShow() { pagesShown_ = PagesShow(); }

    // After the editor closed: what it saved.
    void NoteWhatTheFileHolds()
    {
        fileHeld_ = Snapshot();
        EXPECT_EQ(FileHolds("select v from testd where id = -12;"), QStringLiteral("120"));
        EXPECT_EQ(FileHolds("select v from testd where id = -13;"), QStringLiteral("true"));
    }

    void OpenThroughTheLoginDialog()
    {
        // The limited account may neither lock nor see the accounts.
        OpenWithLogin(path, QStringLiteral("ann"), QStringLiteral("pw 1"));
        EXPECT_FALSE(AdministratorPageShown());
        EXPECT_FALSE(Form3->btnLock->isEnabled());
        OpenWithLogin(path, kAdministrator, kAdministratorPassword);
        EXPECT_TRUE(Form3->btnLock->isEnabled());
        EXPECT_TRUE(script.texts().isEmpty()) << script.texts().join(" | ").toStdString();
        ASSERT_TRUE(AdministratorPageShown());
        EXPECT_EQ(Snapshot(), fileHeld_);
        EXPECT_EQ(PagesShow(), pagesShown_);
        script.clear();
    }

    void Lock()
    {
        Form3->trialAnswerSeed = 7;
        // Validation lists what it finds in the log window: here only that the keys of
        // the answers cannot be typed into a typed answer.
        QString listed;
        answerModal<TForm7>([&](TForm7* log) {
            listed = log->editor->toPlainText();
            log->reject();
        });
        ClickButton(Form3->btnLock);
        EXPECT_TRUE(listed.contains(QStringLiteral("the following characters can NOT be used within the editable "
                                                   "answers: \n\ny\nx\n3")))
            << listed.toStdString();
        EXPECT_TRUE(script.texts().contains(QStringLiteral(
            "Kelvo test is valid!\r\n\r\nValidation of Kelvo test was successfully completed without error.\r\n\r\n"
            "Your test is locked and ready for use.")))
            << script.texts().join(" | ").toStdString();
        EXPECT_EQ(Setting(0), QStringLiteral("true"));
        script.clear();
    }

    // --- the respondent's steps -------------------------------------------------------

    void TakeRun(const Respondent& respondent)
    {
        script.answerQuestion(true);  // the end question
        bool taken = false;
        answerModal<TForm2>([&](TForm2* window) {
            taken = true;
            EXPECT_TRUE(QTest::qWaitForWindowActive(window));
            auto* age = window->findChild<QLineEdit*>(QStringLiteral("data1"));
            ASSERT_NE(age, nullptr);
            QTest::keyClicks(age, respondent.age);
            ClickButton(window->btnInstruction);
            // What the author set: the caption as stored, its font and colour, the
            // question page's colour, the timer.
            EXPECT_EQ(QuestionShown(window), FileHolds("select caption from items where id = 1;"));
            EXPECT_EQ(window->dbt->font().family(), QStringLiteral("DejaVu Sans"));
            EXPECT_EQ(window->dbt->font().pointSize(), 14);
            EXPECT_TRUE(window->dbt->font().bold());
            EXPECT_EQ(window->dbt->palette().color(QPalette::WindowText), QColor(Qt::blue));
            EXPECT_EQ(window->panel3->content()->palette().color(QPalette::Window), QColor(Qt::yellow));
            EXPECT_TRUE(window->timer->isActive());
            for (const auto& [question, position] : respondent.chosen) {
                SCOPED_TRACE(QStringLiteral("question %1").arg(question).toStdString());
                // Answers 1 and 2 by their keys, the others by a click.
                if (position == 1)
                    Press(window, Qt::Key_Y);
                else if (position == 2)
                    Press(window, Qt::Key_X);
                else
                    ClickButton(window->findChild<QAbstractButton*>(QStringLiteral("answer%1").arg(position - 1)));
            }
            if (!respondent.typed.isEmpty()) {
                // Question 4's last answer is typed: its edit takes the focus.
                EXPECT_EQ(QuestionShown(window), QStringLiteral("Tea or coffee?"));
                auto* edit = window->findChild<QLineEdit*>(QStringLiteral("answer_2"));
                ASSERT_NE(edit, nullptr);
                EXPECT_TRUE(edit->hasFocus());
                Type(*edit, respondent.typed);
                Press(window, Qt::Key_PageDown);
            }
            if (!QTest::qWaitFor([window] { return !window->isVisible(); }, 3000)) {
                ADD_FAILURE() << "the run did not end: " << QuestionShown(window).toStdString();
                window->done(QDialog::Rejected);
            }
        });
        ASSERT_TRUE(Form1->btnTest->isEnabled());
        ClickButton(Form1->btnTest);
        ASSERT_TRUE(taken);
        EXPECT_EQ(script.texts().value(0), kEndQuestion) << script.texts().join(" | ").toStdString();
        script.clear();
    }

    void TakeTwoRuns()
    {
        TakeRun(kFirst);
        if (HasFatalFailure())
            return;
        TakeRun(kSecond);
        EXPECT_EQ(FileHolds("select dataf.id, data1, item1, item2, item3, item4 from dataf, datai1 "
                            "where dataf.id = datai1.id order by dataf.id;"),
                  caption1Answer(1) + QStringLiteral("; ") + caption1Answer(2));
    }

    QString caption1Answer(int run) const
    {
        return run == 1 ? QStringLiteral("1|16|This is 1. answer on first question your test..|Yes|Köln|Tea")
                        : QStringLiteral("2|9|This is 2. answer on first question your test..|No|Москва|Water");
    }

protected:
    // --- the results ------------------------------------------------------------------

    // The results window's cells of run `id` by column title.
    static std::map<QString, QString> ShownRun(TForm13* window, const QString& id)
    {
        std::map<QString, QString> cells;
        const QAbstractItemModel& model = *window->grid->model();
        for (int r = 0; r < model.rowCount(); ++r) {
            if (model.index(r, 0).data().toString() != id)
                continue;
            for (int c = 0; c < model.columnCount(); ++c)
                cells[model.headerData(c, Qt::Horizontal).toString()] = model.index(r, c).data().toString();
        }
        return cells;
    }

    static double Number(const QString& text)
    {
        bool ok = false;
        const double value = text.toDouble(&ok);
        return ok ? value : -1e300;
    }

public:
    void ReadResults()
    {
        ASSERT_TRUE(Form1->btnResult->isEnabled());
        bool shown = false;
        answerModal<TForm13>([&](TForm13* window) {
            shown = true;
            EXPECT_TRUE(window->toolVariables->isChecked());
            EXPECT_TRUE(window->toolFields->isChecked());
            const auto first = ShownRun(window, QStringLiteral("1"));
            const auto second = ShownRun(window, QStringLiteral("2"));
            EXPECT_DOUBLE_EQ(Number(first.count("var1") ? first.at("var1") : QString()), kVar1First);
            EXPECT_DOUBLE_EQ(Number(first.count("var2") ? first.at("var2") : QString()), kVar2First);
            EXPECT_DOUBLE_EQ(Number(second.count("var1") ? second.at("var1") : QString()), kVar1Second);
            // With "Start value to null" on, as in a new test, a value equal to its
            // variable's start value is stored as Null.
            EXPECT_EQ(second.count("var2") ? second.at("var2") : QStringLiteral("<no column>"), QString());
            EXPECT_EQ(first.count("data1") ? first.at("data1") : QString(), QStringLiteral("16"));
            EXPECT_EQ(second.count("item3") ? second.at("item3") : QString(), QStringLiteral("Москва"));
            EXPECT_EQ(second.count("item4") ? second.at("item4") : QString(), QStringLiteral("Water"));
            window->reject();
        });
        ClickButton(Form1->btnResult);
        ASSERT_TRUE(shown);
    }

protected:
    static void Choose(TForm15* editor, const QString& table) { Choose(editor->combo, table); }

    static int ColumnOf(TForm15* editor, const QString& name)
    {
        const QAbstractItemModel& model = *editor->dbg->model();
        for (int c = 0; c < model.columnCount(); ++c)
            if (model.headerData(c, Qt::Horizontal).toString() == name)
                return c;
        return -1;
    }

    static int RowOf(TForm15* editor, const QString& id)
    {
        const QAbstractItemModel& model = *editor->dbg->model();
        const int column = ColumnOf(editor, QStringLiteral("id"));
        for (int r = 0; r < model.rowCount(); ++r)
            if (model.index(r, column).data().toString() == id)
                return r;
        return -1;
    }

public:
    // Run 1's age becomes 25 and run 2 is deleted, in the stored-results editor opened
    // from the results window.
    void EditResults()
    {
        bool edited = false;
        answerModal<TForm13>([&](TForm13* window) {
            answerModal<TForm15>([&](TForm15* editor) {
                edited = true;
                Choose(editor, QStringLiteral("data fields"));
                const int row = RowOf(editor, QStringLiteral("1"));
                const int column = ColumnOf(editor, QStringLiteral("data1"));
                ASSERT_GE(row, 0);
                ASSERT_GE(column, 0);
                ClickCell(*editor->dbg, row, column);
                QTest::keyClick(editor->dbg, Qt::Key_F2);
                QLineEdit* typing = CellEditor(*editor->dbg);
                ASSERT_NE(typing, nullptr);
                typing->selectAll();
                QTest::keyClicks(typing, QStringLiteral("25"));
                QTest::keyClick(typing, Qt::Key_Return);
                QCoreApplication::processEvents();
                EXPECT_EQ(FileHolds("select data1 from dataf where id = 1;"), QStringLiteral("25"));

                Choose(editor, QStringLiteral("general data"));
                const int second = RowOf(editor, QStringLiteral("2"));
                ASSERT_GE(second, 0);
                ClickCell(*editor->dbg, second, 1);
                script.answerQuestion(true);
                QTest::keyClick(editor->dbg, Qt::Key_Delete, Qt::ControlModifier);
                editor->close();
            });
            ClickButton(window->toolModify);
            window->reject();
        });
        ClickButton(Form1->btnResult);
        ASSERT_TRUE(edited);
        EXPECT_EQ(FileHolds("select id, modified from datac order by id;"), QStringLiteral("1|true"));
        for (const char* table : {"dataf", "datai1", "datav1"})
            EXPECT_EQ(FileHolds(QStringLiteral("select id from %1 order by id;").arg(QString::fromUtf8(table))),
                      QStringLiteral("1"))
                << table;
        script.clear();
    }

    // The offset of var1's formula becomes 2; the test is unlocked for it and locked
    // again.
    void ChangeFormula()
    {
        ClickButton(Form3->btnLock);
        ASSERT_TRUE(Form3->PageControl->isEnabled());
        ShowPage(Form3->Sheet3);
        ClickCell(*Form3->dbg2, 0, 0);
        answerModal<TForm6>([&](TForm6* editor) {
            QTest::keyClick(editor->memo, Qt::Key_E, Qt::ControlModifier);
            editor->memo->selectAll();
            QTest::keyClicks(editor->memo, QStringLiteral("if(item2=1,4)*2.5+2+sqrt(data1)"));
            QTest::keyClick(editor->memo, Qt::Key_S, Qt::ControlModifier);
            editor->close();
        });
        ClickButton(Form3->btnEditor);
        EXPECT_EQ(Formulas(1), QStringList{QStringLiteral("if(item2=1,4)*2.5+2+sqrt(data1)")});
        Lock();
    }

    // The posterior analysis gives run 1 the new value.
    void Rescore()
    {
        bool analysed = false;
        answerModal<TForm13>([&](TForm13* window) {
            answerModal<TForm15>([&](TForm15* editor) {
                Choose(editor, QStringLiteral("variables 1 - 254"));
                ClickCell(*editor->dbg, RowOf(editor, QStringLiteral("1")), 0);
                answerModal<TForm19>([&](TForm19* dialog) {
                    analysed = true;
                    EXPECT_EQ(dialog->eStart->text(), QStringLiteral("1"));
                    EXPECT_EQ(dialog->eStop->text(), QStringLiteral("1"));
                    script.answerQuestion(true);
                    ClickButton(dialog->btnCompute);
                    QTest::keyClick(dialog, Qt::Key_Escape);
                });
                ClickButton(editor->aposterior);
                editor->close();
            });
            ClickButton(window->toolModify);
            window->reject();
        });
        ClickButton(Form1->btnResult);
        ASSERT_TRUE(analysed);
        EXPECT_TRUE(script.texts().contains(
            QStringLiteral("Posterior analysis successfully finished.\r\n\r\nNumber of records updated: 1")))
            << script.texts().join(" | ").toStdString();
        const RowSet values = SelectToVariant(QStringLiteral("select var1, var2 from datav1 where id = 1;"));
        EXPECT_DOUBLE_EQ(values.at(0, 0).toDouble(), kVar1Rescored);
        EXPECT_DOUBLE_EQ(values.at(0, 1).toDouble(), kVar2First);
        EXPECT_EQ(FileHolds("select aposterior from datac where id = 1;"), QStringLiteral("true"));
        script.clear();
    }

protected:
    // --- the export -------------------------------------------------------------------

    QString Out(const QString& name) const { return dir.filePath(QStringLiteral("out/") + name); }

    // Exports through the export window opened from the results window.
    void Export(const QString& filter, const QString& file)
    {
        bool exported = false;
        answerModal<TForm13>([&](TForm13* window) {
            answerModal<TForm14>([&](TForm14* exportWindow) {
                exported = true;
                script.answerFile(file, filter);
                ClickButton(exportWindow->btnExport);
                offered_ = script.offeredFilters();
                exportWindow->close();
            });
            ClickButton(window->toolExport);
            window->reject();
        });
        ClickButton(Form1->btnResult);
        EXPECT_TRUE(exported);
    }

public:
    void ExportEverywhere()
    {
        ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("out"))));
        const std::string age = "25";
        const std::string var1 = exporting::numberText(kVar1Rescored);
        const std::string var2 = exporting::numberText(kVar2First);

        // The file name's quote and semicolon are kept; a NUL is refused.
        const QString txt = Out(QStringLiteral("run's; results.txt"));
        Export(QStringLiteral("Text File (*.txt)"), txt);
        EXPECT_TRUE(script.texts().isEmpty()) << script.texts().join(" | ").toStdString();
        const Rows text = readWithPython("text", txt.toStdString());
        ExpectMainCells(text, "text", age, var1, var2);
        for (const QString& offered : offered_)
            offeredFormats_ << offered;

        Export(QStringLiteral("Text File (*.txt)"), Out(QStringLiteral("bad") + kNul + QStringLiteral(".txt")));
        EXPECT_TRUE(script.lastText().startsWith(QStringLiteral("There was error in exporting data!")))
            << "a file name with a NUL is neither written nor refused";
        script.clear();

        for (const QString& filter : offeredFormats_) {
            SCOPED_TRACE(filter.toStdString());
            const QString suffix = filter.section(QStringLiteral("*."), 1).chopped(1);
            const QString file = Out(QStringLiteral("r") + QString::number(offeredFormats_.indexOf(filter)) + u'.' + suffix);
            if (suffix == QStringLiteral("mdb"))
                engine::createDatabase(file, QString());
            if (suffix == QStringLiteral("txt"))
                continue;
            Export(filter, file);
            EXPECT_TRUE(script.texts().isEmpty()) << script.texts().join(" | ").toStdString();
            script.clear();
            const std::string name = file.toStdString();
            if (suffix == QStringLiteral("xlsx"))
                ExpectMainCells(readWithPython("xlsx", name), "xlsx", age, var1, var2);
            else if (suffix == QStringLiteral("xls"))
                ExpectMainCells(readWithPython("xls", name), "xls", age, var1, var2);
            else if (suffix == QStringLiteral("mdb")) {
                Rows rows = readWithPython("access", name, "Data");
                if (rows.size() > 1)
                    rows.erase(rows.begin() + 1);  // the column types
                ExpectMainCells(rows, "access", age, var1, var2);
            } else if (suffix == QStringLiteral("dbf")) {
                Rows rows = readWithPython("dbf", name);
                if (!rows.empty())
                    rows.pop_back();  // the encoding line
                ExpectMainCells(rows, "dbf", age, var1, var2);
            } else if (suffix == QStringLiteral("db")) {
                Rows rows = readParadox(name);
                if (!rows.empty())
                    rows.erase(rows.begin());  // the header's version and code page
                ExpectMainCells(rows, "paradox", age, var1, var2);
            } else if (suffix == QStringLiteral("wk3")) {
                const std::string csv = runProgram("wks2csv " + shellQuoted(name)).text;
                Rows rows = exporting::testing::splitCells(csv, '\n', ',');
                for (auto& row : rows)
                    for (auto& cell : row)
                        if (cell.size() >= 2 && cell.front() == '"' && cell.back() == '"')
                            cell = cell.substr(1, cell.size() - 2);
                // wks2csv's own column titles first, a blank line last.
                if (!rows.empty())
                    rows.erase(rows.begin());
                while (!rows.empty() && rows.back() == std::vector<std::string>{""})
                    rows.pop_back();
                ExpectMainCells(rows, "lotus", age, var1, var2);
            } else {
                ADD_FAILURE() << "no reader for " << filter.toStdString();
            }
        }
        for (const char* format : {"Text File (*.txt)", "Access (*.mdb)", "Lotus WK3 (*.wk3)", "dBase 5 (*.dbf)",
                                   "Paradox 5.x (*.db)", "Excel 1990 (*.xls)", "Excel 1997-2003 (*.xls)"})
            EXPECT_TRUE(offeredFormats_.contains(QString::fromUtf8(format))) << format;
        // Each export left its file and nothing beside it.
        QStringList written{QFileInfo(txt).fileName()};
        for (qsizetype k = 0; k < offeredFormats_.size(); ++k)
            if (!offeredFormats_[k].contains(QStringLiteral("*.txt")))
                written << QStringLiteral("r%1.").arg(k) + offeredFormats_[k].section(QStringLiteral("*."), 1).chopped(1);
        written.sort();
        EXPECT_EQ(QDir(dir.filePath(QStringLiteral("out"))).entryList(QDir::Files | QDir::Hidden, QDir::Name), written);
    }

protected:
    // The header row and run 1's cells that matter: its id, age, answers and variables.
    static void ExpectMainCells(const Rows& rows, const char* format, const std::string& age, const std::string& var1,
                                const std::string& var2)
    {
        SCOPED_TRACE(format);
        ASSERT_EQ(rows.size(), 2u) << "header and the one run left";
        const auto& header = rows[0];
        const auto& run = rows[1];
        const auto cell = [&](const std::string& name) {
            for (std::size_t c = 0; c < header.size(); ++c) {
                if (header[c] == name)
                    return c < run.size() ? run[c] : std::string("<missing>");
            }
            return std::string("<no column>");
        };
        EXPECT_EQ(cell("id"), "1");
        EXPECT_EQ(cell("data1"), age);
        EXPECT_EQ(cell("item2"), "Yes");
        EXPECT_EQ(cell("item4"), "Tea");
        EXPECT_EQ(cell("var1"), var1);
        EXPECT_EQ(cell("var2"), var2);
        if (std::string(format) != "lotus" && std::string(format) != "dbf" && std::string(format) != "paradox") {
            EXPECT_EQ(cell("item3"), "Köln");
        }
    }

    static constexpr int kTimeLimitSeconds = 50;
    QTimer watchdog_;
    int seconds_ = 0;
    QString pagesShown_;
    QString fileHeld_;
    QStringList refusals_;
    QStringList stored_;
    QStringList offered_;
    QStringList offeredFormats_;
    WindowInstance<TForm4> form4{Form4};
    WindowInstance<TForm5> form5{Form5};
    WindowInstance<TForm6> form6{Form6};
    WindowInstance<TForm7> form7{Form7};
    WindowInstance<TForm10> form10{Form10};
};

TEST_F(EndToEnd, AnAuthorsTestIsTakenScoredEditedRescoredAndExportedThroughTheWindows)
{
    InEditor({
        {"create a test", &EndToEnd::CreateTest},
        {"write the questions", &EndToEnd::WriteQuestions},
        {"write the answers", &EndToEnd::WriteAnswers},
        {"add a data field and two variables", &EndToEnd::WriteDataFieldAndVariables},
        {"type a formula in the formula editor", &EndToEnd::TypeFormula},
        {"build a formula with the formula builder", &EndToEnd::BuildFormula},
        {"clone a question's formula", &EndToEnd::CloneFormula},
        {"set keys, texts, fonts, colours and the timer", &EndToEnd::SetProperties},
        {"add an account and turn user identification on", &EndToEnd::SetAccounts},
        {"note what the pages show before closing", &EndToEnd::NoteWhatThePagesShow},
    });
    if (HasFatalFailure())
        return;
    Run({{"note what the closed editor saved", &EndToEnd::NoteWhatTheFileHolds}});
    InEditor({
        {"open again through the login dialog", &EndToEnd::OpenThroughTheLoginDialog},
        {"lock", &EndToEnd::Lock},
    });
    if (HasFatalFailure())
        return;
    Run({
        {"take two runs", &EndToEnd::TakeTwoRuns},
        {"read the results", &EndToEnd::ReadResults},
        {"edit a data field and delete a run", &EndToEnd::EditResults},
    });
    if (HasFatalFailure())
        return;
    InEditor({{"change a formula", &EndToEnd::ChangeFormula}});
    if (HasFatalFailure())
        return;
    Run({
        {"run the posterior analysis", &EndToEnd::Rescore},
        {"export in every format", &EndToEnd::ExportEverywhere},
    });
}

}  // namespace
}  // namespace kelvo::testing
