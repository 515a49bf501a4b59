#include "data/session.h"

#include "data/schema.h"
#include "engine/connection_string.h"
#include "model/messages.h"

#include <stdexcept>

namespace kelvo {

const std::array<QString, 8> RequiredTableNames = {
    QStringLiteral("items"), QStringLiteral("answers"), QStringLiteral("variables"),
    QStringLiteral("formula"), QStringLiteral("userf"), QStringLiteral("keyb"),
    QStringLiteral("testd"), QStringLiteral("users")};

namespace {

Session* gCurrentSession = nullptr;

const QString kNotValidError = QStringLiteral(
    "This Access file is not valid Kelvo.mdb file or it is not supported by this Kelvo product "
    "version!\r\n\r\nCheck product version of Kelvo.mdb test file and Kelvo application!");
const QString kConnectFailedError =
    QStringLiteral("Connecting to the selected Access (*.mdb) file failed!\r\n\r\nCause: ");

QString ConnectionStringWithPassword(const QString& password)
{
    return QStringLiteral("Data Source=C:\\db2.mdb;Provider=Microsoft.Jet.OLEDB.4.0;Jet OLEDB:Engine "
                          "Type=5;Jet OLEDB:Database Password=")
           + password + QLatin1Char(';');
}

// The connection string with the file name that follows "Data Source=" replaced by
// `fileName`, where it stands. A name that a plain value could not hold (a ";", outer
// blanks) travels in quotes, so that any name the file system allows opens that file.
QString WithFileName(const QString& connectionString, const QString& fileName)
{
    return engine::withDataSource(connectionString, fileName);
}

// Shared use carries no mode part; exclusive use carries exactly one.
QString WithShareMode(const QString& connectionString, bool exclusive)
{
    QString result = engine::withoutMode(connectionString);
    if (exclusive)
        result += QLatin1String(kExclusiveModeSuffix);
    return result;
}

}  // namespace

QString ConnectionStringTemplate() { return ConnectionStringWithPassword(kDatabasePassword); }

QString OldFormatConnectionStringTemplate()
{
    return ConnectionStringWithPassword(QStringLiteral("2047_Kavor_Plim_1963"));
}

Session::Session() : previous_(gCurrentSession)
{
    con.setConnectionString(ConnectionStringTemplate());
    gCurrentSession = this;
}

Session::~Session() { gCurrentSession = previous_; }

Session& Session::current()
{
    if (!gCurrentSession)
        throw std::logic_error("No test session exists.");
    return *gCurrentSession;
}

bool Session::OpenTestDatabase(const QString& fileName, bool skipCheck, bool exclusive)
{
    const bool wasConnected = con.isOpen();
    if (wasConnected)
        con.close();
    const QString oldString = con.connectionString();
    const auto restorePrevious = [&] {
        con.close();
        con.setConnectionString(oldString);
        if (!wasConnected)
            return;
        try {
            con.open();
        } catch (const engine::EngineError&) {
            // The previous file went away meanwhile; the program stays without a test.
        }
    };
    try {
        con.setConnectionString(WithShareMode(WithFileName(oldString, fileName), exclusive));
        con.open();
        if (!skipCheck && !CheckTestTables()) {
            restorePrevious();
            dialogs::error(kNotValidError);
            return false;
        }
        testFile = fileName;
        return true;
    } catch (const engine::EngineError& e) {
        restorePrevious();
        dialogs::error(kConnectFailedError + e.message());
        CheckOldFormat(fileName);
        return false;
    }
}

bool Session::CheckTestTables()
{
    if (!con.isOpen())
        return false;
    const QStringList names = con.tableNames();
    if (names.isEmpty())
        return false;
    for (const QString& required : RequiredTableNames)
        if (!names.contains(required, Qt::CaseSensitive))
            return false;
    tableNames = names;
    return true;
}

void Session::CheckOldFormat(const QString& fileName)
{
    engine::Connection old;
    old.setConnectionString(WithFileName(OldFormatConnectionStringTemplate(), fileName));
    try {
        old.open();
    } catch (const engine::EngineError&) {
        return;  // not a file of the previous version either
    }
    old.close();
    dialogs::warning(QStringLiteral(
        "Trying to open the old version of mdb file (v2.0) which is not compatible with this "
        "version of the program (v3.0)!"));
}

void Session::Clear()
{
    columnTable.close();
    con.close();
    con.setConnectionString(ConnectionStringTemplate());
    tableNames.clear();
    permissions.reset();
    password.clear();
    user.clear();
    testFile.clear();
}

void Session::AnnounceTestOpened() { emit testOpened(); }

void Session::AnnounceRights(const AccountRights& rights) { emit rightsChanged(rights); }

void Session::Revoke()
{
    user.clear();
    password.clear();
    permissions.reset();
    con.close();
    emit accountRevoked();
}

}  // namespace kelvo
