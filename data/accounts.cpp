#include "data/accounts.h"

#include "data/database.h"
#include "data/session.h"
#include "model/messages.h"
#include "model/settings_rows.h"

namespace kelvo {

namespace {

const QString kTrue = QStringLiteral("true");

// A flag as the session keeps it: lower-case text, a Null flag "false".
QString FlagText(const QVariant& cell)
{
    return cell.isNull() ? QStringLiteral("false") : CellText(cell).toLower();
}

// The condition that picks an account by its name and password. Names compare without
// regard to case, as every text does; a password compares exactly.
QString AccountCondition(const QString& user, const QString& password)
{
    return QStringLiteral("usr = ") + SqlQuote(user) + QStringLiteral(" and strcomp(pas, ") + SqlQuote(password)
           + QStringLiteral(", 0) = 0 and act = true;");
}

}  // namespace

bool LoginAccount(bool useAdministrator, const QString& user, const QString& password)
{
    Session::current().user.clear();
    Session::current().password.clear();
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
        account =
            SelectToVariant(QStringLiteral("select usr, pas from users where ") + AccountCondition(user, password));
        if (account.isNull())
            return false;
    }
    Session::current().user = account.text(0, 0);
    Session::current().password = account.text(0, 1);
    return true;
}

bool ReadUserPermissions(const QString& user, const QString& password)
{
    Session::current().permissions.reset();
    const QString sql = QStringLiteral("select * from users where ") + AccountCondition(user, password);
    QStringList flags;
    try {
        const engine::ResultSet result = Session::current().con.select(sql);
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
    Session::current().permissions = flags;
    return true;
}

void ApplyPermissions()
{
    Session& session = Session::current();
    if (!session.con.isOpen() || !session.permissions)
        return;
    session.AnnounceRights({*session.permissions, IsTestLocked()});
}

bool IsTestLocked()
{
    const RowSet lock = SelectToVariant(settingSelectStatement(SettingId::LockFlag));
    return !lock.isNull() && lock.text(0, 0).toLower() == kTrue;
}

void RevokeAccount() { Session::current().Revoke(); }

}  // namespace kelvo
