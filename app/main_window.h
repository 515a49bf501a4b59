#pragma once
// The main window: three buttons (Create, Test, Result) over the session's one database
// connection, which it names `con`.

#include "data/session.h"

#include <QString>
#include <QStringList>
#include <QWidget>

#include <array>
#include <optional>

class QPushButton;

namespace kelvo {

class TForm1 : public QWidget {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // The session's opening of a test file (see Session).
    bool OpenTestDatabase(const QString& fileName, bool skipCheck, bool exclusive);
    bool CheckTestTables();
    void CheckOldFormat(const QString& fileName);
    // Disables Test and Result, then lets the account's permissions enable them.
    void RefreshMainButtons();
    // Reads the three main keys and whether they are on from the open test.
    void LoadMainShortcuts();

    // The session's connection.
    engine::Connection& con;
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
    void ApplyRights(const AccountRights& rights);
    void DisableAccountControls();
    // The caption names the open test: "Kelvo - <file name>", or "Kelvo" with none.
    void ShowOpenTest();
};

// The program's one instance, owned by the main routine.
extern TForm1* Form1;

// The keys of Create, Test and Result, and whether they are active.
extern std::array<QChar, 3> gMainShortcutKeys;
extern bool gMainShortcutsOn;

}  // namespace kelvo
