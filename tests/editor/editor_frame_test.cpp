// The frame around the editor's pages: the help buttons with their topics, the bottom
// Help by page while the test is open for editing, and the log button.
#include "tests/editor/pages_fixture.h"

#include "ui/help.h"
#include "ui/log_window.h"

#include <QFile>
#include <QPushButton>
#include <QTextBrowser>

namespace kelvo::testing {
namespace {

class EditorFrame : public PagesFixture {
protected:
    void SetUp() override
    {
        PagesFixture::SetUp();
        for (int topic = 1; topic <= 14; ++topic) {
            QFile page(help.filePath(QStringLiteral("%1.htm").arg(topic)));
            ASSERT_TRUE(page.open(QIODevice::WriteOnly));
            page.write(QStringLiteral("<html><body><p>Topic %1</p></body></html>").arg(topic).toUtf8());
        }
        gHelpFile = help.path();
    }

    // The topic the help window shows after `button` was clicked.
    static QString TopicShownBy(QPushButton* button)
    {
        QTest::mouseClick(button, Qt::LeftButton);
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* window = qobject_cast<HelpWindow*>(widget); window && window->isVisible())
                return window->browser->toPlainText().trimmed();
        return {};
    }

    QTemporaryDir help;
};

TEST_F(EditorFrame, EveryHelpButtonOpensItsTopic)
{
    const std::pair<QPushButton*, const char*> buttons[] = {
        {Form3->btnHelp2, "Topic 3"},  {Form3->btnHelp3, "Topic 7"},  {Form3->btnHelp6, "Topic 10"},
        {Form3->btnHelp4, "Topic 8"},  {Form3->btnHelp7, "Topic 13"}, {Form3->btnHelp8, "Topic 14"},
    };
    for (const auto& [button, topic] : buttons) {
        ASSERT_NE(button, nullptr) << topic;
        EXPECT_EQ(button->accessibleName(), "Help");
        EXPECT_EQ(TopicShownBy(button), topic);
    }
    EXPECT_TRUE(script.texts().isEmpty());
}

TEST_F(EditorFrame, TheBottomHelpFollowsThePageWhileTheTestIsUnlocked)
{
    const char* topics[] = {"Topic 3", "Topic 7", "Topic 10", "Topic 8", "Topic 11", "Topic 12", "Topic 13", "Topic 14"};
    ASSERT_TRUE(Form3->btnLock->isChecked());
    for (int page = 0; page < 8; ++page) {
        Form3->PageControl->setCurrentIndex(page);
        EXPECT_EQ(TopicShownBy(Form3->btnHelp), topics[page]) << page;
    }
    Form3->ShowLockLook(false);
    Form3->PageControl->setCurrentIndex(2);
    EXPECT_EQ(TopicShownBy(Form3->btnHelp), "Topic 1");
}

TEST_F(EditorFrame, TheLogButtonShowsTheLogAndTheHelpButtonKeepsToTheRightEdge)
{
    WindowInstance<TForm7> form7 {Form7};
    ShowPage(Form3->Sheet8);
    QWidget* panel = Form3->btnHelp7->parentWidget();
    EXPECT_EQ(panel->objectName(), "Panel13");
    EXPECT_EQ(panel->width() - Form3->btnHelp7->geometry().right() - 1, 10);
    bool shown = false;
    answerModal<TForm7>([&](TForm7* window) {
        shown = true;
        window->reject();
    });
    QTest::mouseClick(Form3->bntLog, Qt::LeftButton);
    EXPECT_TRUE(shown);
}

}  // namespace
}  // namespace kelvo::testing
