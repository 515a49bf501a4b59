#include "editor/login_dialog.h"

#include "ui/dialog_service.h"
#include "ui/printable_text.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <memory>

namespace kelvo {

namespace {

const int kAttempts = 3;

QString invalidLoginText()
{
    return QStringLiteral("Invalid Username or Password!\r\n\r\nDo you would like to retry?");
}

}  // namespace

void KeepLowerCase(QLineEdit* edit)
{
    QObject::connect(edit, &QLineEdit::textEdited, edit, [edit](const QString& text) {
        const QString lower = text.toLower();
        if (lower == text)
            return;
        const int cursor = edit->cursorPosition();
        edit->setText(lower);
        edit->setCursorPosition(cursor);
    });
}

namespace {

QLineEdit* secretEdit(QWidget* parent, const QString& name)
{
    auto* edit = new QLineEdit(parent);
    edit->setEchoMode(QLineEdit::Password);
    edit->setAccessibleName(name);
    KeepPrintable(edit);
    KeepLowerCase(edit);
    return edit;
}

}  // namespace

LoginWindow::LoginWindow(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Kelvo. Enter Username and Password"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setObjectName(QStringLiteral("loginWindow"));

    userLabel = new QLabel(QStringLiteral("Username:"), this);
    userEdit = secretEdit(this, QStringLiteral("Username"));
    userEdit->setObjectName(QStringLiteral("userEdit"));
    userLabel->setBuddy(userEdit);
    passwordLabel = new QLabel(QStringLiteral("Password:"), this);
    passwordEdit = secretEdit(this, QStringLiteral("Password"));
    passwordEdit->setObjectName(QStringLiteral("passwordEdit"));
    passwordLabel->setBuddy(passwordEdit);
    okButton = new QPushButton(QStringLiteral("&OK"), this);
    okButton->setObjectName(QStringLiteral("okButton"));
    okButton->setDefault(true);
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
    layOut();
}

void LoginWindow::layOut()
{
    for (QLabel* label : {userLabel, passwordLabel})
        label->adjustSize();
    const int labelWidth = std::max(userLabel->width(), passwordLabel->width());
    const int editWidth = 150;
    const int editHeight = userEdit->sizeHint().height();
    userLabel->move(50, 20);
    userEdit->setGeometry(50 + labelWidth + 10, 20, editWidth, editHeight);
    passwordLabel->move(50, userEdit->geometry().bottom() + 1 + 20);
    passwordEdit->setGeometry(userEdit->x(), passwordLabel->y(), editWidth, editHeight);
    okButton->adjustSize();
    okButton->move(passwordEdit->x(), passwordEdit->geometry().bottom() + 1 + 20);
    setFixedSize(passwordEdit->geometry().right() + 1 + 50, okButton->geometry().bottom() + 1 + 40);
}

void LoginWindow::clearEntries()
{
    userEdit->clear();
    passwordEdit->clear();
    userEdit->setFocus();
}

QString LoginWindow::userName() const { return userEdit->text(); }
QString LoginWindow::password() const { return passwordEdit->text(); }

bool askForAccount(QWidget* parent, const std::function<bool(const QString&, const QString&)>& tryAccount)
{
    const auto window = std::make_unique<LoginWindow>(parent);
    for (int attempt = 0;;) {
        window->clearEntries();
        window->exec();
        if (tryAccount(window->userName(), window->password()))
            return true;
        ++attempt;
        if (attempt == kAttempts) {
            dialogs::error(invalidLoginText());
            return false;
        }
        if (!dialogs::question(invalidLoginText(), MessageKind::Warning)) {
            dialogs::error(invalidLoginText());
            return false;
        }
    }
}

}  // namespace kelvo
