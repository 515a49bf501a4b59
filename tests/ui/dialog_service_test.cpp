#include "ui/application.h"
#include "ui/dialog_service.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>
#include <gtest/gtest.h>

#include <stdexcept>

using namespace kelvo;

TEST(DialogService, ScriptAnswersQuestionsInOrderAndRecordsTexts)
{
    DialogScript script;
    script.answerQuestion(true);
    EXPECT_TRUE(dialogs::question(QStringLiteral("First?")));
    EXPECT_FALSE(dialogs::question(QStringLiteral("Second?")));  // nothing queued: No
    dialogs::warning(QStringLiteral("Careful"));
    EXPECT_EQ(script.texts(), (QStringList{"First?", "Second?", "Careful"}));
    EXPECT_EQ(script.shown().back().kind, MessageKind::Warning);
}

TEST(DialogService, UnansweredFileDialogIsCancelled)
{
    DialogScript script;
    script.answerFile(QStringLiteral("/tmp/a.mdb"));
    EXPECT_EQ(dialogs::openFileName(nullptr, "Open", "*.mdb"), QStringLiteral("/tmp/a.mdb"));
    EXPECT_TRUE(dialogs::saveFileName(nullptr, "Save", "*.mdb").isEmpty());
    EXPECT_FALSE(dialogs::inputText(nullptr, "Name", "Name:").has_value());
}

// Choosing an existing file for a new test is not answered by a replace question of the
// dialog: the caller refuses the file in its own words, so the person is asked once.
TEST(DialogService, TheNewFileDialogChoosesAnExistingFileWithoutOfferingToReplaceIt)
{
    QTemporaryDir folder;
    const QString existing = folder.filePath(QStringLiteral("taken.mdb"));
    {
        QFile file(existing);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    bool sawDialog = false;
    QStringList otherWindows;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            if (sawDialog) {  // still open after the choice: something said no
                dialog->reject();
                return;
            }
            sawDialog = true;
            dialog->setDirectory(folder.path());
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            ASSERT_NE(name, nullptr);
            name->setText(QStringLiteral("taken.mdb"));
            // Chosen after this poll returns, so that a question the choice raises is seen.
            QMetaObject::invokeMethod(name, [name] { QTest::keyClick(name, Qt::Key_Return); }, Qt::QueuedConnection);
        } else if (modal) {
            otherWindows << modal->metaObject()->className();
            if (auto* other = qobject_cast<QDialog*>(modal))
                other->reject();
        }
    });
    poll.start();
    const QString chosen = dialogs::newFileName(nullptr, QStringLiteral("Create new Kelvo Test"),
                                                QStringLiteral("Kelvo files (*.mdb)"));
    poll.stop();
    EXPECT_TRUE(sawDialog);
    EXPECT_TRUE(otherWindows.isEmpty()) << otherWindows.join(u' ').toStdString();
    EXPECT_EQ(QFileInfo(chosen).canonicalFilePath(), QFileInfo(existing).canonicalFilePath());
}

TEST(ExceptionGuard, ExceptionFromClickHandlerIsShownAndProgramGoesOn)
{
    DialogScript script;
    QPushButton button(QStringLiteral("Go"));
    int clicks = 0;
    QObject::connect(&button, &QPushButton::clicked, guardedSlot([&] {
        ++clicks;
        throw std::runtime_error("Disk full");
    }));
    button.show();
    QTest::mouseClick(&button, Qt::LeftButton);
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(script.texts(), (QStringList{"Disk full", "Disk full"}));
}

TEST(ExceptionGuard, SilentAbortShowsNothing)
{
    DialogScript script;
    EXPECT_FALSE(guarded([] { throw SilentAbort(); }));
    EXPECT_TRUE(script.shown().empty());
}
