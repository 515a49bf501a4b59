// The stored results editor through its widgets: the table chooser, editing data fields
// (which marks the run modified), deleting a run from every result table, and what the
// results window shows afterwards.

#include "dataaware/data_grid.h"
#include "dataaware/dataset.h"
#include "dataaware/navigator.h"
#include "results/results_editor_window.h"
#include "results/results_window.h"
#include "tests/results/recorded_runs_fixture.h"
#include "tests/support/kill_points.h"
#include "tests/support/table_dump.h"

#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QStatusBar>
#include <QToolButton>

#include <set>
#include <utility>

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

    // Types `text` over the cell of run `id` in column `field` of the data fields and
    // posts the row, as a person does.
    static void TypeIntoCell(TForm15& editor, int id, const QString& field, const QString& text)
    {
        Choose(editor, "data fields");
        QLineEdit* typing = OpenCell(editor, id, field);
        ASSERT_NE(typing, nullptr);
        QTest::keyClicks(typing, text);
        QTest::keyClick(typing, Qt::Key_Return);
        QCoreApplication::processEvents();
        if (editor.query->isEditing()) {
            EXPECT_TRUE(editor.nav->press(NavigatorButton::Post));
        }
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
    TypeIntoCell(editor, 3, "data2", "Tromso 'north'");
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

// The editor's saves against the program killed while it makes them: the test is built
// by the parent only, the child works on the parent's file.
class ResultsEditorKilled : public ResultsEditor {
protected:
    void SetUp() override { RecordedRunsFixture::SetUp(); }

    // The rows of the result tables, without those of the runs `left` out.
    static QStringList ResultRowsWithout(const QString& path, const QList<int>& left)
    {
        QStringList rows;
        for (const QString& line : kelvo::testing::ContentsOf(path, kResultTables)) {
            const int id = line.section(QLatin1Char(':'), 1).section(QLatin1Char('|'), 0, 0).toInt();
            if (!left.contains(id))
                rows << line;
        }
        return rows;
    }

    static inline const QStringList kResultTables = {"datac", "dataf", "datai1", "datav1"};
};

// The child's side of the test below, run only in a process of its own: edits a data
// field of run 3 and deletes run 2 in the test its environment names, killed at the
// step named there.
TEST_F(ResultsEditorKilled, DISABLED_EditsAndDeletesRunsUntilKilled)
{
    kelvo::testing::KillStepInChild kill;
    if (kill.file().isEmpty())
        GTEST_SKIP() << "run by the kill test in a process of its own";
    ASSERT_TRUE(Form1->OpenTestDatabase(kill.file(), false, false));
    TForm15 editor;
    editor.show();
    DialogScript script;
    script.answerQuestion(true);
    kill.arm(script);
    TypeIntoCell(editor, 3, "data2", "Tromso");
    Choose(editor, "answers 1 - 254");
    ASSERT_TRUE(editor.query->locate("id", 2));
    EXPECT_TRUE(editor.nav->press(NavigatorButton::Delete));
    EXPECT_EQ(Count("select count(*) from datac where id = 2;"), 0);
}

// Killed at any step of an edit or a deletion, every run is whole: the edited field
// and the run's modified mark are both stored or neither, the deleted run is gone from
// every result table or from none, the other runs are as they were, and the file keeps
// its password.
TEST_F(ResultsEditorKilled, KilledWhileSavingLeavesEveryRunWhole)
{
    BuildTest();
    TakeAllRuns();
    const QString original = Session::current().testFile;
    const QString name = QRegularExpression::escape(QFileInfo(original).fileName());
    Form1->con.close();
    const QStringList others = ResultRowsWithout(original, {2, 3});

    using kelvo::testing::KillStep;
    const KillStep steps[] = {
        {"write", name + "-journal$", 1},  // the edit begun
        {"write", name + "$", 1},          // the edit being written into the test
        {"delete", name + "-journal$", 1}, // the edit made
        {"box", "If you delete this record", 1},
        {"write", name + "-journal$", 6},  // the deletion begun
        {"write", name + "$", 5},          // the deletion being written into the test
        {"delete", name + "-journal$", 2}, // the deletion made
    };
    std::set<std::pair<bool, bool>> outcomes;  // edited, deleted
    int number = 0;
    for (const KillStep& step : steps) {
        SCOPED_TRACE(step.text().toStdString());
        const QString folder = dir.filePath(QStringLiteral("case%1").arg(++number));
        ASSERT_TRUE(QDir().mkpath(folder));
        const QString path = folder + QLatin1Char('/') + QFileInfo(original).fileName();
        ASSERT_TRUE(QFile::copy(original, path));

        EXPECT_TRUE(kelvo::testing::RunKilledAt(QStringLiteral("ResultsEditorKilled.DISABLED_EditsAndDeletesRunsUntilKilled"),
                                                path, step, dir.filePath(QStringLiteral("child%1").arg(number))))
            << "the step was never reached";
        kelvo::testing::ExpectOnlyItsPasswordOpens(path);
        EXPECT_EQ(ResultRowsWithout(path, {2, 3}), others);

        const auto file = kelvo::testing::OpenFile(path);
        const auto first = [&](const QString& sql) {
            const engine::ResultSet rows = file->select(sql);
            return rows.rows.empty() ? QVariant() : rows.rows[0][0];
        };
        const bool edited = first("select data2 from dataf where id = 3;").toString() == "Tromso";
        EXPECT_EQ(first("select modified from datac where id = 3;").toBool(), edited);
        if (!edited) {
            EXPECT_EQ(first("select data2 from dataf where id = 3;").toString(), "Bergen");
        }
        int tablesWithRun2 = 0;
        for (const QString& table : kResultTables)
            tablesWithRun2 += first(QStringLiteral("select count(*) from %1 where id = 2;").arg(table)).toInt();
        EXPECT_TRUE(tablesWithRun2 == 0 || tablesWithRun2 == kResultTables.size()) << tablesWithRun2;
        if (tablesWithRun2 == 0) {
            EXPECT_TRUE(edited) << "deleted before the edit was stored";
        }
        outcomes.emplace(edited, tablesWithRun2 == 0);
    }
    // The kills fell before, between and after the two saves.
    EXPECT_EQ(outcomes, (std::set<std::pair<bool, bool>>{{false, false}, {true, false}, {true, true}}));
}

}  // namespace
