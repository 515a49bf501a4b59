#include "ui/help.h"

#include "app/main_window.h"
#include "app/window_instance.h"
#include "ui/dialog_service.h"

#include <QApplication>
#include <QDialog>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextBrowser>

#include <gtest/gtest.h>

using namespace kelvo;

namespace {

const QString kMissingHelp =
    "The program is not able to find Kelvo help file inside the installation directory!\r\n\r\n"
    "Check the status of Kelvo.chm help file!";

HelpWindow* ShownHelpWindow()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* help = qobject_cast<HelpWindow*>(widget); help && help->isVisible())
            return help;
    return nullptr;
}

}  // namespace

class Help : public ::testing::Test {
protected:
    WindowInstance<TForm1> form1{Form1};
};

TEST_F(Help, MissingFolderOrPageGivesTheWarning)
{
    DialogScript script;
    QTemporaryDir dir;
    gHelpFile = dir.filePath("nohelp");
    ShowHelpTopic("27");
    gHelpFile = dir.path();
    ShowHelpTopic("27");
    EXPECT_EQ(script.texts(), (QStringList{kMissingHelp, kMissingHelp}));
    EXPECT_EQ(script.shown().front().kind, MessageKind::Warning);
    EXPECT_EQ(ShownHelpWindow(), nullptr);
}

TEST_F(Help, TopicOpensItsPageInOneHelpWindow)
{
    QTemporaryDir dir;
    for (const char* topic : {"27", "3"}) {
        QFile page(dir.filePath(QString("%1.htm").arg(topic)));
        ASSERT_TRUE(page.open(QIODevice::WriteOnly));
        page.write(QString("<html><body><h1>Topic %1</h1></body></html>").arg(topic).toUtf8());
    }
    gHelpFile = dir.path();
    DialogScript script;
    ShowHelpTopic("27");
    HelpWindow* help = ShownHelpWindow();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->browser->toPlainText().contains("Topic 27"));
    ShowHelpTopic("3");
    EXPECT_EQ(ShownHelpWindow(), help);
    EXPECT_TRUE(help->browser->toPlainText().contains("Topic 3"));
    EXPECT_TRUE(script.shown().empty());
    help->grab().save(QDir::temp().filePath("kelvo_help_window.png"));
}

TEST_F(Help, EveryTopicTheWindowsAskForIsShipped)
{
    gHelpFile = QStringLiteral(QT_TESTCASE_SOURCEDIR "/../help");
    DialogScript script;
    for (const char* topic : {"1", "3", "6", "7", "8", "10", "11", "12", "13", "14", "16", "17", "18",
                              "19", "21", "23", "26", "27", "29", "30", "33", "35", "36"}) {
        ShowHelpTopic(topic);
        ASSERT_NE(ShownHelpWindow(), nullptr);
        EXPECT_FALSE(ShownHelpWindow()->browser->toPlainText().trimmed().isEmpty()) << topic;
    }
    EXPECT_TRUE(script.shown().empty()) << script.lastText().toStdString();
}

// Help opened while a modal window is open is usable at once: its links answer.
TEST_F(Help, HelpOpenedFromAModalWindowAnswersAtOnce)
{
    gHelpFile = QStringLiteral(QT_TESTCASE_SOURCEDIR "/../help");
    DialogScript script;
    QDialog modal(Form1);
    QString followed;
    QTimer::singleShot(0, &modal, [&] {
        ShowHelpTopic(QStringLiteral("16"));
        HelpWindow* help = ShownHelpWindow();
        if (help) {
            QTextCursor link = help->browser->document()->find(QStringLiteral("The test editor"));
            link.setPosition(link.selectionStart() + 2);
            // Through the window, as the system delivers a click: a blocked window drops it.
            const QPoint at = help->browser->viewport()->mapTo(help, help->browser->cursorRect(link).center());
            QTest::mouseClick(help->windowHandle(), Qt::LeftButton, {}, at);
            QApplication::processEvents();
            followed = help->browser->source().fileName();
        }
        modal.reject();
    });
    modal.exec();
    EXPECT_EQ(followed, QStringLiteral("1.htm"));
    EXPECT_TRUE(script.shown().empty());
}

