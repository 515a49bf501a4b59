// The test editor's test-file operations: creating a new test, opening one with login
// and permissions, and compacting the open one.
#include "editor/editor_window.h"

#include "data/accounts.h"
#include "data/database.h"
#include "data/schema.h"
#include "data/session.h"
#include "editor/admin_account_window.h"
#include "editor/login_dialog.h"
#include "engine/connection.h"
#include "model/settings_rows.h"
#include "ui/application.h"
#include "ui/dialog_service.h"
#include "ui/wait_window.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>

#include <filesystem>
#include <optional>
#include <system_error>

namespace kelvo {

namespace {

const QString kTrue = QStringLiteral("true");

// The dialog filter "Description|*.ext|..." as the file dialogs take it.
QString DialogFilter(const EditorFileDialog& dialog)
{
    const QStringList parts = dialog.filter.split(QLatin1Char('|'));
    QStringList descriptions;
    for (qsizetype i = 0; i < parts.size(); i += 2)
        descriptions << parts[i];
    return descriptions.join(QStringLiteral(";;"));
}

// A name typed without extension gets the dialog's default one.
QString WithDefaultExtension(const QString& name, const EditorFileDialog& dialog)
{
    if (QFileInfo(name).suffix().isEmpty())
        return name + QLatin1Char('.') + dialog.defaultExt;
    return name;
}

std::filesystem::path FsPath(const QString& path) { return std::filesystem::path(QFile::encodeName(path).toStdString()); }

// The connection the program had before a new file was made, restored when making it
// fails.
struct PreviousTest {
    QString connectionString = Session::current().con.connectionString();
    bool connected = Session::current().con.isOpen();
    QString file = Session::current().testFile;
    QStringList tables = Session::current().tableNames;
};

void RestorePreviousTest(const PreviousTest& previous)
{
    Session::current().con.close();
    Session::current().con.setConnectionString(previous.connectionString);
    Session::current().testFile = previous.file;
    Session::current().tableNames = previous.tables;
    if (!previous.connected)
        return;
    try {
        Session::current().con.open();
    } catch (const engine::EngineError&) {
        // The previous test went away meanwhile; the program stays without a test.
        RevokeAccount();
    }
}

// A half-made new file is never left behind: it did not exist before, so it goes.
void DiscardNewFile(const QString& fileName, const PreviousTest& previous)
{
    Session::current().con.close();
    QFile::remove(fileName);
    QFile::remove(fileName + QStringLiteral("-journal"));
    RestorePreviousTest(previous);
}

// Connects the program's connection again as it was configured. A test that cannot be
// reached any more is closed for good: no account stays logged in to it.
bool Reconnect()
{
    try {
        Session::current().con.open();
        return true;
    } catch (const engine::EngineError& e) {
        RevokeAccount();
        dialogs::error(QStringLiteral("Connecting to the selected Access (*.mdb) file failed!\r\n\r\nCause: ")
                       + e.message());
        return false;
    }
}

// Copies the test to `backup`, written under a temporary name beside it first, so that
// a failed copy leaves no partial backup.
bool CopyToBackup(const QString& source, const QString& backup)
{
    const QString partial = backup + QStringLiteral(".part");
    std::error_code error;
    std::filesystem::copy_file(FsPath(source), FsPath(partial), std::filesystem::copy_options::overwrite_existing,
                               error);
    if (!error)
        std::filesystem::rename(FsPath(partial), FsPath(backup), error);
    if (error) {
        std::filesystem::remove(FsPath(partial), error);
        return false;
    }
    return true;
}

// The Properties page of the test being left is kept before the file dialog asks for
// the next test; empty when the person cancels.
QString LeaveTestAndChooseFile(TForm3& editor, const QString& title, bool newFile)
{
    if (Session::current().con.isOpen())
        editor.SaveSettings();
    editor.openDialog.title = title;
    const QString filter = DialogFilter(editor.openDialog);
    return newFile ? dialogs::newFileName(&editor, title, filter) : dialogs::openFileName(&editor, title, filter);
}

}  // namespace

// --- creating a test --------------------------------------------------------------------

void TForm3::CreateMdbFile(const QString& fileName, QString& message)
{
    try {
        engine::createDatabase(fileName, QString());
    } catch (const engine::EngineError& e) {
        message = e.message();
        throw SilentAbort();
    }
}

bool TForm3::CreateSchema(const QString& fileName)
{
    if (!Session::current().OpenTestDatabase(fileName, true, true))
        return false;
    {
        // Tables, password and default rows stand or fall together.
        engine::Transaction transaction(Session::current().con);
        writeSchema(Session::current().con);
        InsertDefaults();
        transaction.commit();
    }
    // Shared use again, as every open test is.
    if (!Session::current().OpenTestDatabase(Session::current().testFile, true, false)) {
        dialogs::error(QStringLiteral("Internal error: error code 109. If you get this error please send e-mail to: ")
                       + QStringLiteral("\r\n\r\n") + kSupportAddress);
        return false;
    }
    return true;
}

bool TForm3::InsertDefaults()
{
    writeDefaultRows(Session::current().con);
    return true;
}

void TForm3::btnNewClick()
{
    const QString chosen = LeaveTestAndChooseFile(*this, QStringLiteral("Create new Kelvo Test"), true);
    if (chosen.isEmpty())
        return;
    // Blanks may end a file name; only a name of nothing but blanks is none.
    if (chosen.trimmed().isEmpty())
        return;
    const QString fileName = WithDefaultExtension(chosen, openDialog);
    if (QFileInfo::exists(fileName) || QFileInfo(fileName).isSymLink()) {
        dialogs::warning(QStringLiteral(
            "You can't create new Kelvo test on existing Access files!\r\n\r\nIf you want to open existing Kelvo "
            "test you should click on \"Open\" button!"));
        return;
    }
    openDialog.fileName = fileName;
    if (fileName.size() > 259) {
        dialogs::error(QStringLiteral("In the Windows API (with some exceptions), the maximum length for a path is "
                                      "MAX_PATH, which is defined as 260 characters!\r\n\r\nThe length of the path "
                                      "of your file: %1\r\n\r\nReduce the length of the path of your file!")
                           .arg(fileName.size()));
        return;
    }

    struct ButtonDisabled {
        QPushButton* button;
        explicit ButtonDisabled(QPushButton* b) : button(b) { button->setEnabled(false); }
        ~ButtonDisabled() { button->setEnabled(true); }
    } newDisabled(btnNew);
    const WaitWindowScope wait(QStringLiteral("Create a new Kelvo test.."));

    QString message;
    try {
        CreateMdbFile(fileName, message);
    } catch (const SilentAbort&) {
        dialogs::error(QStringLiteral("Error in creating .mdb file!\r\n\r\nMake sure you have installed "
                                      "JET4.0!\r\n\r\nIf you don't have JET4.0 create a new Kelvo database from a "
                                      "template (Open button)!")
                       + QStringLiteral("\r\n\r\n") + message);
        return;
    }

    const PreviousTest previous;
    CloseDataSets();
    bool created = false;
    try {
        created = CreateSchema(fileName);
    } catch (const std::exception&) {
        created = false;
    }
    if (!created) {
        DiscardNewFile(fileName, previous);
        RebindDataSets();
        dialogs::error(QStringLiteral("Failed to create a new Kelvo database!\r\n\r\nIf you often get this message "
                                      "you have to create a new Kelvo database from a template (Open button)!"));
        return;
    }

    // The pages show the new file whatever the lock handler makes of the click below.
    RebindDataSets();
    btnLock->setEnabled(true);
    ShowLockLook(false);
    btnLock->click();
    Session::current().user = kDefaultAdministrator;
    Session::current().password = kDefaultAdministrator;
    if (ReadUserPermissions(Session::current().user, Session::current().password))
        ApplyPermissions();
    Session::current().AnnounceTestOpened();
    labInstruction->clear();
    QPalette palette = labInstruction->palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    labInstruction->setPalette(palette);
    dialogs::information(QStringLiteral(
        "New Kelvo test was successfully created and is initially set in the unlocked state!\r\n\r\nWhen you "
        "finish creating the test, lock it!\r\n\r\nYou can then use it!"));
}

// --- opening a test ----------------------------------------------------------------------

bool TForm3::LoginDialog()
{
    return askForAccount(this, [](const QString& user, const QString& password) {
        return LoginAccount(false, user, password);
    });
}

void TForm3::btnOpenClick()
{
    const QString chosen = LeaveTestAndChooseFile(*this, QStringLiteral("Open Kelvo Test"), false);
    if (chosen.isEmpty())
        return;
    if (!QFileInfo::exists(chosen)) {
        dialogs::warning(QStringLiteral(
            "File not exists!\r\n\r\nFor creating new Kelvo Test you should click on \"New\" button!"));
        return;
    }
    openDialog.fileName = chosen;
    CloseDataSets();
    const auto refuse = [this] {
        PageControl->setEnabled(false);
        btnLock->setEnabled(false);
        dialogs::error(QStringLiteral(
            "Opening the test failed!\r\n\r\nMake sure you choose the correct Kelvo. mdb file."));
        // The previous test stays open; its pages show it again.
        RebindDataSets();
    };
    const PreviousTest previous;
    if (!Session::current().OpenTestDatabase(chosen, false, false)) {
        refuse();
        return;
    }

    const RowSet identification = SelectToVariant(settingSelectStatement(SettingId::UserIdentification));
    if (identification.isNull()) {
        // Refused like a file that is no test: the test open before stays open and current.
        RestorePreviousTest(previous);
        dialogs::error(QStringLiteral("Error in reading the settings of the test!\r\n\r\nThe settings row of user "
                                      "identification (-14) is missing, so Kelvo can not tell who may open this "
                                      "test."));
        refuse();
        return;
    }
    ShowLockLook(false);
    const bool loggedIn = identification.text(0, 0).toLower() != kTrue ? LoginAccount(true, {}, {}) : LoginDialog();
    if (!loggedIn || !ReadUserPermissions(Session::current().user, Session::current().password)) {
        RevokeAccount();
        return;
    }
    RebindDataSets();
    ApplyPermissions();
    if (btnLock->isEnabled()) {
        const RowSet lock = SelectToVariant(settingSelectStatement(SettingId::LockFlag));
        if (!lock.isNull() && lock.text(0, 0).toLower() != kTrue)
            btnLock->click();
    }
    Session::current().AnnounceTestOpened();
}

// --- the administrator account ----------------------------------------------------------

void TForm3::speed9Click()
{
    TForm11 window(this);
    window.exec();
}

// --- compaction -----------------------------------------------------------------------------

bool TForm3::CompactDatabase(const QString& source, const QString& dest)
{
    try {
        engine::compactDatabase(source, dest, kDatabasePassword);
        return true;
    } catch (const engine::EngineError&) {
        return false;
    }
}

void TForm3::Speed8Click()
{
    if (Session::current().testFile.isEmpty() || !Session::current().con.isOpen()) {
        dialogs::warning(QStringLiteral(
            "There is no active (open) database connection!\r\n\r\nIf you want to Compact & Repair database you "
            "have to be connected with some Kelvo.mdb Access database file!"));
        return;
    }
    if (!dialogs::question(QStringLiteral("All other users should be disconnected from Kelvo Access file before "
                                          "execute Compact and Repair operation!\r\n\r\nAre all other users "
                                          "disconnected?"),
                           MessageKind::Warning))
        return;
    const QString testFile = Session::current().testFile;
    const QFileInfo testInfo(testFile);
    const QString temp = testInfo.dir().filePath(QStringLiteral("tmp_") + testInfo.fileName());
    if (QFileInfo::exists(temp) && !QFile::remove(temp)) {
        dialogs::error(QStringLiteral("Kelvo couldn't delete file: ") + temp + QStringLiteral("\r\n\r\n")
                       + QStringLiteral("You have to delete this file in Windows explorer or other program!")
                       + QStringLiteral("\r\n\r\n") + QStringLiteral("Compact and Repair operation is aborted!"));
        return;
    }
    const QString backup = UniqueFileName(testFile, QStringLiteral("_backup"));

    CloseDataSets();
    Session::current().con.close();
    if (!CopyToBackup(testFile, backup)) {
        dialogs::warning(QStringLiteral("Kelvo can not make a backup (copy) of Access file: ") + testFile
                         + QStringLiteral("\r\n\r\n") + QStringLiteral("Compact and Repair is aborted!"));
        if (Reconnect())
            RebindDataSets();
        return;
    }
    dialogs::information(QStringLiteral("Kelvo will try to Compact and Repair Access database file! If something "
                                        "goes wrong your \"old\" Access database file is saved in: ")
                         + backup);

    if (!Reconnect())
        return;
    // The engine compacts the test with its password and the copy carries it, so the
    // test never goes without its password: whenever the program dies, the file is the
    // old test or the compacted one, each protected. The result is told only once the
    // file is whole again.
    std::optional<bool> compacted;  // none: the test could not be had exclusively
    if (Session::current().OpenTestDatabase(testFile, false, true)) {
        Session::current().con.close();
        std::error_code error;
        compacted = CompactDatabase(testFile, temp);
        if (*compacted)
            std::filesystem::rename(FsPath(temp), FsPath(testFile), error);
        *compacted = *compacted && !error;
        if (!*compacted)
            QFile::remove(temp);
        QApplication::processEvents();
    }
    if (compacted == true)
        dialogs::information(QStringLiteral("Successfully Compact and Repair Kelvo .mdb database"));
    else if (compacted == false)
        dialogs::error(QStringLiteral("Error in Compact and Repair Kelvo .mdb database!"));

    if (!Session::current().con.isOpen() && !Reconnect())
        return;
    if (Session::current().OpenTestDatabase(testFile, false, false))
        RebindDataSets();
}

}  // namespace kelvo
