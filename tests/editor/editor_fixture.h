#pragma once
// The test editor with the windows whose buttons permissions reach, driven as a person
// would: New and Open are clicked, file dialogs and questions answered from a script,
// the login dialog typed into.

#include "app/main_window.h"
#include "app/window_instance.h"
#include "data/database.h"
#include "data/schema.h"
#include "dataaware/dataset.h"
#include "editor/editor_window.h"
#include "editor/login_dialog.h"
#include "engine/connection.h"
#include "results/results_window.h"
#include "run/run_window.h"
#include "tests/support/modal_answer.h"
#include "ui/dialog_service.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <functional>

namespace kelvo::testing {

class EditorFixture : public ::testing::Test {
protected:
    // Creates a test with the editor's New button; the file dialog is given `path`.
    void ClickNew(const QString& path)
    {
        script.answerFile(path);
        Form3->btnNew->click();
    }

    // A new test made by the program, left open with the default administrator.
    QString NewTest(const QString& name = QStringLiteral("t.mdb"))
    {
        const QString path = dir.filePath(name);
        ClickNew(path);
        EXPECT_EQ(script.lastText(), kCreated) << script.texts().join(QStringLiteral(" | ")).toStdString();
        script.clear();
        return path;
    }

    void ClickOpen(const QString& path)
    {
        script.answerFile(path);
        Form3->btnOpen->click();
    }

    // Opens `path`, typing `user` and `password` into the login dialog when it shows.
    void OpenWithLogin(const QString& path, const QString& user, const QString& password)
    {
        answerModal<LoginWindow>([user, password](LoginWindow* window) {
            QTest::keyClicks(window->userEdit, user);
            QTest::keyClicks(window->passwordEdit, password);
            QTest::mouseClick(window->okButton, Qt::LeftButton);
        });
        ClickOpen(path);
    }

    // A connection of its own to a test file, with the given password.
    static void OpenDirectly(engine::Connection& connection, const QString& path,
                             const QString& password = kDatabasePassword)
    {
        connection.setConnectionString(QStringLiteral("Data Source=%1;Provider=Microsoft.Jet.OLEDB.4.0;Jet "
                                                      "OLEDB:Database Password=%2;")
                                           .arg(path, password));
        connection.open();
    }

    static QByteArray Bytes(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Locks the open test with the editor's button and takes it in the test window:
    // `atInstructions` sees the window as it opens (on the instruction page when the
    // test has one), `atQuestion` the first question; then the run is ended.
    void TakeTest(const std::function<void(TForm2*)>& atInstructions, const std::function<void(TForm2*)>& atQuestion)
    {
        Form3->trialAnswerSeed = 3;
        Form3->btnLock->click();
        ASSERT_EQ(script.lastText().left(20), QStringLiteral("Kelvo test is valid!"));
        bool taken = false;
        answerModal<TForm2>([&](TForm2* window) {
            taken = true;
            atInstructions(window);
            if (window->panel1->isVisible())
                QTest::mouseClick(window->btnStartTest, Qt::LeftButton);
            atQuestion(window);
            script.answerQuestion(true);
            QTest::mouseClick(window->findChild<QAbstractButton*>(QStringLiteral("answer0")), Qt::LeftButton);
            if (!QTest::qWaitFor([window] { return !window->isVisible(); }, 3000))
                window->done(QDialog::Rejected);
        });
        Form1->btnTest->setEnabled(true);
        QTest::mouseClick(Form1->btnTest, Qt::LeftButton);
        EXPECT_TRUE(taken);
    }

    // Settings row `id` of the open test as stored, "<missing>" when there is none.
    static QString Row(int id)
    {
        const RowSet row = SelectToVariant(QStringLiteral("select v from testd where id = %1;").arg(id));
        return row.isNull() ? QStringLiteral("<missing>") : row.text(0, 0);
    }

    bool AdministratorPageShown() const
    {
        return Form3->PageControl->isTabVisible(Form3->PageControl->indexOf(Form3->Sheet9));
    }

    static inline const QString kCreated = QStringLiteral(
        "New Kelvo test was successfully created and is initially set in the unlocked state!\r\n\r\nWhen you "
        "finish creating the test, lock it!\r\n\r\nYou can then use it!");

    QTemporaryDir dir;
    DialogScript script;
    WindowInstance<TForm1> form1{Form1};
    WindowInstance<TForm3> form3{Form3};
    WindowInstance<TForm13> form13{Form13};
};

}  // namespace kelvo::testing
