// The Properties handlers that write their settings row at once (fonts, colours,
// multiple answers, the instruction file), the timer edit, and what the test window
// makes of the rows they wrote.
#include "run/run_window.h"
#include "tests/editor/editor_fixture.h"
#include "ui/color_dialog.h"
#include "ui/font_dialog.h"
#include "ui/help.h"
#include "ui/log_window.h"

#include <QCheckBox>
#include <QClipboard>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QLabel>
#include <QSpinBox>
#include <QTextBrowser>
#include <QTextEdit>
#include <QTimer>

#include <functional>
#include <vector>

using namespace kelvo;
using kelvo::testing::answerModal;
using kelvo::testing::EditorFixture;

namespace {

class PropertiesHandlers : public EditorFixture {
protected:

    static void PressOk(QDialog* dialog, QDialogButtonBox::StandardButton which = QDialogButtonBox::Ok)
    {
        for (auto* box : dialog->findChildren<QDialogButtonBox*>())
            if (QPushButton* button = box->button(which); button && box->parentWidget() == dialog) {
                QTest::mouseClick(button, Qt::LeftButton);
                return;
            }
        ADD_FAILURE() << "no such button";
    }

    // Picks a colour by its name in the list, as a person does with the keyboard.
    static void PickColorName(ColorChoice* choice, const QString& name)
    {
        const int index = choice->names->findText(name);
        ASSERT_GE(index, 0) << name.toStdString();
        choice->names->setFocus();
        choice->names->setCurrentIndex(index);
    }

    // Picks a colour that may have no name in Qt's colour dialog behind "Other colour...".
    static void PickOtherColor(ColorChoice* choice, const QColor& color)
    {
        answerModal<QColorDialog>([color](QColorDialog* dialog) {
            dialog->setCurrentColor(color);
            dialog->accept();
        });
        QTest::mouseClick(choice->otherButton, Qt::LeftButton);
    }

    // Chooses a font in the font dialog that `button` opens.
    void ChooseFont(QPushButton* button, const std::function<void(FontDialog*)>& choose)
    {
        bool shown = false;
        answerModal<FontDialog>([&](FontDialog* dialog) {
            shown = true;
            choose(dialog);
            PressOk(dialog);
        });
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_TRUE(shown);
    }

    // Clicks a check box on its box, as a person does; the rest of a wide one is empty.
    static void ClickBox(QAbstractButton* box)
    {
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
    }

    static void TickEffect(FontDialog* dialog, const QString& caption)
    {
        for (QCheckBox* box : dialog->fontChooser->findChildren<QCheckBox*>())
            if (box->text().remove(u'&') == caption) {
                ClickBox(box);
                return;
            }
        ADD_FAILURE() << "no check box " << caption.toStdString();
    }

    QString WriteFile(const QString& name, const QByteArray& content)
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return path;
    }
};

TEST_F(PropertiesHandlers, FontsAndColoursAreStoredAtOnceByNameOrNumberAndTheTestWindowShowsThem)
{
    NewTest();
    TForm3& e = *Form3;
    ChooseFont(e.speed10, [](FontDialog* dialog) {
        QFont font(QStringLiteral("DejaVu Serif"));
        font.setPointSize(14);
        font.setBold(true);
        dialog->setCurrentFont(font);
        TickEffect(dialog, QStringLiteral("Underline"));
        PickColorName(dialog->colorChoice, QStringLiteral("clBlue"));
    });
    EXPECT_EQ(Row(-5), "DejaVu Serif;clBlue;14;1;0;1;0;");
    ChooseFont(e.speed11, [this](FontDialog* dialog) {
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPointSize(11);
        font.setItalic(true);
        dialog->setCurrentFont(font);
        PickOtherColor(dialog->colorChoice, QColor(0x12, 0x34, 0x56));
        EXPECT_EQ(dialog->colorChoice->names->currentText(), "$00563412");
    });
    EXPECT_EQ(Row(-6), "DejaVu Sans;$00563412;11;0;1;0;0;");

    // The dialog opens on the stored font; cancelling it writes nothing.
    bool preset = false;
    answerModal<FontDialog>([&](FontDialog* dialog) {
        preset = dialog->currentFont().family() == "DejaVu Serif" && dialog->currentFont().underline()
                 && dialog->colorValue() == 0x00FF0000u;
        PressOk(dialog, QDialogButtonBox::Cancel);
    });
    QTest::mouseClick(e.speed10, Qt::LeftButton);
    EXPECT_TRUE(preset);
    EXPECT_EQ(Row(-5), "DejaVu Serif;clBlue;14;1;0;1;0;");
    // A stored font that does not read is passed over without a word: the dialog keeps
    // the font it had.
    ExecSQL("update testd set v = 'Mono;clBlue;huge;0;0;0;0;' where id = -9;");
    preset = false;
    answerModal<FontDialog>([&](FontDialog* dialog) {
        preset = dialog->currentFont().family() == "DejaVu Serif";
        PressOk(dialog, QDialogButtonBox::Cancel);
    });
    QTest::mouseClick(e.speed14, Qt::LeftButton);
    EXPECT_TRUE(preset);
    EXPECT_TRUE(script.shown().empty()) << script.lastText().toStdString();
    EXPECT_EQ(Row(-9), "Mono;clBlue;huge;0;0;0;0;");
    ExecSQL("update testd set v = 'Arial;clBlack;12;0;0;0;0;' where id = -9;");

    // Colours of the pages: a name chosen from the list, a table colour chosen in Qt's
    // dialog (still stored by its name) and one outside the table (its number).
    const auto chooseColor = [&](QPushButton* button, const std::function<void(ColorDialog*)>& choose) {
        answerModal<ColorDialog>([&](ColorDialog* dialog) {
            choose(dialog);
            PressOk(dialog);
        });
        QTest::mouseClick(button, Qt::LeftButton);
    };
    chooseColor(e.speed12, [](ColorDialog* d) { PickColorName(d->choice, QStringLiteral("clMoneyGreen")); });
    EXPECT_EQ(Row(-7), "clMoneyGreen");
    chooseColor(e.speed13, [this](ColorDialog* d) { PickOtherColor(d->choice, QColor(255, 0, 0)); });
    EXPECT_EQ(Row(-8), "clRed");
    chooseColor(e.speed13, [this](ColorDialog* d) { PickOtherColor(d->choice, QColor(0xa0, 0xb0, 0xc1)); });
    EXPECT_EQ(Row(-8), "$00c1b0a0");

    TakeTest([](TForm2*) {},
             [](TForm2* window) {
                 const QFont shown = window->dbt->font();
                 EXPECT_EQ(shown.family(), "DejaVu Serif");
                 EXPECT_EQ(shown.pointSize(), 14);
                 EXPECT_TRUE(shown.bold());
                 EXPECT_TRUE(shown.underline());
                 EXPECT_FALSE(shown.italic());
                 EXPECT_EQ(window->dbt->palette().color(QPalette::WindowText), QColor(0, 0, 255));
                 auto* answer = window->findChild<QAbstractButton*>(QStringLiteral("answer0"));
                 ASSERT_NE(answer, nullptr);
                 EXPECT_EQ(answer->font().family(), "DejaVu Sans");
                 EXPECT_TRUE(answer->font().italic());
                 EXPECT_EQ(answer->palette().color(QPalette::ButtonText), QColor(0x12, 0x34, 0x56));
             });
}

TEST_F(PropertiesHandlers, TheInstructionFileIsStoredAtOnceAndShownBeforeTheQuestions)
{
    NewTest();
    const QString path = WriteFile(QStringLiteral("Ana's upute čćž.rtf"),
                                   "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\pard Read {\\b all} of it.\\par}");
    script.answerFile(path);
    QTest::mouseClick(Form3->speed6, Qt::LeftButton);
    EXPECT_TRUE(script.shown().empty()) << script.lastText().toStdString();
    EXPECT_EQ(Row(-4), path);
    EXPECT_EQ(Form3->labInstruction->text(), path);

    TakeTest(
        [](TForm2* window) {
            ASSERT_TRUE(window->panel1->isVisible());
            EXPECT_EQ(window->re->toPlainText(), "Read all of it.");
        },
        [](TForm2* window) { EXPECT_TRUE(window->panel3->isVisible()); });
}

TEST_F(PropertiesHandlers, AnInstructionPathOf256CharactersIsRefusedWithItsLength)
{
    NewTest();
    const QString folder = dir.filePath(QStringLiteral("deep"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const auto pathOfLength = [&](int length) {
        const QString start = folder + QStringLiteral("/i");
        return start + QString(length - start.size() - 4, u'x') + QStringLiteral(".txt");
    };
    const QString tooLong = WriteFile(pathOfLength(256).mid(dir.path().size() + 1), "x");
    ASSERT_EQ(tooLong.size(), 256);
    script.answerFile(tooLong);
    QTest::mouseClick(Form3->speed6, Qt::LeftButton);
    EXPECT_EQ(script.texts(), QStringList{QStringLiteral("File path is too long!\r\n\r\nFile path must have length < 256 "
                                                         "character!\r\n\r\nYour file path has a length: 256")});
    EXPECT_EQ(script.shown().front().kind, MessageKind::Warning);
    EXPECT_EQ(Row(-4), "");
    EXPECT_TRUE(Form3->labInstruction->text().isEmpty());

    script.clear();
    const QString longest = WriteFile(pathOfLength(255).mid(dir.path().size() + 1), "x");
    script.answerFile(longest);
    QTest::mouseClick(Form3->speed6, Qt::LeftButton);
    EXPECT_TRUE(script.shown().empty());
    EXPECT_EQ(Row(-4), longest);

    // A cancelled dialog and a file that is not there change nothing.
    QTest::mouseClick(Form3->speed6, Qt::LeftButton);
    script.answerFile(dir.filePath(QStringLiteral("gone.rtf")));
    QTest::mouseClick(Form3->speed6, Qt::LeftButton);
    EXPECT_EQ(Row(-4), longest);
}

TEST_F(PropertiesHandlers, MultipleAnswersAreWrittenAtOnce)
{
    NewTest();
    EXPECT_EQ(Row(-2), "false");
    QTest::mouseClick(Form3->chMultipleAnswer, Qt::LeftButton);
    EXPECT_EQ(Row(-2), "true");
    QTest::mouseClick(Form3->chMultipleAnswer, Qt::LeftButton);
    EXPECT_EQ(Row(-2), "false");
}

TEST_F(PropertiesHandlers, TheTimerEditTakesOnlyDigitsWithinItsRangeWhileTheTimerIsOn)
{
    NewTest();
    TForm3& e = *Form3;
    e.show();
    e.PageControl->setCurrentWidget(e.Sheet8);
    EXPECT_FALSE(e.udTimer->isEnabled());
    ClickBox(e.chTimerEnabled);
    EXPECT_TRUE(e.udTimer->isEnabled());

    e.udTimer->setFocus();
    e.udTimer->selectAll();
    QTest::keyClicks(e.udTimer, "a-12x0 ");
    EXPECT_EQ(e.udTimer->text(), "120");
    // Pasting is dropped as well.
    QApplication::clipboard()->setText(QStringLiteral("7"));
    QTest::keyClick(e.udTimer, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(e.udTimer, Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(e.udTimer->text(), "120");
    QTest::keyClick(e.udTimer, Qt::Key_Backspace);
    EXPECT_EQ(e.udTimer->text(), "12");
    QTest::keyClick(e.udTimer, Qt::Key_Enter);
    EXPECT_EQ(e.udTimer->value(), 12);

    // Stepping stays within 5 and 32767, and so does typing.
    e.udTimer->setValue(32766);
    QTest::keyClick(e.udTimer, Qt::Key_Up);
    QTest::keyClick(e.udTimer, Qt::Key_Up);
    EXPECT_EQ(e.udTimer->value(), 32767);
    e.udTimer->selectAll();
    QTest::keyClicks(e.udTimer, "99999");
    QTest::keyClick(e.udTimer, Qt::Key_Enter);
    EXPECT_LE(e.udTimer->value(), 32767);
    e.udTimer->setValue(6);
    QTest::keyClick(e.udTimer, Qt::Key_Down);
    QTest::keyClick(e.udTimer, Qt::Key_Down);
    EXPECT_EQ(e.udTimer->value(), 5);

    ClickBox(e.chTimerEnabled);
    EXPECT_FALSE(e.udTimer->isEnabled());
}

// A new user walked through the page with the mouse and typed "1" into the time edit,
// which then held "13600": the click had put the caret before the stored 3600. The edit
// now takes what is typed in place of its value, as it does when reached by Tab.
TEST_F(PropertiesHandlers, TypingIntoTheTimeEditAfterClickingItReplacesTheStoredTime)
{
    NewTest();
    TForm3& e = *Form3;
    e.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&e));
    e.PageControl->setCurrentWidget(e.Sheet8);
    ClickBox(e.chTimerEnabled);
    QLineEdit* time = e.udTimer->findChild<QLineEdit*>();
    ASSERT_NE(time, nullptr);
    ASSERT_EQ(time->text(), "3600");

    // Clicked at the left end of the text, where a bare click leaves the caret.
    QTest::mouseClick(time, Qt::LeftButton, {}, QPoint(3, time->height() / 2));
    QTest::keyClicks(QApplication::focusWidget(), "1");
    EXPECT_EQ(time->text(), "1");
    QTest::keyClicks(QApplication::focusWidget(), "20");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(e.udTimer->value(), 120);

    // Reached by Tab from the box above it, the same.
    e.chTimerEnabled->setFocus(Qt::MouseFocusReason);
    QTest::keyClick(e.chTimerEnabled, Qt::Key_Tab);
    ASSERT_TRUE(time->hasFocus() || e.udTimer->hasFocus());
    QTest::keyClicks(QApplication::focusWidget(), "45");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(e.udTimer->value(), 45);

    e.reject();
    EXPECT_EQ(Row(-12), "45");
    EXPECT_EQ(Row(-13), "true");
}

// The time is the time limit of a timed test only: while the timer is off it cannot be
// typed or stepped, and switching the timer off and on keeps the stored time.
TEST_F(PropertiesHandlers, TheTestTimeCannotBeEditedWhileTheTimerIsOff)
{
    const QString timed = NewTest(QStringLiteral("timed.mdb"));
    TForm3& e = *Form3;
    e.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&e));
    e.PageControl->setCurrentWidget(e.Sheet8);
    ClickBox(e.chTimerEnabled);
    e.udTimer->setValue(900);
    const QString untimed = NewTest(QStringLiteral("untimed.mdb"));
    e.PageControl->setCurrentWidget(e.Sheet8);
    QLineEdit* time = e.udTimer->findChild<QLineEdit*>();

    struct Opening {
        QString file;
        bool timerOn;
        int time;
    };
    for (const Opening& o : {Opening{untimed, false, 3600}, Opening{timed, true, 900}, Opening{untimed, false, 3600}}) {
        SCOPED_TRACE(o.file.toStdString());
        ClickOpen(o.file);
        ASSERT_TRUE(script.shown().empty()) << script.texts().join(" | ").toStdString();
        EXPECT_EQ(e.chTimerEnabled->isChecked(), o.timerOn);
        EXPECT_EQ(e.udTimer->isEnabled(), o.timerOn);
        EXPECT_EQ(e.udTimer->value(), o.time);
    }

    e.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&e));
    // Off: neither a click and typing, nor the arrow keys, nor Tab reach the time.
    e.chTimerEnabled->setFocus(Qt::MouseFocusReason);
    QTest::mouseClick(time, Qt::LeftButton);
    QTest::keyClicks(QApplication::focusWidget(), "7");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
    e.chTimerEnabled->setFocus(Qt::MouseFocusReason);
    QTest::keyClick(e.chTimerEnabled, Qt::Key_Tab);
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    EXPECT_FALSE(e.udTimer->hasFocus() || time->hasFocus());
    QTest::keyClicks(QApplication::focusWidget(), "7");
    EXPECT_EQ(e.udTimer->value(), 3600);

    // On and off again: the time is as stored and can be typed only while on.
    ClickBox(e.chTimerEnabled);
    EXPECT_TRUE(e.udTimer->isEnabled());
    EXPECT_EQ(e.udTimer->value(), 3600);
    ClickBox(e.chTimerEnabled);
    EXPECT_FALSE(e.udTimer->isEnabled());
    e.reject();
    EXPECT_EQ(Row(-13), "false");
    EXPECT_EQ(Row(-12), "3600");
}

TEST_F(PropertiesHandlers, HelpButtonsOpenTheirTopicsAndViewLogShowsTheLog)
{
    WindowInstance<TForm7> form7{Form7};
    NewTest();
    QTemporaryDir help;
    for (const char* topic : {"13", "14"}) {
        QFile page(help.filePath(QStringLiteral("%1.htm").arg(topic)));
        ASSERT_TRUE(page.open(QIODevice::WriteOnly));
        page.write(QStringLiteral("<html><body>Topic %1</body></html>").arg(topic).toUtf8());
    }
    gHelpFile = help.path();
    const auto shownTopic = [] {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* window = qobject_cast<HelpWindow*>(widget); window && window->isVisible())
                return window->browser->toPlainText().trimmed();
        return QString();
    };
    QTest::mouseClick(Form3->btnHelp7, Qt::LeftButton);
    EXPECT_EQ(shownTopic(), "Topic 13");
    QTest::mouseClick(Form3->btnHelp8, Qt::LeftButton);
    EXPECT_EQ(shownTopic(), "Topic 14");

    bool logShown = false;
    answerModal<TForm7>([&](TForm7* log) {
        logShown = true;
        log->reject();
    });
    QTest::mouseClick(Form3->bntLog, Qt::LeftButton);
    EXPECT_TRUE(logShown);
    EXPECT_TRUE(script.shown().empty());
}

// Qt's warnings while it is alive, for the faults that Qt only prints.
class QtWarnings {
public:
    QtWarnings() : previous_(qInstallMessageHandler(&QtWarnings::Collect)) { collected().clear(); }
    ~QtWarnings() { qInstallMessageHandler(previous_); }
    static QStringList& collected()
    {
        static QStringList texts;
        return texts;
    }

private:
    static void Collect(QtMsgType type, const QMessageLogContext&, const QString& text)
    {
        if (type != QtDebugMsg && type != QtInfoMsg)
            collected() << text;
    }
    QtMessageHandler previous_;
};

TEST_F(PropertiesHandlers, EveryDialogOfThePageClosesWithEscapeAndTheEditorClosesAfterTheWalk)
{
    WindowInstance<TForm7> form7{Form7};
    NewTest();
    Form3->reject();
    const QtWarnings warnings;
    bool walked = false;
    QStringList stayedOpen;
    // Presses Esc in the dialog that `opener` brings up, where its keyboard focus is, as a
    // person closes it; one that stays open is noted and closed, so the walk goes on.
    const auto escapeFrom = [&](QPushButton* opener) {
        bool shown = false;
        QTimer timer;
        timer.setInterval(5);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog || dialog == Form3 || !dialog->isVisible())
                return;
            timer.stop();
            shown = true;
            QWidget* focus = QApplication::focusWidget();
            QTest::keyClick(focus && dialog->isAncestorOf(focus) ? focus : dialog, Qt::Key_Escape);
            if (dialog->isVisible()) {
                stayedOpen << opener->objectName();
                QTest::mouseClick(opener, Qt::LeftButton);  // and tries again, as a person would
                dialog->reject();
            }
        });
        timer.start();
        QTest::mouseClick(opener, Qt::LeftButton);
        EXPECT_TRUE(shown) << opener->objectName().toStdString();
    };
    answerModal<TForm3>([&](TForm3* editor) {
        editor->PageControl->setCurrentWidget(editor->Sheet8);
        // Twice each: a dialog met again must open as it did the first time.
        for (int round = 0; round < 2; ++round)
            for (QPushButton* opener : {editor->speed10, editor->speed11, editor->speed14, editor->speed12,
                                        editor->speed13, editor->btnStructure, editor->bntLog})
                escapeFrom(opener);
        walked = true;
        QTest::keyClick(editor, Qt::Key_Escape);
    });
    QTest::mouseClick(Form1->btnCreate, Qt::LeftButton);
    EXPECT_TRUE(walked);
    EXPECT_FALSE(Form3->isVisible());
    EXPECT_TRUE(stayedOpen.isEmpty()) << stayedOpen.join(u' ').toStdString();
    for (const QString& text : QtWarnings::collected())
        EXPECT_FALSE(text.contains(QStringLiteral("Recursive call"))) << text.toStdString();
}

}  // namespace
