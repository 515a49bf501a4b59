#include "app/main_window.h"

#include "data/accounts.h"
#include "data/database.h"
#include "data/schema.h"
#include "editor/editor_window.h"
#include "model/settings_rows.h"
#include "results/results_window.h"
#include "run/run_window.h"
#include "ui/application.h"
#include "ui/dialog_service.h"
#include "ui/help.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>

#include <cmath>

namespace kelvo {

TForm1* Form1 = nullptr;

std::array<QChar, 3> gMainShortcutKeys;
bool gMainShortcutsOn = false;

namespace {

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

TForm1::TForm1(QWidget* parent)
    : QWidget(parent),
      con(Session::current().con),
      btnCreate(new QPushButton(QStringLiteral("&Create"), this)),
      btnTest(new QPushButton(QStringLiteral("&Test"), this)),
      btnResult(new QPushButton(QStringLiteral("&Result"), this))
{
    setObjectName(QStringLiteral("TForm1"));
    if (auto* app = qobject_cast<KelvoApplication*>(QCoreApplication::instance()))
        app->setMainWindow(this);
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
    connect(btnCreate, &QPushButton::clicked, this, guardedSlot([this] { btnCreateClick(); }));
    connect(btnTest, &QPushButton::clicked, this, guardedSlot([this] { btnTestClick(); }));
    connect(btnResult, &QPushButton::clicked, this, guardedSlot([this] { btnResultClick(); }));

    con.setConnectionString(ConnectionStringTemplate());
    Session& session = Session::current();
    session.permissions.reset();
    gHelpFile = QCoreApplication::applicationDirPath() + QStringLiteral("/help");
    FormResize();
    connect(&session, &Session::rightsChanged, this,
            guardedSlot([this](const AccountRights& rights) { ApplyRights(rights); }));
    connect(&session, &Session::accountRevoked, this, guardedSlot([this] { DisableAccountControls(); }));
    connect(&session, &Session::testOpened, this, guardedSlot([this] { ShowOpenTest(); }));
}

TForm1::~TForm1()
{
    Session::current().Clear();
    gHelpFile.clear();
}

bool TForm1::OpenTestDatabase(const QString& fileName, bool skipCheck, bool exclusive)
{
    return Session::current().OpenTestDatabase(fileName, skipCheck, exclusive);
}

bool TForm1::CheckTestTables() { return Session::current().CheckTestTables(); }

void TForm1::CheckOldFormat(const QString& fileName) { Session::current().CheckOldFormat(fileName); }

void TForm1::ApplyRights(const AccountRights& rights)
{
    btnTest->setEnabled(rights.allows(1) && rights.locked);
    btnResult->setEnabled(rights.allows(2) && rights.locked);
}

void TForm1::DisableAccountControls()
{
    btnTest->setEnabled(false);
    btnResult->setEnabled(false);
    ShowOpenTest();
}

void TForm1::ShowOpenTest()
{
    const Session& session = Session::current();
    if (!con.isOpen() || session.testFile.isEmpty()) {
        setWindowTitle(QStringLiteral("Kelvo"));
        return;
    }
    setWindowTitle(QStringLiteral("Kelvo - ") + QFileInfo(session.testFile).fileName());
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
    const RowSet lock = SelectToVariant(settingSelectStatement(SettingId::LockFlag));
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
    ShowOpenTest();
}

void TForm1::LoadMainShortcuts()
{
    gMainShortcutsOn = false;
    if (!con.isOpen() || !Session::current().permissions)
        return;
    const RowSet keys = SelectToVariant(QStringLiteral("select k from keyb where id between 1 and 3 order by id;"));
    for (int i = 0; i < std::min(keys.rows(), 3); ++i) {
        const QString key = keys.text(i, 0);
        if (!key.isEmpty())
            gMainShortcutKeys[static_cast<std::size_t>(i)] = key.front();
    }
    const RowSet on = SelectToVariant(settingSelectStatement(SettingId::KeyboardEnabled));
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
