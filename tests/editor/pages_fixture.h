#pragma once
// The editor's editing pages driven as an author drives them: a new test made by New,
// the window shown, cells typed into, Ctrl keys and navigator buttons pressed, and
// what the file holds read back on a connection of its own.

#include "dataaware/data_grid.h"
#include "dataaware/dataset.h"
#include "dataaware/navigator.h"
#include "editor/questions_editor_window.h"
#include "tests/editor/editor_fixture.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTreeWidget>

#include <utility>
#include <vector>

inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace kelvo::testing {

using dataaware::DataGrid;
using dataaware::DatasetState;
using dataaware::NavigatorButton;

// Keys as a keyboard sends them: to the widget that has the focus by then.
inline void KeyToFocus(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget* focused = QApplication::focusWidget();
    ASSERT_NE(focused, nullptr);
    QTest::keyClick(focused, key, modifiers);
    QCoreApplication::processEvents();
}

inline void TypeToFocus(const QString& text)
{
    for (const QChar ch : text) {
        QWidget* focused = QApplication::focusWidget();
        ASSERT_NE(focused, nullptr);
        QTest::keyClick(focused, ch.toLatin1());
    }
}

class PagesFixture : public EditorFixture {
protected:
    void SetUp() override
    {
        path = NewTest();
        Form3->resize(1000, 700);
        Form3->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Form3));
    }

    // Makes `sheet` the active page, so that it reads what the file holds now.
    void ShowPage(QWidget* sheet)
    {
        if (Form3->PageControl->currentWidget() == sheet)
            Form3->PageControl->setCurrentWidget(Form3->Sheet8);
        Form3->PageControl->setCurrentWidget(sheet);
        QCoreApplication::processEvents();
    }

    // Clicks a cell, then opens its editor with F2 (the questions grid keeps the double
    // click for the questions editor).
    static QLineEdit* OpenCell(DataGrid& grid, int row, int column)
    {
        ClickCell(grid, row, column);
        QTest::keyClick(&grid, Qt::Key_F2);
        for (QLineEdit* editor : grid.viewport()->findChildren<QLineEdit*>())
            if (editor->isVisible())
                return editor;
        return nullptr;
    }

    static void ClickCell(DataGrid& grid, int row, int column)
    {
        const QModelIndex index = grid.model()->index(row, column);
        grid.scrollTo(index);
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, grid.visualRect(index).center());
    }

    // Types `text` key by key, letters beyond ASCII and line breaks included.
    static void Type(QWidget& target, const QString& text)
    {
        for (const QChar ch : text) {
            const int key = ch == u'\n' ? int(Qt::Key_Return) : int(Qt::Key_unknown);
            const QString typed = ch == u'\n' ? QStringLiteral("\r") : QString(ch);
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, typed);
            QApplication::sendEvent(&target, &press);
            QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, typed);
            QApplication::sendEvent(&target, &release);
        }
    }

    // Types `text` into cell (row, column) and presses Enter, which posts the row.
    static void TypeCell(DataGrid& grid, int row, int column, const QString& text)
    {
        QLineEdit* editor = OpenCell(grid, row, column);
        ASSERT_NE(editor, nullptr) << "no editor in cell " << row << "," << column;
        editor->selectAll();
        QTest::keyClick(editor, Qt::Key_Delete);
        Type(*editor, text);
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents();
    }

    // Clicks the box of a check box (its middle may lie beyond its caption).
    static void ClickBox(QAbstractButton* box)
    {
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
    }

    // Adds a row after the last one of `grid` (Ctrl+Insert on an empty grid, Down on the
    // last row otherwise), types `cells` with Tab after each, and types `text` into
    // column `textColumn` with Enter, which posts the row.
    static void AddRow(DataGrid& grid, int textColumn, const QString& text,
                       const std::vector<std::pair<int, QString>>& cells = {})
    {
        if (grid.model()->rowCount() == 0) {
            grid.setFocus();
            Ctrl(&grid, Qt::Key_Insert);
        } else {
            ClickCell(grid, grid.model()->rowCount() - 1, textColumn);
            QTest::keyClick(&grid, Qt::Key_Down);
        }
        const int row = grid.model()->rowCount() - 1;
        for (const auto& [column, value] : cells) {
            if (value.isEmpty())
                continue;
            QLineEdit* editor = OpenCell(grid, row, column);
            ASSERT_NE(editor, nullptr);
            editor->selectAll();
            Type(*editor, value);
            QTest::keyClick(editor, Qt::Key_Tab);
        }
        TypeCell(grid, row, textColumn, text);
    }

    static void Ctrl(QWidget* target, Qt::Key key)
    {
        QTest::keyClick(target, key, Qt::ControlModifier);
        QCoreApplication::processEvents();
    }

    static QString Shown(const DataGrid& grid, int row, int column)
    {
        return grid.model()->index(row, column).data().toString();
    }

    // Chooses the tree node of question `id` with the mouse.
    static void ClickQuestionNode(int id)
    {
        const QList<QTreeWidgetItem*> found = Form3->tree->findItems(QStringLiteral("item%1").arg(id), Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << id;
        QTest::mouseClick(Form3->tree->viewport(), Qt::LeftButton, {},
                          Form3->tree->visualItemRect(found.front()).center());
    }

    // Every cell of `sql`'s rows joined by "|", rows by "; ", read on a connection of its own.
    QString FileHolds(const QString& sql) const
    {
        engine::Connection file;
        OpenDirectly(file, path);
        const engine::ResultSet rows = file.select(sql);
        QStringList lines;
        for (const auto& row : rows.rows) {
            QStringList cells;
            for (const QVariant& cell : row)
                cells << cell.toString();
            lines << cells.join(u'|');
        }
        return lines.join(QStringLiteral("; "));
    }

    QString path;
    WindowInstance<TForm8> form8{Form8};
};

}  // namespace kelvo::testing
