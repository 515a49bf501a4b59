#include "editor/admin_account_window.h"

#include "data/accounts.h"
#include "data/database.h"
#include "data/session.h"
#include "editor/login_dialog.h"
#include "engine/connection.h"
#include "model/settings_rows.h"
#include "ui/application.h"
#include "ui/dialog_service.h"
#include "ui/help.h"
#include "ui/printable_text.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kelvo {

namespace {

const int kMaxAccountText = 20;

QLineEdit* AccountEdit(QWidget* parent, QFormLayout* form, const char* name, const QString& caption, bool secret)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setMaxLength(kMaxAccountText);
    edit->setAccessibleName(QString(caption).remove(QLatin1Char(':')));
    if (secret)
        edit->setEchoMode(QLineEdit::Password);
    KeepPrintable(edit);
    KeepLowerCase(edit);
    auto* label = new QLabel(caption, parent);
    label->setBuddy(edit);
    form->addRow(label, edit);
    return edit;
}

bool IdentificationOn()
{
    const RowSet row = SelectToVariant(settingSelectStatement(SettingId::UserIdentification));
    return !row.isNull() && isTrueText(row.text(0, 0));
}

}  // namespace

TForm11::TForm11(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TForm11"));
    setWindowTitle(QStringLiteral("Set Administrator account"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    Edit1 = AccountEdit(this, form, "Edit1", QStringLiteral("Administrator name:"), false);
    Edit2 = AccountEdit(this, form, "Edit2", QStringLiteral("Administrator password:"), true);
    Edit3 = AccountEdit(this, form, "Edit3", QStringLiteral("Retype password:"), true);
    layout->addLayout(form);
    chIdentification = new QCheckBox(QStringLiteral("User identification"), this);
    chIdentification->setObjectName(QStringLiteral("chIdentification"));
    layout->addWidget(chIdentification);

    auto* buttons = new QHBoxLayout;
    btn1 = new QPushButton(QStringLiteral("&Help"), this);
    btn1->setObjectName(QStringLiteral("btn1"));
    btn1->setAutoDefault(false);
    btn2 = new QPushButton(QStringLiteral("&Save"), this);
    btn2->setObjectName(QStringLiteral("btn2"));
    btn2->setDefault(true);
    btn3 = new QPushButton(QStringLiteral("&Cancel"), this);
    btn3->setObjectName(QStringLiteral("btn3"));
    btn3->setAutoDefault(false);
    buttons->addWidget(btn1);
    buttons->addStretch();
    buttons->addWidget(btn2);
    buttons->addWidget(btn3);
    layout->addLayout(buttons);

    connect(btn1, &QPushButton::clicked, this, guardedSlot([this] { btn1Click(); }));
    connect(btn2, &QPushButton::clicked, this, guardedSlot([this] { btn2Click(); }));
    connect(btn3, &QPushButton::clicked, this, &QDialog::reject);
}

void TForm11::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    guarded([this] { FormShow(); });
}

void TForm11::FormShow()
{
    // The logged-in account becomes the first administrator account.
    LoginAccount(true, {}, {});
    Edit1->setText(Session::current().user);
    Edit2->setText(Session::current().password);
    Edit3->setText(Session::current().password);
    chIdentification->setChecked(IdentificationOn());
}

void TForm11::btn1Click() { ShowHelpTopic(QStringLiteral("27")); }

void TForm11::btn2Click()
{
    const QString name = Edit1->text();
    const QString password = Edit2->text();
    if (password != Edit3->text()) {
        dialogs::warning(QStringLiteral("You have entered two passwords are not equal!\r\n\r\nType and retype "
                                        "administrator password again!"));
        return;
    }
    const auto fits = [](const QString& text) { return !text.isEmpty() && text.size() <= kMaxAccountText; };
    if (!fits(name) || !fits(password)) {
        dialogs::warning(QStringLiteral("User name and Password must have length: 1..20"));
        return;
    }
    if (name == Session::current().user && password == Session::current().password)
        return;
    if (!dialogs::question(QStringLiteral("Change administrator username and password?"), MessageKind::Information))
        return;
    int changed = 0;
    try {
        changed = Session::current().con.execute(QStringLiteral("update users set usr = ") + SqlQuote(name)
                                     + QStringLiteral(", pas= ") + SqlQuote(password)
                                     + QStringLiteral(" where per0 = true;"));
    } catch (const engine::EngineError&) {
        // Two administrator accounts, or a name another account has: user names are
        // unique, so nothing was changed.
        changed = -1;
    }
    if (changed != 1) {
        dialogs::error(QStringLiteral("Internal error: error code 127.\r\n\r\nError in updating the administrator account"));
        return;
    }
    dialogs::warning(QStringLiteral("Successfully updated Administrator account! Don't forget administrator username "
                                    "and password!\r\n\r\nWithout username and password you can't open Kelvo "
                                    "database!"));
    LoginAccount(true, {}, {});
    accept();
}

void TForm11::done(int result)
{
    guarded([this] { FormCloseQuery(); });
    QDialog::done(result);
}

void TForm11::FormCloseQuery()
{
    const bool on = chIdentification->isChecked();
    const RowSet row = SelectToVariant(settingSelectStatement(SettingId::UserIdentification));
    if (on && !row.isNull() && row.text(0, 0) == QLatin1String("false"))
        dialogs::warning(QStringLiteral(
            "Don't forget your Username and Password because you have activated User Identification in Kelvo "
            "file!\r\n\r\nWithout Username and Password no one can't open this Test!"));
    ExecSQL(flagUpdateStatement(SettingId::UserIdentification, on));
}

}  // namespace kelvo
