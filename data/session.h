#pragma once
// The open test: the program's one connection, the file it points at, the logged-in
// account and its flags, and the tables the file holds. Database routines and windows
// reach it through Session::current(); windows learn through its signals that a test
// was opened or that the account's rights changed, so that nothing below them calls
// into a window.

#include "data/table_dataset.h"
#include "engine/connection.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

namespace kelvo {

// The connection template; the text between "Data Source=" and ";Provider=" is the
// file name that OpenTestDatabase replaces.
QString ConnectionStringTemplate();
// The template of the previous file version, tried only to explain a failed opening.
QString OldFormatConnectionStringTemplate();
// Appended for exclusive use of the file.
inline constexpr char kExclusiveModeSuffix[] = "Mode=Share Deny Read|Share Deny Write;";

extern const std::array<QString, 8> RequiredTableNames;

// What the logged-in account may do in the open test, as the windows apply it.
struct AccountRights {
    // The flags per0, per1, ... as "true"/"false".
    QStringList flags;
    // Row 0 of testd: the test is locked and can be taken.
    bool locked = false;

    bool administrator() const { return allowsFlag(0); }
    // An administrator may do everything.
    bool allows(int flag) const { return administrator() || allowsFlag(flag); }

private:
    bool allowsFlag(int flag) const { return flag < flags.size() && flags[flag] == QLatin1String("true"); }
};

class Session : public QObject {
    Q_OBJECT
public:
    // The newest session becomes the current one until it is destroyed.
    Session();
    ~Session() override;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Throws std::logic_error while no session exists.
    static Session& current();

    // Points `con` at `fileName` (exclusively when asked) and, unless `skipCheck`,
    // checks its tables. On failure the previous test stays open and current.
    bool OpenTestDatabase(const QString& fileName, bool skipCheck, bool exclusive);
    // Reads the table list of the open file into tableNames when it has every
    // required table.
    bool CheckTestTables();
    // Warns when `fileName` opens as a file of the previous version.
    void CheckOldFormat(const QString& fileName);

    // Closes the test and forgets it, its account and its tables, as at shut-down.
    void Clear();

    // Tells the windows that a test was opened (or created) and logged in to.
    void AnnounceTestOpened();
    // Tells the windows what the account may do now.
    void AnnounceRights(const AccountRights& rights);
    // Forgets the account and disconnects the test; the windows disable what its flags
    // enabled.
    void Revoke();

    engine::Connection con;
    QString testFile;
    QString user;
    QString password;
    // The account's flags as "true"/"false", per0 first; nothing until they are read.
    std::optional<QStringList> permissions;
    // The tables of the open file in the order the connection lists them.
    QStringList tableNames;
    // The table the column routines open by name to look up its fields.
    TableDataset columnTable;

signals:
    void testOpened();
    void rightsChanged(const kelvo::AccountRights& rights);
    void accountRevoked();

private:
    Session* previous_ = nullptr;
};

}  // namespace kelvo
