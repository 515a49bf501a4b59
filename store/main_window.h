#pragma once
// The main window: three buttons (Create, Test, Result), the program's one database
// connection `con`, and the opening of a test file on it.

#include "engine/connection.h"

#include <QString>
#include <QStringList>
#include <QWidget>

#include <array>
#include <optional>

class QPushButton;

namespace kelvo {

// The connection template; the text between "Data Source=" and ";Provider=" is the
// file name that OpenTestDatabase replaces.
QString ConnectionStringTemplate();
// The template of the previous file version, tried only to explain a failed opening.
QString OldFormatConnectionStringTemplate();
// Appended for exclusive use of the file.
inline constexpr char kExclusiveModeSuffix[] = "Mode=Share Deny Read|Share Deny Write;";

class TForm1 : public QWidget {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // Points `con` at `fileName` (exclusively when asked) and, unless `skipCheck`,
    // checks its tables. On failure the previous test stays open and current.
    bool OpenTestDatabase(const QString& fileName, bool skipCheck, bool exclusive);
    // Reads the table list of the open file into gTableNames when it has every
    // required table.
    bool CheckTestTables();
    // Warns when `fileName` opens as a file of the previous version.
    void CheckOldFormat(const QString& fileName);
    // Disables Test and Result, then lets the account's permissions enable them.
    void RefreshMainButtons();
    // Reads the three main keys and whether they are on from the open test.
    void LoadMainShortcuts();

    engine::Connection con;
    QPushButton* btnCreate;
    QPushButton* btnTest;
    QPushButton* btnResult;

public slots:
    void btnCreateClick();
    void btnTestClick();
    void btnResultClick();

protected:
    void keyReleaseEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // `virtualKey` is the released key as a key code: digits and capital letters by
    // their character codes, keypad digits (NumLock on) 96 to 105.
    void FormKeyUp(int virtualKey);
    void FormResize();
};

// The program's one instance, owned by the main routine.
extern TForm1* Form1;

// Shared state of the open test. Cleared at shut-down; nothing of it is written.
extern QString gCurrentTestFile;
extern QString gCurrentUser;
extern QString gCurrentPassword;
// The account's flags as "true"/"false", per0 first; nothing until they are read.
extern std::optional<QStringList> gPermissions;
// The tables of the open file in the order the connection lists them.
extern QStringList gTableNames;
extern const std::array<QString, 8> RequiredTableNames;
// The folder of the help pages beside the executable.
extern QString gHelpFile;
// The keys of Create, Test and Result, and whether they are active.
extern std::array<QChar, 3> gMainShortcutKeys;
extern bool gMainShortcutsOn;

}  // namespace kelvo
