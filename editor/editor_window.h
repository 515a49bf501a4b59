#pragma once
// The test editor: creates, opens, locks and edits a test file.
//
// The class is split by what it does, all in this folder: the pages in this file pair,
// the test-file operations (create, open, login, compaction) in editor_window_files.cpp,
// the Properties page and the datasets in editor_window_properties.cpp, locking and
// validation in editor_window_locking.cpp, and the structure report in
// editor_window_structure.cpp.

#include "data/session.h"

#include <QDialog>
#include <QIcon>
#include <QStringList>

#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QSqlQueryModel;
class QTabWidget;
class QTableView;
class QToolButton;

namespace kelvo {

// What the editor's file dialog holds between its showings: New and Open set its title
// and keep the chosen file in `fileName`. Locking reopens the open test instead, since
// `fileName` may name a file that Open refused.
struct EditorFileDialog {
    QString title;
    QString filter = QStringLiteral("Microsoft Access Database Files(*.mdb)|*.mdb");
    QString defaultExt = QStringLiteral("mdb");
    QString fileName;
};

class TForm3 : public QDialog {
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);

    // The table the column routines open by name to look up its fields (the session's).
    TableDataset& tmpTable = Session::current().columnTable;

    // --- test files ---------------------------------------------------------------
    // Creates the empty database file; on failure `message` holds the reason and
    // SilentAbort is thrown.
    void CreateMdbFile(const QString& fileName, QString& message);
    // Opens the new file, writes its tables, password and default rows in one
    // transaction, and leaves it open for shared use.
    bool CreateSchema(const QString& fileName);
    bool InsertDefaults();
    bool LoginDialog();
    bool CompactDatabase(const QString& source, const QString& dest);

    // --- settings of the open test ------------------------------------------------
    void LoadSettings();
    bool SaveSettings();
    void RebindDataSets();
    // Empties the datasets before their connection is closed or pointed elsewhere.
    void CloseDataSets();

    // --- locking ------------------------------------------------------------------
    bool ValidateAndLock();
    bool ValidateTest(QStringList& messages);
    bool PrepareResultTables();
    bool UnlockTest();

    // The lock button's look: unlocked (tag 1, pressed, "&Unlocked", image2, pages
    // enabled) or locked (tag 0, released, "&Locked", Image1, pages disabled).
    void ShowLockLook(bool unlocked);

    // --- reports --------------------------------------------------------------------
    // Writes a readable report of the open test into the log window; nothing without
    // an open test.
    void WriteTestStructure();
    // Seeds the random trial answers of validation; unset, they are seeded from
    // std::random_device. Tests fix it so that locking is repeatable.
    std::optional<unsigned> trialAnswerSeed;

    // The editor's pages; disabled while the test is locked.
    QTabWidget* PageControl = nullptr;
    QWidget* Sheet1 = nullptr;  // Questions
    QWidget* Sheet2 = nullptr;  // Answers
    QWidget* Sheet5 = nullptr;  // Data
    QWidget* Sheet3 = nullptr;  // Variables
    QWidget* Sheet6 = nullptr;  // Keyboard, enabled while the keyboard is on
    QWidget* Sheet7 = nullptr;  // Language
    QWidget* Sheet8 = nullptr;  // Properties
    QWidget* Sheet9 = nullptr;  // Administrator, shown to administrators only

    // Bottom bar.
    QPushButton* btnNew = nullptr;
    QPushButton* btnHelp = nullptr;
    // Two-state lock button: tag 0 locked ("&Locked"), tag 1 unlocked ("&Unlocked").
    QToolButton* btnLock = nullptr;
    QPushButton* btnOpen = nullptr;
    // The glyphs of the locked and the unlocked state.
    QIcon Image1;
    QIcon image2;

    EditorFileDialog openDialog;

    // Datasets over the open test and the grids that show them.
    QSqlQueryModel* qitems = nullptr;
    QSqlQueryModel* qanswers = nullptr;
    QSqlQueryModel* qvariables = nullptr;
    QSqlQueryModel* quserf = nullptr;
    QSqlQueryModel* qkeyb = nullptr;
    QSqlQueryModel* qtestd = nullptr;
    QSqlQueryModel* qusers = nullptr;
    QTableView* dbg = nullptr;   // questions
    QTableView* dbg1 = nullptr;  // answers
    QTableView* dbg4 = nullptr;  // data fields
    QTableView* dbg2 = nullptr;  // variables
    QTableView* dbg7 = nullptr;  // keyboard
    QTableView* dbg5 = nullptr;  // screen texts
    QTableView* dbg6 = nullptr;  // accounts

    // Properties page.
    QComboBox* cQuestions = nullptr;
    QComboBox* combo1 = nullptr;  // answer control type: speed buttons, check boxes, radio buttons
    QComboBox* cAlign = nullptr;
    QCheckBox* chTimerEnabled = nullptr;
    QSpinBox* udTimer = nullptr;  // the test time in seconds, typed or stepped
    QCheckBox* aposterior = nullptr;
    QCheckBox* SaveUnfinished = nullptr;
    QCheckBox* convertToNull = nullptr;
    QCheckBox* chMultipleAnswer = nullptr;
    QCheckBox* chAllowNoAnswer = nullptr;
    QCheckBox* checkStatus = nullptr;
    QCheckBox* chKeyBoard = nullptr;
    QPushButton* speed10 = nullptr;  // questions font
    QPushButton* speed11 = nullptr;  // answers font
    QPushButton* speed13 = nullptr;  // question page colour
    QCheckBox* genTxtRecord = nullptr;
    QCheckBox* chEditQuestion = nullptr;
    QComboBox* cbParseEdit = nullptr;
    QPushButton* speed12 = nullptr;  // data-field page colour
    QPushButton* speed14 = nullptr;  // data-field page font
    QComboBox* combo2 = nullptr;
    QComboBox* combo4 = nullptr;
    QPushButton* speed6 = nullptr;  // instruction file
    QLabel* labInstruction = nullptr;
    QLabel* versionInfo = nullptr;
    QPushButton* btnStructure = nullptr;

    // Administrator page.
    QPushButton* speed4 = nullptr;  // drop result columns
    QPushButton* Speed8 = nullptr;  // compact and repair
    QPushButton* speed9 = nullptr;  // administrator account
    QPushButton* Button1 = nullptr; // about
    QCheckBox* dbCheck = nullptr;   // act
    QCheckBox* dbcheck1 = nullptr;  // per1 .. per5
    QCheckBox* dbcheck2 = nullptr;
    QCheckBox* dbcheck3 = nullptr;
    QCheckBox* dbcheck4 = nullptr;
    QCheckBox* dbcheck5 = nullptr;

public slots:
    void btnNewClick();
    void btnOpenClick();
    void btnLockClick();
    void Speed8Click();
    void speed9Click();
    void btnStructureClick();
    void Button1Click();

protected:
    // Closing the editor keeps the Properties page of the open test.
    void done(int result) override;

private:
    void buildBottomBar();
    void buildPages();
    void buildPropertiesPage();
    void buildAdministratorPage();
    // The lock button and the Administrator page as the account may use them.
    void ApplyRights(const AccountRights& rights);
    // The lock button and the Administrator page as no account may use them.
    void DisableAccountControls();

    // Whether the Properties controls hold the rows of the open test; only then are
    // they written back, so a test whose rows could not be read is never overwritten
    // with another test's settings.
    bool settingsLoaded_ = false;
    // The file and text of the last settings fault told, so that it is told once.
    QString reportedSettingsFault_;
};

// The program's one instance, owned by the main routine.
extern TForm3* Form3;

}  // namespace kelvo
