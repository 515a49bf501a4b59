#include "store/main_window.h"

#include "authoring/test_editor_window.h"
#include "results/results_window.h"
#include "store/accounts.h"
#include "store/common.h"
#include "store/dialog_service.h"
#include "store/test_schema.h"
#include "store/test_window.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>

#include <cmath>

namespace kelvo {

TForm1* Form1 = nullptr;

QString gCurrentTestFile;
QString gCurrentUser;
QString gCurrentPassword;
std::optional<QStringList> gPermissions;
QStringList gTableNames;
const std::array<QString, 8> RequiredTableNames = {
    QStringLiteral("items"), QStringLiteral("answers"), QStringLiteral("variables"),
    QStringLiteral("formula"), QStringLiteral("userf"), QStringLiteral("keyb"),
    QStringLiteral("testd"), QStringLiteral("users")};
QString gHelpFile;
std::array<QChar, 3> gMainShortcutKeys;
bool gMainShortcutsOn = false;

namespace {

const QString kDataSource = QStringLiteral("Data Source=");
const QString kProvider = QStringLiteral(";Provider=");
const QString kMode = QStringLiteral("Mode=");

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

// The connection string with the file name between "Data Source=" and ";Provider="
// replaced by `fileName`. The old name is replaced where it stands, which is its first
// occurrence: a short old name ("a") could otherwise match inside "Data Source" itself.
QString WithFileName(const QString& connectionString, const QString& fileName)
{
    const qsizetype nameStart = connectionString.indexOf(kDataSource);
    if (nameStart < 0)
        return connectionString;
    const qsizetype start = nameStart + kDataSource.size();
    const qsizetype end = connectionString.indexOf(kProvider, start);
    if (end < 0)
        return connectionString;
    QString result = connectionString;
    result.replace(start, end - start, fileName);
    return result;
}

// Shared use carries no mode part; exclusive use carries exactly one.
QString WithShareMode(const QString& connectionString, bool exclusive)
{
    QString result = connectionString;
    const qsizetype mode = result.indexOf(kMode);
    if (mode >= 0)
        result.truncate(mode);
    if (exclusive)
        result += QLatin1String(kExclusiveModeSuffix);
    return result;
}

// The released key as a key code: top-row digits and letters by the codes of "0".."9"
// and "A".."Z", keypad digits (they arrive as digits only while NumLock is on) as 96
// to 105, everything else by its own key number.
int VirtualKeyOf(const QKeyEvent& event)
{
    const int key = event.key();
    const bool digit = key >= Qt::Key_0 && key <= Qt::Key_9;
    if (digit && (event.modifiers() & Qt::KeypadModifier))
        return 96 + (key - Qt::Key_0);
    return key;
}

// A stored key as the code of the key that types it: a letter by its capital, as the
// key code of a letter key is, so that stored letters match too.
int VirtualKeyOf(QChar stored)
{
    return stored.toUpper().unicode();
}

}  // namespace

QString ConnectionStringTemplate() { return ConnectionStringWithPassword(kDatabasePassword); }

QString OldFormatConnectionStringTemplate()
{
    return ConnectionStringWithPassword(QStringLiteral("2047_Kavor_Plim_1963"));
}

TForm1::TForm1(QWidget* parent)
    : QWidget(parent),
      btnCreate(new QPushButton(QStringLiteral("&Create"), this)),
      btnTest(new QPushButton(QStringLiteral("&Test"), this)),
      btnResult(new QPushButton(QStringLiteral("&Result"), this))
{
    setObjectName(QStringLiteral("TForm1"));
    setWindowTitle(QStringLiteral("Kelvo"));
    setMinimumSize(600, 400);
    resize(600, 400);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    btnCreate->setObjectName(QStringLiteral("btnCreate"));
    btnTest->setObjectName(QStringLiteral("btnTest"));
    btnResult->setObjectName(QStringLiteral("btnResult"));
    btnCreate->setAccessibleName(QStringLiteral("Create"));
    btnTest->setAccessibleName(QStringLiteral("Test"));
    btnResult->setAccessibleName(QStringLiteral("Result"));
    btnTest->setEnabled(false);
    btnResult->setEnabled(false);
    connect(btnCreate, &QPushButton::clicked, this, &TForm1::btnCreateClick);
    connect(btnTest, &QPushButton::clicked, this, &TForm1::btnTestClick);
    connect(btnResult, &QPushButton::clicked, this, &TForm1::btnResultClick);

    con.setConnectionString(ConnectionStringTemplate());
    gPermissions.reset();
    gHelpFile = QCoreApplication::applicationDirPath() + QStringLiteral("/help");
    FormResize();
}

TForm1::~TForm1()
{
    gTableNames.clear();
    gPermissions.reset();
    gCurrentPassword.clear();
    gCurrentUser.clear();
    gCurrentTestFile.clear();
    gHelpFile.clear();
}

bool TForm1::OpenTestDatabase(const QString& fileName, bool skipCheck, bool exclusive)
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
        gCurrentTestFile = fileName;
        return true;
    } catch (const engine::EngineError& e) {
        restorePrevious();
        dialogs::error(kConnectFailedError + e.message());
        CheckOldFormat(fileName);
        return false;
    }
}

bool TForm1::CheckTestTables()
{
    if (!con.isOpen())
        return false;
    const QStringList names = con.tableNames();
    if (names.isEmpty())
        return false;
    for (const QString& required : RequiredTableNames)
        if (!names.contains(required, Qt::CaseSensitive))
            return false;
    gTableNames = names;
    return true;
}

void TForm1::CheckOldFormat(const QString& fileName)
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

void TForm1::btnCreateClick()
{
    if (Form3)
        Form3->exec();
    RefreshMainButtons();
    LoadMainShortcuts();
}

void TForm1::btnTestClick()
{
    if (!con.isOpen()) {
        dialogs::information(QStringLiteral(
            "You can not perform the test because you are not connected with Kelvo.mdb "
            "file!\r\n\r\nOpen Kelvo.mdb file (test)."));
        return;
    }
    const RowSet lock = SelectToVariant(QStringLiteral("select v from testd where id = 0;"));
    if (!lock.isNull() && lock.text(0, 0).toLower() != QLatin1String("true")) {
        dialogs::information(QStringLiteral(
            "You can not perform the test because test is Unlocked!\r\n\r\nLock Kelvo Test!"));
        return;
    }
    TForm2 testWindow(this);
    testWindow.exec();
}

void TForm1::btnResultClick()
{
    if (Form13)
        Form13->exec();
}

void TForm1::RefreshMainButtons()
{
    btnTest->setEnabled(false);
    btnResult->setEnabled(false);
    if (con.isOpen())
        ApplyPermissions();
}

void TForm1::LoadMainShortcuts()
{
    gMainShortcutsOn = false;
    if (!con.isOpen() || !gPermissions)
        return;
    const RowSet keys = SelectToVariant(QStringLiteral("select k from keyb where id between 1 and 3 order by id;"));
    for (int i = 0; i < std::min(keys.rows(), 3); ++i) {
        const QString key = keys.text(i, 0);
        if (!key.isEmpty())
            gMainShortcutKeys[static_cast<std::size_t>(i)] = key.front();
    }
    const RowSet on = SelectToVariant(QStringLiteral("select v from testd where id = -19;"));
    gMainShortcutsOn = !on.isNull() && on.text(0, 0).toLower() == QLatin1String("true");
}

void TForm1::keyReleaseEvent(QKeyEvent* event)
{
    // Released keys the buttons do not take (all but Space) arrive here.
    if (!event->isAutoRepeat())
        FormKeyUp(VirtualKeyOf(*event));
    QWidget::keyReleaseEvent(event);
}

void TForm1::FormKeyUp(int virtualKey)
{
    if (!gMainShortcutsOn)
        return;
    if (virtualKey >= 96 && virtualKey <= 105)
        virtualKey -= 48;
    QPushButton* const buttons[] = {btnCreate, btnTest, btnResult};
    for (std::size_t i = 0; i < gMainShortcutKeys.size(); ++i)
        if (!gMainShortcutKeys[i].isNull() && VirtualKeyOf(gMainShortcutKeys[i]) == virtualKey) {
            buttons[i]->click();
            return;
        }
}

void TForm1::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    FormResize();
}

void TForm1::FormResize()
{
    const int buttonWidth = width() / 6;
    const int buttonHeight = buttonWidth / 4;
    const int left = (width() - buttonWidth) / 2;
    const int gap = static_cast<int>(std::lround((height() - 3.0 * buttonHeight) / 4.0));
    btnCreate->setGeometry(left, gap, buttonWidth, buttonHeight);
    btnTest->setGeometry(left, btnCreate->geometry().bottom() + 1 + gap, buttonWidth, buttonHeight);
    btnResult->setGeometry(left, btnTest->geometry().bottom() + 1 + gap, buttonWidth, buttonHeight);
}

}  // namespace kelvo
