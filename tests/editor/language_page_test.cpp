// The Language page: the texts of the test window typed into its grid, stored as typed
// and shown by the test window; its rows are neither added nor deleted.
#include "dataaware/data_grid.h"
#include "dataaware/dataset.h"
#include "tests/editor/editor_fixture.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QPointer>

using namespace kelvo;
using kelvo::testing::EditorFixture;

namespace {

class LanguagePage : public EditorFixture {
protected:
    void SetUp() override
    {
        NewTest();
        Form3->show();
        Form3->PageControl->setCurrentWidget(Form3->Sheet7);
        Form3->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Form3));
    }

    // Types `text` over the value of the grid's row `row` and presses Enter.
    static void TypeValue(int row, const QString& text)
    {
        dataaware::DataGrid& grid = *Form3->dbg5;
        const QModelIndex cell = grid.model()->index(row, 1);
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, grid.visualRect(cell).center());
        ASSERT_EQ(grid.currentIndex(), cell);
        QTest::keyClick(&grid, Qt::Key_F2);
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        ASSERT_TRUE(grid.isAncestorOf(editor));
        ASSERT_NE(editor, nullptr);
        editor->selectAll();
        // Letters beyond ASCII are typed as the keyboard sends them: as key text.
        for (const QChar c : text)
            QTest::sendKeyEvent(QTest::Click, editor, Qt::Key_unknown, QString(c), Qt::NoModifier);
        const QPointer<QLineEdit> open(editor);
        QTest::keyClick(editor, Qt::Key_Return);
        // The cell's editor closes once the key has been handled, as between two keys
        // of a person.
        EXPECT_TRUE(QTest::qWaitFor([&open] { return open.isNull(); }));
        EXPECT_EQ(Form3->qtestd->state(), dataaware::DatasetState::Browse);
    }
};

TEST_F(LanguagePage, TextsAreStoredAsTypedAndShownByTheTestWindow)
{
    const QAbstractItemModel& grid = *Form3->dbg5->model();
    ASSERT_EQ(grid.rowCount(), 13);
    EXPECT_EQ(grid.headerData(0, Qt::Horizontal).toString(), "Description");
    EXPECT_EQ(grid.headerData(1, Qt::Horizontal).toString(), "Value");
    EXPECT_EQ(grid.index(1, 0).data().toString(), "Test form caption");
    // Descriptions are shown grey and cannot be typed into.
    EXPECT_FALSE(grid.flags(grid.index(1, 0)) & Qt::ItemIsEditable);
    EXPECT_TRUE(grid.flags(grid.index(1, 1)) & Qt::ItemIsEditable);
    EXPECT_EQ(grid.index(1, 0).data(Qt::BackgroundRole).value<QBrush>().color(), QColor(Qt::lightGray));

    const QString caption = QStringLiteral("Ana's test: \"čćž\" ß");
    TypeValue(1, caption);
    TypeValue(3, QStringLiteral("Počni"));
    EXPECT_TRUE(script.shown().empty()) << script.lastText().toStdString();
    EXPECT_EQ(Row(2), caption);
    EXPECT_EQ(Row(4), "Počni");
    EXPECT_EQ(grid.index(1, 1).data().toString(), caption);

    const QString instruction = dir.filePath(QStringLiteral("i.txt"));
    QFile file(instruction);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("Read.");
    file.close();
    ExecSQL("update testd set v = " + SqlQuote(instruction) + " where id = -4;");
    TakeTest(
        [&](TForm2* window) {
            EXPECT_EQ(window->windowTitle(), caption);
            EXPECT_EQ(window->btnStartTest->text(), "Počni");
        },
        [](TForm2*) {});
}

TEST_F(LanguagePage, RowsAreNeitherAddedNorDeleted)
{
    dataaware::Dataset& texts = *Form3->qtestd;
    EXPECT_FALSE(texts.insert());
    EXPECT_FALSE(texts.append());
    texts.moveTo(4);
    EXPECT_FALSE(texts.remove());
    EXPECT_EQ(texts.rowCount(), 13);
    EXPECT_EQ(SelectToVariant("select count(*) from testd where id > 0;").integer(0, 0), 13);
    // Both are refused without a word.
    EXPECT_TRUE(script.shown().empty()) << script.lastText().toStdString();
}

}  // namespace
