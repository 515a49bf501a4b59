#pragma once
// A test file made by the program's own creation statements, datasets over its tables
// configured as the editor's pages configure them, and the messages the layer handed
// to the window.

#include "dataaware/data_grid.h"
#include "dataaware/dataset.h"
#include "dataaware/dataset_model.h"
#include "dataaware/navigator.h"
#include "tests/engine/engine_fixture.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWidget>

#include <memory>
#include <vector>

inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace kelvo::dataaware::testing {

class DataAwareTest : public engine::testing::EngineFileTest {
public:
    void SetUp() override
    {
        EngineFileTest::SetUp();
        createTestFile(connection);
        window.setLayout(new QVBoxLayout);
        window.resize(700, 500);
    }

    // A dataset on `table` whose messages are recorded in `notices`.
    Dataset& dataset(const QString& select, const QString& table, const QStringList& keys = {"id"})
    {
        auto* data = new Dataset(&window);
        data->setConnection(&connection);
        data->setStatement(select);
        data->setTable(table, keys);
        data->setMessageHandler([this](const Notice& notice) { notices.push_back(notice); });
        return *data;
    }

    Dataset& items() { return dataset(QStringLiteral("select * from items order by id;"), QStringLiteral("items")); }

    template <class W, class... A>
    W& add(A&&... arguments)
    {
        auto* widget = new W(std::forward<A>(arguments)...);
        window.layout()->addWidget(widget);
        return *widget;
    }

    void addItems(std::initializer_list<int> ids)
    {
        for (const int id : ids)
            connection.execute(QStringLiteral("insert into items (id, caption) values (:id, :caption);"),
                               {{"id", id}, {"caption", QStringLiteral("question %1").arg(id)}});
    }

    QVariant read(const QString& sql, const QVariantMap& parameters = {})
    {
        const engine::ResultSet rows = connection.select(sql, parameters);
        return rows.rowCount() == 0 ? QVariant() : rows.rows.front().front();
    }

    void show()
    {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    // Double-clicks a cell, as the author does to type into it, and gives its editor.
    template <class E = QLineEdit>
    E* openCell(DataGrid& grid, int row, int column)
    {
        const QModelIndex index = grid.model()->index(row, column);
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, grid.visualRect(index).center());
        QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, grid.visualRect(index).center());
        // Editors closed before wait for the event loop to be deleted; the open one shows.
        for (E* editor : grid.viewport()->findChildren<E*>())
            if (editor->isVisible())
                return editor;
        return nullptr;
    }

    // Types `text` key by key, letters beyond ASCII included.
    static void type(QWidget& target, const QString& text)
    {
        for (const QChar ch : text) {
            const int key = ch == u'\n' ? int(Qt::Key_Return) : int(Qt::Key_unknown);
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(ch));
            QApplication::sendEvent(&target, &press);
            QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(ch));
            QApplication::sendEvent(&target, &release);
        }
    }

    // Replaces what a cell editor holds by `text`, typed.
    static void retype(QLineEdit& editor, const QString& text)
    {
        editor.selectAll();
        QTest::keyClick(&editor, Qt::Key_Delete);
        type(editor, text);
    }

    // Enter in a cell editor hands its text over through the event loop.
    static void pressEnter(QWidget& editor)
    {
        QTest::keyClick(&editor, Qt::Key_Return);
        QCoreApplication::processEvents();
    }

    static QString shown(const DataGrid& grid, int row, int column)
    {
        return grid.model()->index(row, column).data().toString();
    }

    static void click(const Navigator& navigator, NavigatorButton button)
    {
        QTest::mouseClick(navigator.button(button), Qt::LeftButton);
    }

    engine::Connection connection;
    QWidget window;
    std::vector<Notice> notices;
};

}  // namespace kelvo::dataaware::testing
