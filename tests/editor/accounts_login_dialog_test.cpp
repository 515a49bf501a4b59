#include "editor/login_dialog.h"
#include "tests/support/modal_answer.h"
#include "ui/dialog_service.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

using kelvo::LoginWindow;
using kelvo::MessageKind;
using kelvo::testing::answerModal;

const QString kInvalid = QStringLiteral("Invalid Username or Password!\r\n\r\nDo you would like to retry?");

void typeAndConfirm(const QString& user, const QString& password)
{
    answerModal<LoginWindow>([user, password](LoginWindow* window) {
        QTest::keyClicks(window->userEdit, user);
        QTest::keyClicks(window->passwordEdit, password);
        QTest::mouseClick(window->okButton, Qt::LeftButton);
    });
}

struct Attempts {
    std::vector<std::pair<QString, QString>> seen;
    QString rightUser = QStringLiteral("anna");
    QString rightPassword = QStringLiteral("pw_1");

    bool operator()(const QString& user, const QString& password)
    {
        seen.emplace_back(user, password);
        return user == rightUser && password == rightPassword;
    }
};

bool ask(Attempts& attempts)
{
    return kelvo::askForAccount(nullptr, [&](const QString& u, const QString& p) { return attempts(u, p); });
}

TEST(AccountsLoginDialog, RightAccountAtFirstAttemptShowsNoMessage)
{
    kelvo::DialogScript script;
    Attempts attempts;
    typeAndConfirm(QStringLiteral("anna"), QStringLiteral("pw_1"));
    EXPECT_TRUE(ask(attempts));
    ASSERT_EQ(attempts.seen.size(), 1u);
    EXPECT_TRUE(script.shown().empty());
}

TEST(AccountsLoginDialog, TypedCapitalsArriveInLowerCase)
{
    kelvo::DialogScript script;
    Attempts attempts;
    typeAndConfirm(QStringLiteral("AnNa"), QStringLiteral("PW_1"));
    EXPECT_TRUE(ask(attempts));
    EXPECT_EQ(attempts.seen.at(0).first, QStringLiteral("anna"));
    EXPECT_EQ(attempts.seen.at(0).second, QStringLiteral("pw_1"));
}

TEST(AccountsLoginDialog, ControlCharactersPastedIntoTheEditsAreLeftOut)
{
    kelvo::DialogScript script;
    Attempts attempts;
    answerModal<LoginWindow>([](LoginWindow* window) {
        for (const auto& [edit, text] : {std::pair{window->userEdit, QString("an") + QChar(0) + "na\x01"},
                                         std::pair{window->passwordEdit, QString("pw") + QChar(0) + "_1\x1b"}}) {
            QApplication::clipboard()->setText(text);
            edit->setFocus();
            QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
        }
        QTest::mouseClick(window->okButton, Qt::LeftButton);
    });
    EXPECT_TRUE(ask(attempts));
    EXPECT_EQ(attempts.seen.at(0), std::pair(QStringLiteral("anna"), QStringLiteral("pw_1")));
    EXPECT_TRUE(script.shown().empty());
}

TEST(AccountsLoginDialog, RefusedAttemptAsksAndRetriesWithEmptiedEdits)
{
    kelvo::DialogScript script;
    script.answerQuestion(true);
    Attempts attempts;
    typeAndConfirm(QStringLiteral("anna"), QStringLiteral("bad"));
    // The second showing must start empty: typing the right password alone succeeds.
    typeAndConfirm(QStringLiteral("anna"), QStringLiteral("pw_1"));
    EXPECT_TRUE(ask(attempts));
    ASSERT_EQ(attempts.seen.size(), 2u);
    ASSERT_EQ(script.shown().size(), 1u);
    EXPECT_EQ(script.shown()[0].kind, MessageKind::Question);
    EXPECT_EQ(script.shown()[0].text, kInvalid);
}

TEST(AccountsLoginDialog, ThirdRefusalEndsWithTheErrorAndNoFurtherQuestion)
{
    kelvo::DialogScript script;
    script.answerQuestion(true);
    script.answerQuestion(true);
    Attempts attempts;
    for (int i = 0; i < 3; ++i)
        typeAndConfirm(QStringLiteral("x"), QStringLiteral("y"));
    EXPECT_FALSE(ask(attempts));
    EXPECT_EQ(attempts.seen.size(), 3u);
    ASSERT_EQ(script.shown().size(), 3u);
    EXPECT_EQ(script.shown()[0].kind, MessageKind::Question);
    EXPECT_EQ(script.shown()[1].kind, MessageKind::Question);
    EXPECT_EQ(script.shown()[2].kind, MessageKind::Error);
    EXPECT_EQ(script.shown()[2].text, kInvalid);
}

TEST(AccountsLoginDialog, AnsweringNoEndsAtOnce)
{
    kelvo::DialogScript script;
    script.answerQuestion(false);
    Attempts attempts;
    typeAndConfirm(QStringLiteral("x"), QStringLiteral("y"));
    EXPECT_FALSE(ask(attempts));
    EXPECT_EQ(attempts.seen.size(), 1u);
    ASSERT_EQ(script.shown().size(), 2u);
    EXPECT_EQ(script.shown()[1].kind, MessageKind::Error);
}

TEST(AccountsLoginDialog, ClosingWithoutOkIsAnAttemptWithWhatTheEditsHold)
{
    kelvo::DialogScript script;
    Attempts attempts;
    answerModal<LoginWindow>([](LoginWindow* window) {
        QTest::keyClicks(window->userEdit, QStringLiteral("anna"));
        QTest::keyClicks(window->passwordEdit, QStringLiteral("pw_1"));
        window->reject();
    });
    EXPECT_TRUE(ask(attempts));
    EXPECT_EQ(attempts.seen.size(), 1u);
}

TEST(AccountsLoginDialog, EditsHideWhatIsTypedAndCarryLabels)
{
    LoginWindow window;
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Kelvo. Enter Username and Password"));
    EXPECT_EQ(window.userEdit->echoMode(), QLineEdit::Password);
    EXPECT_EQ(window.passwordEdit->echoMode(), QLineEdit::Password);
    EXPECT_EQ(window.userLabel->buddy(), window.userEdit);
    EXPECT_EQ(window.passwordLabel->buddy(), window.passwordEdit);
    EXPECT_EQ(window.userLabel->pos(), QPoint(50, 20));
    EXPECT_EQ(window.width(), window.passwordEdit->geometry().right() + 1 + 50);
}

}  // namespace
