// The Administrator page of the test editor: the accounts other than the
// administrator's with their permissions, and the tools of the test file (compaction,
// the administrator account, the About box).
#include "editor/editor_window.h"

#include "dataaware/data_check_box.h"
#include "dataaware/data_grid.h"
#include "dataaware/data_line_edit.h"
#include "dataaware/dataset.h"
#include "dataaware/navigator.h"
#include "dataaware/navigator_shortcuts.h"
#include "editor/drop_columns_window.h"
#include "editor/editor_controls.h"
#include "editor/page_controls.h"
#include "ui/application.h"
#include "ui/printable_text.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

namespace kelvo {

using dataaware::GridColumn;
using dataaware::Verdict;

namespace {

const QString kAccountLengthWarning =
    QStringLiteral("User name and user password must have length between 1 and 20 character!");
const QString kIllegalCharacterWarning = QStringLiteral("Illegal character in user name or password: ");
const QString kAllowedCharacters = QStringLiteral(
    "You can use only this characters:  ['a'..'z', '0'..'9', ' ', '_'].\r\n\r\nUpper case (\"A\"..\"Z\") are not "
    "allowed!");
const QString kDuplicateUserError =
    QStringLiteral("User Name must be unique! You can't have 2 identical user Names in this database!");

constexpr int kLongestAccountText = 20;

bool IsAccountCharacter(QChar c)
{
    return c == u' ' || c == u'_' || (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z');
}

// Names and passwords are trimmed, 1 to 20 characters long, and made only of lower-case
// letters, digits, blanks and "_".
Verdict AccountBeforePost(dataaware::Dataset& users)
{
    const QString user = users.value(QStringLiteral("usr")).toString().trimmed();
    const QString password = users.value(QStringLiteral("pas")).toString().trimmed();
    users.setValue(QStringLiteral("usr"), user);
    users.setValue(QStringLiteral("pas"), password);
    for (const QString& text : {user, password})
        if (text.isEmpty() || text.size() > kLongestAccountText)
            return Verdict::refuse(kAccountLengthWarning);
    for (const QString& text : {user, password})
        for (const QChar c : text)
            if (!IsAccountCharacter(c))
                return Verdict::refuse(kIllegalCharacterWarning + c + QStringLiteral("\r\n\r\n") + kAllowedCharacters);
    return Verdict::proceed();
}

// A new account shows the flags the table gives it when they are left as they are.
Verdict AccountDefaults(dataaware::Dataset& users)
{
    const std::pair<const char*, int> defaults[] = {{"act", 1},  {"per0", 0}, {"per1", 1}, {"per2", 0},
                                                    {"per3", 0}, {"per4", 0}, {"per5", 0}};
    for (const auto& [field, value] : defaults)
        users.setValue(QLatin1String(field), value);
    return Verdict::proceed();
}

// Passwords are never shown in clear text.
QString MaskedPassword(const QVariant& value)
{
    return value.toString().isEmpty() ? QString() : QStringLiteral("********");
}

}  // namespace

void TForm3::buildAdministratorPage()
{
    qusers = new dataaware::Dataset(this);
    qusers->setObjectName(QStringLiteral("qusers"));
    BindPageDataset(*qusers, QStringLiteral("select * from users where per0 <> true;"), QStringLiteral("users"),
                    {QStringLiteral("autoid")});
    qusers->setBeforePost([this] { return AccountBeforePost(*qusers); });
    qusers->setNewRecord([this] { return AccountDefaults(*qusers); });
    qusers->setWriteFailureText([](const engine::EngineError&) { return kDuplicateUserError; });

    auto* layout = new QVBoxLayout(Sheet9);
    speed4 = MakeButton(Sheet9, "speed4", QStringLiteral("Drop"));
    Speed8 = MakeButton(Sheet9, "Speed8", QStringLiteral("Compact"));
    speed9 = MakeButton(Sheet9, "speed9", QStringLiteral("Administrator"), QStringLiteral("Set administrator account"));
    nav6 = MakeNavigator(*qusers, Sheet9, "nav6", QStringLiteral("Accounts navigator"));
    Button1 = MakeButton(Sheet9, "Button1", QStringLiteral("About"));
    btnHelp8 = MakeHelpButton(Sheet9, "btnHelp8", QStringLiteral("14"));
    AddToolRow(*layout, {speed4, Speed8, speed9, nav6, Button1, btnHelp8});
    connect(speed4, &QPushButton::clicked, this, guardedSlot([this] { ShowDropColumnsWindow(this); }));
    connect(Speed8, &QPushButton::clicked, this, guardedSlot([this] { Speed8Click(); }));
    connect(speed9, &QPushButton::clicked, this, guardedSlot([this] { speed9Click(); }));
    connect(Button1, &QPushButton::clicked, this, guardedSlot([this] { Button1Click(); }));

    std::vector<GridColumn> columns = {
        GridColumn::editable(QStringLiteral("usr"), QStringLiteral("User name")),
        GridColumn::editable(QStringLiteral("pas"), QStringLiteral("User password")),
        GridColumn::editable(QStringLiteral("act"), QStringLiteral("Active")),
        GridColumn::editable(QStringLiteral("per1"), QStringLiteral("Run test")),
        GridColumn::editable(QStringLiteral("per2"), QStringLiteral("View results")),
        GridColumn::editable(QStringLiteral("per3"), QStringLiteral("Export results")),
        GridColumn::editable(QStringLiteral("per4"), QStringLiteral("Modify results")),
        GridColumn::editable(QStringLiteral("per5"), QStringLiteral("Modify test")),
    };
    // The grid only shows; the account is edited below it.
    for (GridColumn& column : columns)
        column.readOnly = true;
    columns[1].format = MaskedPassword;
    dbg6 = MakeDataGrid(*qusers, Sheet9, "dbg6", QStringLiteral("Accounts"), std::move(columns));
    dbg6->setEditTriggers(QAbstractItemView::NoEditTriggers);
    layout->addWidget(dbg6, 1);
    new dataaware::NavigatorShortcuts(*dbg6, *nav6);

    auto* account = new QFormLayout;
    DBEdit1 = new dataaware::DataLineEdit(*qusers, QStringLiteral("usr"), Sheet9);
    DBEdit1->setObjectName(QStringLiteral("DBEdit1"));
    DBEdit1->setAccessibleName(QStringLiteral("User name"));
    DBEdit2 = new dataaware::DataLineEdit(*qusers, QStringLiteral("pas"), Sheet9);
    DBEdit2->setObjectName(QStringLiteral("DBEdit2"));
    DBEdit2->setAccessibleName(QStringLiteral("User password"));
    DBEdit2->setEchoMode(QLineEdit::Password);
    for (const auto& [edit, caption] : {std::pair{DBEdit1, QStringLiteral("User name:")},
                                        std::pair{DBEdit2, QStringLiteral("User password:")}}) {
        KeepPrintable(edit);
        auto* label = new QLabel(caption, Sheet9);
        label->setBuddy(edit);
        account->addRow(label, edit);
    }
    layout->addLayout(account);

    const auto flag = [this](const char* name, const char* field, const QString& caption) {
        auto* box = new dataaware::DataCheckBox(*qusers, QLatin1String(field), caption, Sheet9);
        box->setObjectName(QLatin1String(name));
        return box;
    };
    dbCheck = flag("dbCheck", "act", QStringLiteral("Active"));
    dbcheck1 = flag("dbcheck1", "per1", QStringLiteral("Run test"));
    dbcheck2 = flag("dbcheck2", "per2", QStringLiteral("View results"));
    dbcheck3 = flag("dbcheck3", "per3", QStringLiteral("Export results"));
    dbcheck4 = flag("dbcheck4", "per4", QStringLiteral("Modify results"));
    dbcheck5 = flag("dbcheck5", "per5", QStringLiteral("Modify test"));
    auto* flags = new QHBoxLayout;
    for (QWidget* box : std::initializer_list<QWidget*>{dbCheck, dbcheck1, dbcheck2, dbcheck3, dbcheck4, dbcheck5})
        flags->addWidget(box);
    flags->addStretch();
    layout->addLayout(flags);
}

}  // namespace kelvo
