#include "ui/application.h"
#include "ui/dialog_service.h"

#include <QPushButton>
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
