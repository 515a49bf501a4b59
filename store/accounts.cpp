#include "store/accounts.h"

#include "authoring/test_editor_window.h"
#include "results/results_window.h"
#include "store/common.h"
#include "store/dialog_service.h"
#include "store/main_window.h"

#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>

namespace kelvo {

namespace {

const QString kTrue = QStringLiteral("true");

// A flag as gPermissions keeps it: lower-case text, a Null flag "false".
QString FlagText(const QVariant& cell)
{
    return cell.isNull() ? QStringLiteral("false") : CellText(cell).toLower();
}

bool HasFlag(const QStringList& flags, int index)
{
    return index < flags.size() && flags[index] == kTrue;
}

// The settings of the editor's page control, lock button and administrator page as no
// account may use them.
void DisableEditor()
{
    if (!Form3)
        return;
    Form3->btnLock->setEnabled(false);
    Form3->ShowLockLook(false);
    if (const int page = Form3->PageControl->indexOf(Form3->Sheet9); page >= 0)
        Form3->PageControl->setTabVisible(page, false);
}

}  // namespace

bool LoginAccount(bool useAdministrator, const QString& user, const QString& password)
{
    gCurrentUser.clear();
    gCurrentPassword.clear();
    RowSet account;
    if (useAdministrator) {
        account = SelectToVariant(QStringLiteral("select usr, pas from users where per0 = true;"));
        if (account.isNull()) {
            dialogs::error(QStringLiteral(
                "Error code m186. Error in reading administrator account!\r\n\r\nKelvo can not open "
                "Test without valid administrator account data!"));
            return false;
        }
    } else {
        account = SelectToVariant(QStringLiteral("select usr, pas from users where usr = ") + SqlQuote(user)
                                  + QStringLiteral(" and pas = ") + SqlQuote(password)
                                  + QStringLiteral(" and act = true;"));
        if (account.isNull())
            return false;
    }
    gCurrentUser = account.text(0, 0);
    gCurrentPassword = account.text(0, 1);
    return true;
}

bool ReadUserPermissions(const QString& user, const QString& password)
{
    gPermissions.reset();
    const QString sql = QStringLiteral("select * from users where usr= ") + SqlQuote(user)
                        + QStringLiteral(" and pas= ") + SqlQuote(password) + QStringLiteral(" and act = true;");
    QStringList flags;
    try {
        const engine::ResultSet result = Form1->con.select(sql);
        // Without the account's row there are no flags to read: an unknown or inactive
        // account must not open the test with everything switched off but still open.
        if (result.rowCount() > 0) {
            for (int i = 0;; ++i) {
                const QString name = QStringLiteral("per%1").arg(i);
                int column = -1;
                for (int c = 0; c < result.columnCount(); ++c)
                    if (result.columns[static_cast<std::size_t>(c)].name.compare(name, Qt::CaseInsensitive) == 0)
                        column = c;
                if (column < 0)
                    break;
                flags << FlagText(result.rows.front()[static_cast<std::size_t>(column)]);
            }
        }
    } catch (const engine::EngineError&) {
        flags.clear();
    }
    if (flags.size() < 6) {
        dialogs::error(QStringLiteral(
            "Error in reading user permissions!\r\n\r\nKelvo can't open Test without reading users permissions!"));
        return false;
    }
    gPermissions = flags;
    return true;
}

void ApplyPermissions()
{
    if (!Form1 || !Form1->con.isOpen() || !gPermissions)
        return;
    const QStringList& flags = *gPermissions;
    const bool administrator = HasFlag(flags, 0);
    const auto allows = [&](int flag) { return administrator || HasFlag(flags, flag); };
    const bool locked = IsTestLocked();
    Form1->btnTest->setEnabled(allows(1) && locked);
    Form1->btnResult->setEnabled(allows(2) && locked);
    if (Form3) {
        if (const int page = Form3->PageControl->indexOf(Form3->Sheet9); page >= 0)
            Form3->PageControl->setTabVisible(page, administrator);
        Form3->btnLock->setEnabled(allows(5));
    }
    if (Form13) {
        Form13->toolExport->setEnabled(allows(3));
        bool modify = allows(4);
        if (modify) {
            const RowSet runs = SelectToVariant(QStringLiteral("select count(*) from datac;"));
            modify = !runs.isNull() && runs.integer(0, 0) > 0;
        }
        Form13->toolModify->setEnabled(modify);
    }
}

bool IsTestLocked()
{
    const RowSet lock = SelectToVariant(QStringLiteral("select v from testd where id = 0;"));
    return !lock.isNull() && lock.text(0, 0).toLower() == kTrue;
}

void RevokeAccount()
{
    gCurrentUser.clear();
    gCurrentPassword.clear();
    gPermissions.reset();
    if (Form1) {
        Form1->btnTest->setEnabled(false);
        Form1->btnResult->setEnabled(false);
        Form1->con.close();
    }
    DisableEditor();
    if (Form13) {
        Form13->toolExport->setEnabled(false);
        Form13->toolModify->setEnabled(false);
        Form13->ResetView();
    }
}

}  // namespace kelvo
