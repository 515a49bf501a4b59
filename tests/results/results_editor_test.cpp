// The stored results editor through its widgets: the table chooser, editing data fields
// (which marks the run modified), deleting a run from every result table, and what the
// results window shows afterwards.

#include "dataaware/data_grid.h"
#include "dataaware/dataset.h"
#include "dataaware/navigator.h"
#include "results/results_editor_window.h"
#include "results/results_window.h"
#include "tests/results/recorded_runs_fixture.h"
#include "tests/support/table_dump.h"

#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QStatusBar>
#include <QToolButton>

using namespace kelvo;
using kelvo::dataaware::NavigatorButton;
using kelvo::testing::RecordedRunsFixture;
using kelvo::testing::DumpChanges;
using kelvo::testing::DumpTables;
using kelvo::testing::TableDump;

namespace {

TEST(ResultTableNames, ChooserNamesEachTableAndTheRangeOfItsBlock)
{
    const std::pair<const char*, const char*> cases[] = {
        {"datac", "general data"},        {"dataf", "data fields"},       {"datai1", "answers 1 - 254"},
        {"datai2", "answers 255 - 508"},  {"datav2", "variables 255 - 508"}, {"datav", "variables"},
        {"datai0", "answers"},            {"users", "users"},
    };
    for (const auto& [table, shown] : cases)
        EXPECT_EQ(TForm15::TableDisplayName(table), shown) << table;
}

class ResultsEditor : public RecordedRunsFixture {
protected:
    void SetUp() override
    {
        RecordedRunsFixture::SetUp();
        BuildTest();
        TakeAllRuns();
    }

    static void Choose(TForm15& editor, const QString& shown)
    {
        const int index = editor.combo->findText(shown);
        ASSERT_GE(index, 0) << shown.toStdString();
        editor.combo->setCurrentIndex(index);
        emit editor.combo->activated(index);
    }

    static int Column(const TForm15& editor, const QString& field) { return editor.query->fieldIndex(field); }

    // Double-clicks the cell of `field` in the run `id` and empties its editor; null when
    // no editor opens.
    static QLineEdit* OpenCell(TForm15& editor, int id, const QString& field)
    {
        if (!editor.query->locate("id", id))
            return nullptr;
        const QModelIndex cell = editor.dbg->model()->index(editor.query->currentIndex(), Column(editor, field));
        editor.dbg->scrollTo(cell);
        const QPoint centre = editor.dbg->visualRect(cell).center();
        QTest::mouseClick(editor.dbg->viewport(), Qt::LeftButton, {}, centre);
        QTest::mouseDClick(editor.dbg->viewport(), Qt::LeftButton, {}, centre);
        QLineEdit* typing = nullptr;
        for (QLineEdit* open : editor.dbg->viewport()->findChildren<QLineEdit*>())
            if (open->isVisible())
                typing = open;
        if (typing) {
            typing->selectAll();
            QTest::keyClick(typing, Qt::Key_Delete);
        }
        return typing;
    }

    static bool ColumnEditable(const TForm15& editor, const QString& field)
    {
        const QModelIndex cell = editor.dbg->model()->index(0, Column(editor, field));
        return editor.dbg->model()->flags(cell).testFlag(Qt::ItemIsEditable);
    }
};

TEST_F(ResultsEditor, OnlyDataFieldsAreEditableAndIdNowhere)
{
    TForm15 editor;
    editor.show();
    EXPECT_EQ(editor.windowTitle(), "Posterior analysis");
    QStringList shown;
    for (int i = 0; i < editor.combo->count(); ++i)
        shown << editor.combo->itemText(i);
    EXPECT_EQ(shown, (QStringList{"general data", "data fields", "answers 1 - 254", "variables 1 - 254"}));
    EXPECT_EQ(editor.status->currentMessage(), "Record count: 4");
    EXPECT_EQ(editor.query->recordNumber(), 4);  // the last run is current
    EXPECT_TRUE(editor.aposterior->isEnabled());
    for (const char* table : {"general data", "answers 1 - 254", "variables 1 - 254"}) {
        Choose(editor, table);
        EXPECT_FALSE(editor.nav->visibleButtons().testFlag(NavigatorButton::Edit)) << table;
        EXPECT_TRUE(editor.nav->visibleButtons().testFlag(NavigatorButton::Delete)) << table;
        for (const engine::FieldInfo& field : editor.query->fields())
            EXPECT_FALSE(ColumnEditable(editor, field.name)) << table << " " << field.name.toStdString();
    }
    Choose(editor, "data fields");
    EXPECT_TRUE(editor.nav->visibleButtons().testFlag(NavigatorButton::Edit));
    EXPECT_TRUE(editor.nav->visibleButtons().testFlag(NavigatorButton::Post));
    EXPECT_FALSE(ColumnEditable(editor, "id"));
    EXPECT_TRUE(ColumnEditable(editor, "data1"));
    EXPECT_TRUE(ColumnEditable(editor, "data2"));
}

TEST_F(ResultsEditor, EditedDataFieldIsStoredAndMarksOnlyItsRunModified)
{
    TForm15 editor;
    editor.show();
    Choose(editor, "data fields");
    QLineEdit* typing = OpenCell(editor, 3, "data2");
    ASSERT_NE(typing, nullptr);
    QTest::keyClicks(typing, "Tromso 'north'");
    QTest::keyClick(typing, Qt::Key_Return);
    QCoreApplication::processEvents();
    if (editor.query->isEditing()) {
        EXPECT_TRUE(editor.nav->press(NavigatorButton::Post));
    }
    EXPECT_EQ(SelectToVariant("select data2 from dataf where id = 3;").text(0, 0), "Tromso 'north'");
    const RowSet marks = SelectToVariant("select id, modified from datac order by id;");
    for (int r = 0; r < marks.rows(); ++r)
        EXPECT_EQ(marks.at(r, 1).toBool(), marks.integer(r, 0) == 3) << marks.integer(r, 0);
}

// A run is recorded only by taking the test: the grid's insert keys add no row to any
// result table, the editable data fields included.
TEST_F(ResultsEditor, NoResultTableTakesARowByTheInsertKeys)
{
    TForm15 editor;
    editor.show();
    for (const char* table : {"general data", "data fields", "answers 1 - 254", "variables 1 - 254"}) {
        SCOPED_TRACE(table);
        Choose(editor, table);
        QTest::mouseClick(editor.dbg->viewport(), Qt::LeftButton, {},
                          editor.dbg->visualRect(editor.dbg->model()->index(0, 0)).center());
        QTest::keyClick(editor.dbg, Qt::Key_Insert);
        QTest::keyClick(editor.dbg, Qt::Key_Insert, Qt::ControlModifier);
        EXPECT_EQ(editor.query->state(), dataaware::DatasetState::Browse);
        EXPECT_EQ(editor.query->rowCount(), 4);
        const QString stored = QStringLiteral("select count(*) from ") + editor.query->table() + QLatin1Char(';');
        EXPECT_EQ(SelectToVariant(stored).integer(0, 0), 4);
    }
}

TEST_F(ResultsEditor, DeletedRunIsGoneFromEveryResultTableAndNoIsAnswerEnough)
{
    TForm15 editor;
    editor.show();
    Choose(editor, "answers 1 - 254");
    ASSERT_TRUE(editor.query->locate("id", 2));
    {
        DialogScript script;
        script.answerQuestion(false);
        editor.dbg->setFocus();
        QTest::keyClick(editor.dbg, Qt::Key_Delete, Qt::ControlModifier);
        EXPECT_TRUE(script.lastText().startsWith("If you delete this record all test results"));
        EXPECT_EQ(Count("select count(*) from datac where id = 2;"), 1);
    }
    DialogScript script;
    script.answerQuestion(true);
    EXPECT_TRUE(editor.nav->press(NavigatorButton::Delete));
    EXPECT_EQ(script.texts().size(), 1);
    for (const char* table : {"datac", "dataf", "datai1", "datav1"}) {
        EXPECT_EQ(Count(QString("select count(*) from %1 where id = 2;").arg(table)), 0) << table;
        EXPECT_EQ(Count(QString("select count(*) from %1;").arg(table)), 3) << table;
    }
    EXPECT_EQ(editor.status->currentMessage(), "Record count: 3");
}

TEST_F(ResultsEditor, ResultsWindowShowsTheEditsMadeInTheEditor)
{
    WindowInstance<TForm13> results{Form13};
    Form13->show();
    ASSERT_EQ(Form13->statusText(), "Record count: 4");
    DialogScript script;
    script.answerQuestion(true);
    kelvo::testing::answerModal<TForm15>([&](TForm15* editor) {
        Choose(*editor, "general data");
        ASSERT_TRUE(editor->query->locate("id", 1));
        editor->nav->press(NavigatorButton::Delete);
        editor->close();
    });
    Form13->toolModify->setEnabled(true);
    Form13->toolModify->click();
    EXPECT_EQ(Form13->statusText(), "Record count: 3");
    EXPECT_EQ(Form13->gridModel().index(0, 0).data().toString(), "2");
}

TEST_F(ResultsEditor, LongAnswerTextIsShownCutAndPosteriorNeedsALockedTestWithVariables)
{
    const QString longText(300, QChar('x'));
    ExecSQL(QString("update datai1 set item2 = '%1' where id = 4;").arg(longText));
    {
        TForm15 editor;
        editor.show();
        Choose(editor, "answers 1 - 254");
        ASSERT_TRUE(editor.query->locate("id", 4));
        const QString shown =
            editor.dbg->model()->index(editor.query->currentIndex(), Column(editor, "item2")).data().toString();
        EXPECT_EQ(shown, QString(255, QChar('x')) + "..");
    }
    ExecSQL("update testd set v = 'false' where id = 0;");
    EXPECT_FALSE(TForm15().aposterior->isEnabled());
    ExecSQL("update testd set v = 'true' where id = 0;");
    EXPECT_TRUE(TForm15().aposterior->isEnabled());
    ExecSQL("delete from formula;");
    ExecSQL("delete from variables;");
    EXPECT_FALSE(TForm15().aposterior->isEnabled());
}

// Awkward texts typed (or pasted, for a NUL and very long texts) into the data fields:
// a text field stores exactly what its cell held, a number field stores the number or
// refuses the text with a message; nothing else in the file changes.
TEST_F(ResultsEditor, AwkwardInputIntoDataFieldsIsStoredExactlyOrRefused)
{
    TForm15 editor;
    editor.show();
    Choose(editor, "data fields");
    struct Case {
        const char* field;
        QString typed;
        bool paste;
        QVariant stored;  // null: refused
    };
    const QString nul = QString("a") + QChar(0) + "b";
    const QString veryLong(100000, QChar(u'\u20ac'));
    const Case cases[] = {
        {"data2", "O'Brien \"Bob\"", false, "O'Brien \"Bob\""},
        {"data2", "a; delete from datac; --", false, "a; delete from datac; --"},
        {"data2", nul, true, nul},
        {"data2", veryLong, true, QString(32767, QChar(u'\u20ac'))},  // as much as a cell holds
        {"data2", "1e400", false, "1e400"},
        {"data2", "NaN", false, "NaN"},
        {"data1", "12.5", false, 12.5},
        {"data1", "1e308", false, 1e308},
        {"data1", "-0", false, 0.0},
        {"data1", "1e400", false, {}},
        {"data1", "inf", false, {}},
        {"data1", "-inf", false, {}},
        {"data1", "NaN", false, {}},
        {"data1", "3'", false, {}},
        {"data1", "2;3", false, {}},
        {"data1", QString(100000, QChar('9')), true, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field + (" " + c.typed.left(20)).toStdString());
        const TableDump before = DumpTables();
        DialogScript script;
        QLineEdit* typing = OpenCell(editor, 3, c.field);
        ASSERT_NE(typing, nullptr);
        if (c.paste) {
            QApplication::clipboard()->setText(c.typed);
            QTest::keyClick(typing, Qt::Key_V, Qt::ControlModifier);
        } else {
            QTest::keyClicks(typing, c.typed);
        }
        QTest::keyClick(typing, Qt::Key_Return);
        QCoreApplication::processEvents();
        if (editor.query->isEditing() && script.texts().isEmpty())
            editor.nav->press(NavigatorButton::Post);
        if (c.stored.isNull()) {
            EXPECT_EQ(script.texts().size(), 1) << script.texts().join(" | ").left(200).toStdString();
            EXPECT_TRUE(script.lastText().contains("is not a valid floating point value"))
                << script.lastText().left(200).toStdString();
            if (editor.query->isEditing())
                editor.nav->press(NavigatorButton::Cancel);
            EXPECT_EQ(DumpChanges(before, DumpTables()), QStringList());
            continue;
        }
        EXPECT_TRUE(script.texts().isEmpty()) << script.texts().join(" | ").left(200).toStdString();
        const QVariant stored = SelectToVariant(QString("select %1 from dataf where id = 3;").arg(c.field)).at(0, 0);
        if (c.stored.typeId() == QMetaType::Double) {
            EXPECT_EQ(stored.toDouble(), c.stored.toDouble());
        } else {
            EXPECT_EQ(stored.toString(), c.stored.toString());
        }
        // Only the cell and the run's mark of a modified run may differ.
        QStringList changes = DumpChanges(before, DumpTables());
        changes.removeIf([](const QString& change) {
            return change.startsWith("datac/2/modified:") || change.startsWith("dataf/2/data");
        });
        EXPECT_EQ(changes, QStringList());
    }
}

}  // namespace
