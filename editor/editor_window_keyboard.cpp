// The Keyboard page of the test editor: the key that chooses each answer number, and
// the switch of the Properties page that turns the keys on and off.
#include "editor/editor_window.h"

#include "data/database.h"
#include "dataaware/data_grid.h"
#include "dataaware/dataset.h"
#include "editor/page_controls.h"
#include "model/settings_rows.h"
#include "ui/application.h"

#include <QCheckBox>
#include <QVBoxLayout>

namespace kelvo {

namespace {

using dataaware::Dataset;
using dataaware::GridColumn;
using dataaware::NoticeKind;
using dataaware::Verdict;

// A refused key gives way to the stored one, so that the grid never shows a key that
// does not hold.
Verdict RefuseKey(Dataset& keys, const QString& message)
{
    keys.setValue(QStringLiteral("k"), keys.storedValue(QStringLiteral("k")));
    return Verdict::refuse(message, NoticeKind::Error);
}

// A key is one letter a to z or one digit; a capital letter stands for its small one.
Verdict CheckKey(Dataset& keys)
{
    const QString key = FieldText(keys, QStringLiteral("k")).trimmed();
    if (key.size() != 1)
        return RefuseKey(keys, QStringLiteral("Column \"Keyboard key\" have length of 1 character (not null)!"));
    const QChar small = key.front().toLower();
    if (!((small >= u'a' && small <= u'z') || (small >= u'0' && small <= u'9')))
        return RefuseKey(keys, QStringLiteral("A keyboard key must be a letter from a to z or a digit from 0 to "
                                              "9!\r\n\r\nSelect another key keyboard!"));
    keys.setValue(QStringLiteral("k"), QString(small));
    if (CountOf(QStringLiteral("select count(*) from keyb where k = :k and id <> :id;"),
                {{QStringLiteral("k"), QString(small)}, {QStringLiteral("id"), keys.value(QStringLiteral("id"))}})
        != 0)
        return RefuseKey(
            keys, QStringLiteral("This key keyboard already exists within the table!\r\n\r\nSelect another key keyboard!"));
    return Verdict::proceed();
}

}  // namespace

void TForm3::buildKeyboardPage()
{
    qkeyb = MakePageDataset(this, "qkeyb", QStringLiteral("select * from keyb order by id;"), QStringLiteral("keyb"));

    auto* layout = new QVBoxLayout(Sheet6);
    dbg7 = MakeDataGrid(*qkeyb, Sheet6, "dbg7", QStringLiteral("Keyboard keys"),
                        {GridColumn {QStringLiteral("id"), QStringLiteral("Answer number"), true, false, {}, {}},
                         GridColumn::editable(QStringLiteral("k"), QStringLiteral("Keyboard key"))});
    layout->addWidget(dbg7, 1);

    // The table holds one row per answer number: rows are neither added nor removed.
    qkeyb->setBeforeInsert([] { return Verdict::abort(); });
    qkeyb->setBeforeDelete([] { return Verdict::abort(); });
    qkeyb->setBeforePost([this] { return CheckKey(*qkeyb); });
}

void TForm3::chKeyboardClick()
{
    const bool on = chKeyBoard->isChecked();
    ExecSQL(flagUpdateStatement(SettingId::KeyboardEnabled, on));
    Sheet6->setEnabled(on);
}

}  // namespace kelvo
