#pragma once
// A locked test made by the program's own schema and default rows, ready to be taken in
// the test window: the main window holds it open, the log window exists, and backup
// records go to a temporary data folder.

#include "app/main_window.h"
#include "data/database.h"
#include "data/schema.h"
#include "run/run_window.h"
#include "tests/support/modal_answer.h"
#include "tests/support/test_file_fixture.h"
#include "ui/log_window.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>
#include <QTimer>

#include <functional>
#include <memory>

namespace kelvo::testing {

class TestWindowFixture : public TestFileFixture {
protected:
    // What a test made with the default rows asks and says at its end.
    static inline const QString kEndQuestion = QStringLiteral("This is last question in test! End test?");
    static inline const QString kEndMessage =
        QStringLiteral("Test has finished. Thank you for participation in test!");

    void SetUp() override
    {
        qputenv("XDG_DATA_HOME", dataHome.path().toUtf8());
        Session::current().user = QStringLiteral("quorv");
    }

    // A new test with the default rows (one question with two answers), open on Form1->con.
    QString CreateTest(const QString& name = QStringLiteral("t.mdb"))
    {
        const QString path = MakeTestFile(name, 9, false);
        {
            engine::Connection connection;
            QString text = ConnectionStringTemplate();
            text.replace(QStringLiteral("C:\\db2.mdb"), path);
            connection.setConnectionString(text);
            connection.open();
            writeDefaultRows(connection);
        }
        EXPECT_TRUE(Form1->OpenTestDatabase(path, false, false));
        return path;
    }

    static void Setting(int id, const QString& value)
    {
        ExecSQL(QStringLiteral("update testd set v = %1 where id = %2;").arg(SqlQuote(value)).arg(id));
    }

    static void AddQuestion(int id, const QString& caption, const QStringList& answers, const QString& editcap = {})
    {
        ExecSQL(QStringLiteral("insert into items (id, caption, editcap) values (%1, %2, %3);")
                    .arg(id)
                    .arg(SqlQuote(caption), editcap.isEmpty() ? QStringLiteral("null") : SqlQuote(editcap)));
        for (const QString& answer : answers)
            ExecSQL(QStringLiteral("insert into answers (itemid, caption) values (%1, %2);").arg(id).arg(SqlQuote(answer)));
    }

    static void AddDataField(int id, int posit, const QString& caption, const QString& type)
    {
        ExecSQL(QStringLiteral("insert into userf (id, posit, caption, ftype) values (%1, %2, %3, %4);")
                    .arg(id)
                    .arg(posit)
                    .arg(SqlQuote(caption), SqlQuote(type)));
    }

    static void AddVariable(int id, const QString& caption, const QString& cumul, double start, const QString& decnum,
                            const QStringList& formulas = {})
    {
        ExecSQL(QStringLiteral("insert into variables (id, caption, cumul, start, decnum) values (%1, %2, %3, %4, %5);")
                    .arg(id)
                    .arg(SqlQuote(caption), cumul, NumberToText(start), decnum));
        for (const QString& formula : formulas)
            ExecSQL(QStringLiteral("insert into formula (varid, formula) values (%1, %2);").arg(id).arg(SqlQuote(formula)));
    }

    // What locking leaves behind: the result tables with a column per question, variable
    // and data field, and the lock flag.
    static void Lock()
    {
        WriteLockedTables();
        EXPECT_TRUE(Form1->OpenTestDatabase(Session::current().testFile, false, false));
    }

    static void WriteLockedTables()
    {
        engine::Transaction transaction(Form1->con);
        const auto createTable = [](const QString& name) {
            if (!Form1->con.tableNames().contains(name, Qt::CaseInsensitive))
                ExecSQL(QStringLiteral("create table ") + name
                        + QStringLiteral(" ( id integer primary key not null, unique (id), check (id > 0) );"));
        };
        const auto addColumns = [&](const QString& select, const QString& table, const QString& prefix,
                                    const std::function<QString(int)>& type) {
            const RowSet ids = SelectToVariant(select);
            for (int r = 0; r < ids.rows(); ++r) {
                const int id = ids.integer(r, 0);
                const QString name = prefix == QLatin1String("data") ? table : table + QString::number(ColumnBlock(id));
                createTable(name);
                const auto fields = Form1->con.tableFields(name);
                const QString column = prefix + QString::number(id);
                if (std::none_of(fields.begin(), fields.end(), [&](const engine::FieldInfo& f) {
                        return f.name.compare(column, Qt::CaseInsensitive) == 0;
                    }))
                    ExecSQL(QStringLiteral("alter table %1 add %2 %3;").arg(name, column, type(r)));
            }
        };
        createTable(QStringLiteral("datai1"));
        addColumns(QStringLiteral("select id from items order by id;"), QStringLiteral("datai"), QStringLiteral("item"),
                   [](int) { return QStringLiteral("longtext"); });
        addColumns(QStringLiteral("select id from variables order by id;"), QStringLiteral("datav"),
                   QStringLiteral("var"), [](int) { return QStringLiteral("float"); });
        const RowSet fields = SelectToVariant(QStringLiteral("select id, ftype from userf order by id;"));
        addColumns(QStringLiteral("select id from userf order by id;"), QStringLiteral("dataf"), QStringLiteral("data"),
                   [fields](int r) {
                       const QString type = fields.text(r, 1).toLower();
                       return type == QLatin1String("boolean")  ? QStringLiteral("yesno")
                              : type == QLatin1String("string") ? QStringLiteral("varchar(100)")
                                                                : type;
                   });
        ExecSQL(QStringLiteral("update testd set v = 'true' where id = 0;"));
        transaction.commit();
    }

    static int Count(const QString& sql) { return SelectToVariant(sql).integer(0, 0); }

    // Presses Test on the main window and lets `act` work in the test window it shows.
    static void TakeTest(const std::function<void(TForm2*)>& act)
    {
        bool acted = false;
        answerModal<TForm2>([&](TForm2* window) {
            acted = true;
            EXPECT_TRUE(QTest::qWaitForWindowActive(window));
            act(window);
            // A run that a failed check left open is ended here, so that the test goes on.
            if (!QTest::qWaitFor([window] { return !window->isVisible(); }, 3000)) {
                ADD_FAILURE() << "the run did not end";
                window->done(QDialog::Rejected);
            }
        });
        Form1->btnTest->setEnabled(true);
        QTest::mouseClick(Form1->btnTest, Qt::LeftButton);
        EXPECT_TRUE(acted);
    }

    // Presses a key where the respondent's focus is, as the keyboard would.
    static void Press(TForm2* window, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QWidget* focus = QApplication::focusWidget();
        QTest::keyClick(focus && focus->window() == window ? focus : window, key, modifiers);
    }

    static void ClickNext(TForm2* window) { QTest::mouseClick(window->next, Qt::LeftButton); }

    // Answers a real message box (no dialog script) whose text contains `part`, once it is
    // the active modal window: `act` runs first, then `button` is pressed. Boxes waited
    // for and never shown are forgotten with the test.
    void AnswerBox(const QString& part, QMessageBox::StandardButton button, std::function<void()> act = {})
    {
        auto* poll = new QTimer(&boxWatchers);
        poll->setInterval(5);
        QObject::connect(poll, &QTimer::timeout, poll, [poll, part, button, act] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible() || !box->text().contains(part))
                return;
            poll->stop();
            poll->deleteLater();
            if (act)
                act();
            if (QAbstractButton* pressed = box->button(button))
                QTest::mouseClick(pressed, Qt::LeftButton);
        });
        poll->start();
    }

    // Types `text` into `edit` the way a paste does, line breaks and all.
    static void Paste(QLineEdit* edit, const QString& text)
    {
        QApplication::clipboard()->setText(text);
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    }

    // The run's stored answer to question `item`.
    static QString StoredAnswer(int run, int item)
    {
        return SelectToVariant(QStringLiteral("select item%1 from datai%2 where id = %3;")
                                   .arg(item)
                                   .arg(ColumnBlock(item))
                                   .arg(run))
            .text(0, 0);
    }

    template <class W = QWidget>
    static W* Child(QWidget* window, const QString& name)
    {
        W* child = window->findChild<W*>(name);
        EXPECT_NE(child, nullptr) << name.toStdString();
        return child;
    }

    // The visible answer controls of the shown question, in slot order, by caption.
    static QStringList VisibleAnswers(QWidget* window)
    {
        QStringList captions;
        for (int slot = 0; slot < 40; ++slot)
            if (auto* control = window->findChild<QAbstractButton*>(QStringLiteral("answer%1").arg(slot)))
                if (control->isVisible())
                    captions << control->property("caption").toString();
        return captions;
    }

    static QString QuestionShown(QWidget* window) { return Child<QLabel>(window, QStringLiteral("dbt"))->text(); }

    QString LogText() const { return Form7->editor->toPlainText(); }

    QTemporaryDir dataHome;
    WindowInstance<TForm7> form7{Form7};
    QObject boxWatchers;
};

}  // namespace kelvo::testing
