// The whole road of a test, through the windows only: the author makes a test with New,
// writes its questions, answers, data field and variable on the editor's pages and
// locks it; a respondent takes it in the test window; the run shows in the results
// window.
#include "run/run_window.h"
#include "tests/editor/pages_fixture.h"

#include <QAbstractButton>
#include <QPushButton>
#include <QTableView>

namespace kelvo::testing {
namespace {

using AuthoringRoad = PagesFixture;

TEST_F(AuthoringRoad, ATestWrittenOnThePagesLocksIsTakenAndItsRunIsShown)
{
    qputenv("XDG_DATA_HOME", dir.filePath("data").toUtf8());
    ShowPage(Form3->Sheet1);
    ClickCell(*Form3->dbg, 0, 1);
    QTest::keyClick(Form3->dbg, Qt::Key_Down);
    TypeCell(*Form3->dbg, 1, 1, QStringLiteral("Don't you smoke, Åsa?"));

    ShowPage(Form3->Sheet2);
    ClickQuestionNode(2);
    for (const char* answer : {"Yes", "No"})
        AddRow(*Form3->dbg1, 0, QString::fromUtf8(answer));

    ShowPage(Form3->Sheet5);
    AddRow(*Form3->dbg4, 0, QStringLiteral("Age"), {{1, QStringLiteral("integer")}});
    ShowPage(Form3->Sheet3);
    AddRow(*Form3->dbg2, 0, QStringLiteral("score"), {{2, QStringLiteral("3")}});
    ASSERT_TRUE(script.texts().isEmpty()) << script.texts().join(" | ").toStdString();
    // The formula editor has no page of its own yet: the formula is stored as it stores one.
    ExecSQL("insert into formula (varid, formula) values (1, 'if(item2=2,5,0)+data1');");
    EXPECT_EQ(FileHolds("select id, caption from items order by id;").section("; ", 1),
              QStringLiteral("2|Don't you smoke, Åsa?"));

    Form3->trialAnswerSeed = 7;
    QTest::mouseClick(Form3->btnLock, Qt::LeftButton);
    EXPECT_TRUE(script.texts().contains(QStringLiteral(
        "Kelvo test is valid!\r\n\r\nValidation of Kelvo test was successfully completed without error.\r\n\r\n"
        "Your test is locked and ready for use.")))
        << script.texts().join(" | ").toStdString();
    EXPECT_EQ(FileHolds("select v from testd where id = 0;"), "true");
    Form3->hide();

    script.clear();
    script.answerQuestion(true);  // "End test?"
    bool taken = false;
    answerModal<TForm2>([&](TForm2* window) {
        taken = true;
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
        QTest::keyClicks(window->findChild<QLineEdit*>(QStringLiteral("data1")), QStringLiteral("42"));
        QTest::mouseClick(window->btnInstruction, Qt::LeftButton);
        QTest::mouseClick(window->findChild<QAbstractButton*>(QStringLiteral("answer1")), Qt::LeftButton);
        QTest::mouseClick(window->findChild<QAbstractButton*>(QStringLiteral("answer1")), Qt::LeftButton);
        if (!QTest::qWaitFor([window] { return !window->isVisible(); }, 3000)) {
            ADD_FAILURE() << "the run did not end";
            window->done(QDialog::Rejected);
        }
    });
    Form1->btnTest->setEnabled(true);
    QTest::mouseClick(Form1->btnTest, Qt::LeftButton);
    ASSERT_TRUE(taken);
    EXPECT_EQ(FileHolds("select datai1.item2, dataf.data1, datav1.var1 from datai1, dataf, datav1 "
                        "where datai1.id = dataf.id and dataf.id = datav1.id;"),
              "No|42|50");

    QStringList shownRow;
    answerModal<TForm13>([&](TForm13* window) {
        const QAbstractItemModel& model = *window->grid->model();
        for (int c = 0; c < model.columnCount(); ++c)
            shownRow << model.headerData(c, Qt::Horizontal).toString() + u'=' + model.index(0, c).data().toString();
        EXPECT_EQ(model.rowCount(), 1);
        window->reject();
    });
    Form1->btnResult->setEnabled(true);
    QTest::mouseClick(Form1->btnResult, Qt::LeftButton);
    for (const char* cell : {"id=1", "data1=42", "item2=No", "var1=50", "finished=true"})
        EXPECT_TRUE(shownRow.contains(QString::fromUtf8(cell))) << cell << " in " << shownRow.join(", ").toStdString();
}

}  // namespace
}  // namespace kelvo::testing
