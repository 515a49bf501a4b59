// The Properties page of the editor against the settings rows of the open test.
#include "tests/editor/editor_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QSpinBox>

using namespace kelvo;
using kelvo::testing::EditorFixture;

namespace {

class PropertiesPage : public EditorFixture {
protected:
    static QString Row(int id)
    {
        const RowSet row = SelectToVariant(QStringLiteral("select v from testd where id = %1;").arg(id));
        return row.isNull() ? QStringLiteral("<missing>") : row.text(0, 0);
    }
};

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
};

TEST_F(PropertiesPage, DamagedSettingsRowsAreReportedAndNothingIsWrittenOverThem)
{
    const DamagedRows cases[] = {
        {"text for the test time", "update testd set v = 'one hour' where id = -12;",
         "Settings row -12 holds \"one hour\" where a number belongs."},
        {"text for a list position", "update testd set v = 'left' where id = -27;",
         "Settings row -27 holds \"left\" where a number belongs."},
        {"missing rows", "delete from testd where id in (-11, -3);", "Missing settings rows: -11, -3."},
    };
    for (const DamagedRows& c : cases) {
        const QString path = NewTest(QStringLiteral("damaged.mdb"));
        const QString other = NewTest(QStringLiteral("other.mdb"));
        QStringList damaged;
        {
            engine::Connection file;
            OpenDirectly(file, path);
            file.execute(c.damage);
            for (int id = -29; id <= 0; ++id) {
                const engine::ResultSet row = file.select(QStringLiteral("select v from testd where id = %1;").arg(id));
                damaged << (row.rowCount() == 0 ? QStringLiteral("<missing>") : CellText(row.rows[0][0]));
            }
        }
        // The page holds values that differ from the damaged file's.
        Form3->udTimer->setValue(42);
        Form3->combo1->setCurrentIndex(2);
        Form3->convertToNull->setChecked(false);

        ClickOpen(path);
        ASSERT_EQ(script.shown().size(), 1u) << c.name << ": " << script.texts().join(" | ").toStdString();
        EXPECT_EQ(script.shown()[0].kind, MessageKind::Error);
        EXPECT_TRUE(script.lastText().startsWith("Error in reading the settings of the test!")) << c.name;
        EXPECT_TRUE(script.lastText().contains(c.expectedInMessage)) << script.lastText().toStdString();
        EXPECT_EQ(Session::current().testFile, path);
        // The page is not filled from the damaged rows, and leaving the test, by closing
        // the editor or by creating another test, writes none of it back.
        EXPECT_EQ(Form3->udTimer->value(), 42) << c.name;
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
        EXPECT_EQ(after, damaged) << c.name;
        file.close();
        script.clear();
        for (const QString& name : {path, other, dir.filePath(QStringLiteral("third.mdb"))})
            QFile::remove(name);
    }
}

}  // namespace
