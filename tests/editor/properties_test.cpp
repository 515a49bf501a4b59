// The Properties page of the editor against the settings rows of the open test.
#include "tests/editor/editor_fixture.h"
#include "ui/log_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QSpinBox>
#include <QTextEdit>

using namespace kelvo;
using kelvo::testing::answerModal;
using kelvo::testing::EditorFixture;

namespace {

using PropertiesPage = EditorFixture;

TEST_F(PropertiesPage, SettingsSavedOnThePageAreReadBackAfterReopening)
{
    const QString first = NewTest(QStringLiteral("first.mdb"));
    TForm3& e = *Form3;
    // Every control away from the value a new test starts with.
    e.convertToNull->setChecked(false);
    e.SaveUnfinished->setChecked(true);
    e.cQuestions->setCurrentIndex(2);
    e.genTxtRecord->setChecked(false);
    e.aposterior->setChecked(true);
    e.combo4->setCurrentIndex(2);
    e.cAlign->setCurrentIndex(1);
    e.combo2->setCurrentIndex(1);
    e.cbParseEdit->setCurrentIndex(1);
    e.chEditQuestion->setChecked(true);
    e.chTimerEnabled->setChecked(true);
    e.udTimer->setValue(125);
    e.combo1->setCurrentIndex(2);
    e.checkStatus->setChecked(false);
    e.chAllowNoAnswer->setChecked(false);

    // Creating another test saves the page of the one being left.
    NewTest(QStringLiteral("second.mdb"));
    EXPECT_EQ(e.combo1->currentIndex(), 0);
    EXPECT_EQ(e.udTimer->value(), 3600);
    ClickOpen(first);
    ASSERT_TRUE(script.shown().empty()) << script.texts().join(" | ").toStdString();

    EXPECT_FALSE(e.convertToNull->isChecked());
    EXPECT_TRUE(e.SaveUnfinished->isChecked());
    EXPECT_EQ(e.cQuestions->currentIndex(), 2);
    EXPECT_FALSE(e.genTxtRecord->isChecked());
    EXPECT_TRUE(e.aposterior->isChecked());
    EXPECT_EQ(e.combo4->currentIndex(), 2);
    EXPECT_EQ(e.cAlign->currentIndex(), 1);
    EXPECT_EQ(e.combo2->currentIndex(), 1);
    EXPECT_EQ(e.cbParseEdit->currentIndex(), 1);
    EXPECT_TRUE(e.chEditQuestion->isChecked());
    EXPECT_TRUE(e.chTimerEnabled->isChecked());
    EXPECT_EQ(e.udTimer->value(), 125);
    EXPECT_EQ(e.combo1->currentIndex(), 2);
    EXPECT_FALSE(e.checkStatus->isChecked());
    EXPECT_FALSE(e.chAllowNoAnswer->isChecked());
    EXPECT_EQ(e.versionInfo->text(), "Kelvo file version: 2.0");

    // As stored: flags as words, positions as numbers.
    EXPECT_EQ(Row(-29), "false");
    EXPECT_EQ(Row(-28), "true");
    EXPECT_EQ(Row(-21), "1");
    EXPECT_EQ(Row(-12), "125");
    EXPECT_EQ(Row(-11), "2");

    // Closing the editor saves the page too.
    e.udTimer->setValue(77);
    e.reject();
    EXPECT_EQ(Row(-12), "77");
}

TEST_F(PropertiesPage, StoredPositionsBeyondAListLeaveItAndTheInstructionPathShowsWhetherItExists)
{
    const QString path = NewTest();
    Form3->combo1->setCurrentIndex(1);
    ExecSQL("update testd set v = '5' where id = -11;");
    ExecSQL("update testd set v = '3' where id = -27;");
    ExecSQL("update testd set v = " + SqlQuote(dir.filePath("missing.rtf")) + " where id = -4;");
    Form3->reject();
    Form3->cQuestions->setCurrentIndex(1);
    ClickOpen(path);
    EXPECT_EQ(Form3->combo1->currentIndex(), 1);
    EXPECT_EQ(Form3->cQuestions->currentIndex(), 1);
    EXPECT_EQ(Form3->labInstruction->text(), dir.filePath("missing.rtf"));
    EXPECT_EQ(Form3->labInstruction->palette().color(QPalette::WindowText), QColor(Qt::red));

    QFile instruction(dir.filePath("here.rtf"));
    ASSERT_TRUE(instruction.open(QIODevice::WriteOnly));
    instruction.close();
    ExecSQL("update testd set v = " + SqlQuote(instruction.fileName()) + " where id = -4;");
    ClickOpen(path);
    EXPECT_EQ(Form3->labInstruction->text(), instruction.fileName());
    EXPECT_EQ(Form3->labInstruction->palette().color(QPalette::WindowText), QColor(Qt::black));

    ExecSQL("update testd set v = null where id = -4;");
    ClickOpen(path);
    EXPECT_TRUE(Form3->labInstruction->text().isEmpty());
}

struct DamagedRows {
    const char* name;
    const char* damage;
    const char* expectedInMessage;
    // What the page shows afterwards: the damaged row leaves its control as it was, the
    // other rows fill theirs.
    int timer;
    int answerType;
};

TEST_F(PropertiesPage, DamagedSettingsRowsAreReportedOnceAndNothingIsWrittenOverThem)
{
    const DamagedRows cases[] = {
        {"text for the test time", "update testd set v = 'one hour' where id = -12;",
         "Settings row -12 holds \"one hour\" where a number belongs.", 42, 0},
        {"text for a list position", "update testd set v = 'left' where id = -11;",
         "Settings row -11 holds \"left\" where a number belongs.", 3600, 2},
        {"missing rows", "delete from testd where id in (-11, -3);", "Missing settings rows: -11, -3.", 3600, 2},
        {"a font that does not read", "update testd set v = 'Arial;clBlack;big;0;0;0;0;' where id = -5;",
         "Settings row -5 holds \"Arial;clBlack;big;0;0;0;0;\" where a font belongs.", 3600, 0},
        {"a colour that does not read", "update testd set v = 'clPlaid' where id = -8;",
         "Settings row -8 holds \"clPlaid\" where a colour belongs.", 3600, 0},
    };
    for (const DamagedRows& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = NewTest(QStringLiteral("damaged.mdb"));
        const QString other = NewTest(QStringLiteral("other.mdb"));
        QStringList damaged;
        {
            engine::Connection file;
            OpenDirectly(file, path);
            file.execute(c.damage);
            file.execute("update testd set v = 'false' where id = -29;");
            for (int id = -29; id <= 0; ++id) {
                const engine::ResultSet row = file.select(QStringLiteral("select v from testd where id = %1;").arg(id));
                damaged << (row.rowCount() == 0 ? QStringLiteral("<missing>") : CellText(row.rows[0][0]));
            }
        }
        // The page holds values that differ from the damaged file's.
        Form3->udTimer->setValue(42);
        Form3->combo1->setCurrentIndex(2);
        Form3->convertToNull->setChecked(true);

        // Opening loads the page and unlocking loads it again: the fault is told once.
        ClickOpen(path);
        ASSERT_EQ(script.shown().size(), 1u) << script.texts().join(" | ").toStdString();
        EXPECT_EQ(script.shown()[0].kind, MessageKind::Error);
        EXPECT_TRUE(script.lastText().startsWith("Error in reading the settings of the test!"));
        EXPECT_TRUE(script.lastText().contains(c.expectedInMessage)) << script.lastText().toStdString();
        EXPECT_EQ(Session::current().testFile, path);
        EXPECT_EQ(Form3->udTimer->value(), c.timer);
        EXPECT_EQ(Form3->combo1->currentIndex(), c.answerType);
        EXPECT_FALSE(Form3->convertToNull->isChecked());

        // Leaving the test, by closing the editor or by creating another test, writes
        // the rows that were read as they were and leaves the damaged ones alone.
        Form3->reject();
        ClickNew(dir.filePath(QStringLiteral("third.mdb")));
        Form1->con.close();
        engine::Connection file;
        OpenDirectly(file, path);
        QStringList after;
        for (int id = -29; id <= 0; ++id) {
            const engine::ResultSet row = file.select(QStringLiteral("select v from testd where id = %1;").arg(id));
            after << (row.rowCount() == 0 ? QStringLiteral("<missing>") : CellText(row.rows[0][0]));
        }
        EXPECT_EQ(after, damaged);
        file.close();
        script.clear();
        for (const QString& name : {path, other, dir.filePath(QStringLiteral("third.mdb"))})
            QFile::remove(name);
    }
}

TEST_F(PropertiesPage, ADamagedRowChangedOnThePageIsWrittenWithTheAuthorsValue)
{
    const QString path = NewTest();
    NewTest(QStringLiteral("other.mdb"));
    {
        engine::Connection file;
        OpenDirectly(file, path);
        file.execute("update testd set v = 'soon' where id = -12;");
    }
    ClickOpen(path);
    ASSERT_EQ(script.shown().size(), 1u);
    // The author's own choice replaces what could not be read.
    Form3->udTimer->setValue(900);
    Form3->reject();
    EXPECT_EQ(Row(-12), "900");
}

// Locking reads the settings of the test being locked, not what the page held for the
// test before it: a row the file lacks counts as the test window reads it.
TEST_F(PropertiesPage, LockingATestWithAMissingRowValidatesWithTheTestsOwnSettings)
{
    WindowInstance<TForm7> form7{Form7};
    const QString path = NewTest(QStringLiteral("missing.mdb"));
    NewTest(QStringLiteral("previous.mdb"));
    {
        engine::Connection file;
        OpenDirectly(file, path);
        file.execute("delete from testd where id = -3;");
        file.execute("update testd set v = '2' where id = -11;");
        file.execute("update testd set v = 'true' where id = -2;");
        file.execute("update testd set v = 'false' where id = -19;");
    }
    // The page as the previous test left it: no radio buttons, an answer may be left
    // out, the keyboard on.
    Form3->combo1->setCurrentIndex(0);
    Form3->chMultipleAnswer->setChecked(false);
    Form3->chAllowNoAnswer->setChecked(true);
    Form3->chKeyBoard->setChecked(true);

    ClickOpen(path);
    ASSERT_EQ(script.shown().size(), 1u) << script.texts().join(" | ").toStdString();
    EXPECT_TRUE(script.lastText().contains("Missing settings rows: -3.")) << script.lastText().toStdString();
    EXPECT_EQ(Form3->combo1->currentIndex(), 2);
    EXPECT_TRUE(Form3->chMultipleAnswer->isChecked());
    EXPECT_FALSE(Form3->chKeyBoard->isChecked());
    script.clear();

    answerModal<TForm7>([](TForm7* log) { log->reject(); });
    Form3->btnLock->click();
    EXPECT_EQ(script.texts(), QStringList{QStringLiteral(
        "Kelvo test is valid!\r\n\r\nValidation of Kelvo test was successfully completed without error.\r\n\r\n"
        "Your test is locked and ready for use.")});
    const QString log = Form7->editor->toPlainText();
    EXPECT_TRUE(log.contains("They were replaced with a check box answers!")) << log.toStdString();
    // Without row -3 no answer may be left out, so the keyboard is not forced on.
    EXPECT_FALSE(log.contains("automatically enabled to use the keyboard")) << log.toStdString();
    EXPECT_EQ(Row(-11), "1");
    EXPECT_EQ(Row(-19), "false");
    EXPECT_EQ(Row(-3), "<missing>");
    EXPECT_EQ(Row(0), "true");
}

}  // namespace
