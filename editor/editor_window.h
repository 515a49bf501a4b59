#pragma once
// The test editor: creates, opens, locks and edits a test file.
//
// The class is split by what it does, all in this folder: the window in this file pair,
// the frame around the pages in editor_window_frame.cpp, one file per editing page
// (editor_window_questions, _answers, _data, _variables, _keyboard), the test-file
// operations (create, open, login, compaction) in editor_window_files.cpp, the
// Properties page and the datasets in editor_window_properties.cpp, the Language page in
// editor_window_language.cpp, the Administrator page in editor_window_accounts.cpp,
// locking and validation in editor_window_locking.cpp, and the structure report in
// editor_window_structure.cpp.

#include "data/session.h"

#include <QDialog>
#include <QIcon>
#include <QStringList>

#include <optional>
#include <set>

class QCheckBox;
class QComboBox;
class QKeyEvent;
class QLabel;
class QPushButton;
class QSpinBox;
class QSqlQueryModel;
class QTabWidget;
class QTableView;
class QToolButton;
class QTreeWidget;

namespace kelvo {

namespace dataaware {
class DataCheckBox;
class DataGrid;
class DataLineEdit;
class DataMemo;
class Dataset;
class Navigator;
class NavigatorShortcuts;
enum class NavigatorButton;
}  // namespace dataaware

class ColorDialog;
class FontDialog;
enum class SettingId : int;

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

    // --- Language, Properties and Administrator pages ------------------------------
    // Language page: the screen texts, rows 1 to 13 of testd; rows are neither added
    // nor deleted.
    dataaware::Dataset* qtestd = nullptr;
    dataaware::DataGrid* dbg5 = nullptr;

    // Properties page: what its handlers need besides the controls above.
    FontDialog* fDialog = nullptr;
    ColorDialog* cDialog = nullptr;
    QPushButton* bntLog = nullptr;    // view log
    QPushButton* btnHelp7 = nullptr;  // help topic 13
    // Whether a settings row's control holds the open test's setting: it was filled
    // from the row, or the author set it since. Only such rows are written back and
    // only they count in validation: a row the file lacks or cannot read keeps what it
    // holds.
    bool settingLoaded(SettingId id) const;

    // Administrator page: the accounts other than the administrator's.
    dataaware::Dataset* qusers = nullptr;
    dataaware::DataGrid* dbg6 = nullptr;
    dataaware::Navigator* nav6 = nullptr;
    dataaware::DataLineEdit* DBEdit1 = nullptr;  // usr
    dataaware::DataLineEdit* DBEdit2 = nullptr;  // pas, masked
    dataaware::DataCheckBox* dbCheck = nullptr;   // act
    dataaware::DataCheckBox* dbcheck1 = nullptr;  // per1 .. per5
    dataaware::DataCheckBox* dbcheck2 = nullptr;
    dataaware::DataCheckBox* dbcheck3 = nullptr;
    dataaware::DataCheckBox* dbcheck4 = nullptr;
    dataaware::DataCheckBox* dbcheck5 = nullptr;
    QPushButton* speed4 = nullptr;  // drop result columns
    QPushButton* Speed8 = nullptr;  // compact and repair
    QPushButton* speed9 = nullptr;  // administrator account
    QPushButton* Button1 = nullptr; // about
    QPushButton* btnHelp8 = nullptr;  // help topic 14

    // --- the editing pages: Questions, Answers, Data, Variables, Keyboard ------------
    // (editor_window_questions.cpp, _answers.cpp, _data.cpp, _variables.cpp,
    // _keyboard.cpp; the frame around them in editor_window_frame.cpp)
    dataaware::Dataset* qitems = nullptr;
    dataaware::Dataset* qanswers = nullptr;  // the answers of the question chosen in `tree`
    dataaware::Dataset* quserf = nullptr;
    dataaware::Dataset* qvariables = nullptr;
    dataaware::Dataset* qkeyb = nullptr;
    dataaware::DataGrid* dbg = nullptr;   // questions
    dataaware::DataGrid* dbg1 = nullptr;  // answers
    dataaware::DataGrid* dbg4 = nullptr;  // data fields
    dataaware::DataGrid* dbg2 = nullptr;  // variables
    dataaware::DataGrid* dbg7 = nullptr;  // keyboard
    dataaware::Navigator* nav = nullptr;
    dataaware::Navigator* nav1 = nullptr;
    dataaware::Navigator* nav4 = nullptr;
    dataaware::Navigator* nav2 = nullptr;
    // Questions page: the grid or the three-row view with its caption memo.
    QWidget* ctrlgrid = nullptr;
    dataaware::DataMemo* DBMemo1 = nullptr;
    QPushButton* btn5 = nullptr;  // shows the three-row view
    QPushButton* btn4 = nullptr;  // shows the grid
    QPushButton* cloneItems = nullptr;
    QPushButton* btnHelp2 = nullptr;
    // Answers page.
    QTreeWidget* tree = nullptr;  // one node per question; its image in Qt::UserRole
    QPushButton* btnClone = nullptr;
    QPushButton* btnHelp3 = nullptr;
    // Data and Variables pages.
    QPushButton* btnHelp6 = nullptr;
    QPushButton* Speed1 = nullptr;  // clone formulas
    QPushButton* btnFormula = nullptr;
    QPushButton* btnHelp4 = nullptr;
    QPushButton* btnEditor = nullptr;
    // The typed-answer tools of the Properties page.
    QPushButton* btn6 = nullptr;     // synchronise the last answers
    QPushButton* editcap = nullptr;  // typed-answer captions

    void PageControlChange();
    void LoadAnswerTree();
    int CountAnswersOfItem(int itemId);
    void treeClick();
    // Opens the pages' datasets on the open test (the answers wait for a question).
    void OpenPageDataSets();
    void ClosePageDataSets();

    void btnHelpClick();
    void nav1Click(dataaware::NavigatorButton button);
    void nav2Click(dataaware::NavigatorButton button);
    void dbgDblClick();
    void cloneItemsClick();
    void btnCloneClick();
    void chEditQuestionClick();
    void editcapClick();
    void btn6Click();
    void chKeyboardClick();
    void btnFormulaClick();
    void btnEditorClick();
    void Speed1Click();

public slots:
    void btnNewClick();
    void btnOpenClick();
    void btnLockClick();
    void Speed8Click();
    void speed9Click();
    void btnStructureClick();
    void Button1Click();

    // --- Language, Properties and Administrator pages ------------------------------
    // Font of the questions (speed10), answers (speed11) or data fields (speed14).
    void speed10Click(const QPushButton* pressed);
    // Colour of the data-field page (speed12) or the question page (speed13).
    void speed12Click(const QPushButton* pressed);
    void chMultipleAnswerClick();
    void chTimerEnabledClick();
    void Speed6Click();
    void bntLogClick();

protected:
    // Closing the editor keeps the Properties page of the open test.
    void done(int result) override;

private:
    void buildBottomBar();
    void buildPages();
    void buildPropertiesPage();

    // The lock button and the Administrator page as the account may use them.
    void ApplyRights(const AccountRights& rights);
    // The lock button and the Administrator page as no account may use them.
    void DisableAccountControls();

    // --- Language, Properties and Administrator pages ------------------------------
    void buildLanguagePage();
    void buildAdministratorPage();
    void connectPropertiesHandlers();
    // True when the key reaches the timer edit: digits and backspace only.
    bool editTimerKeyPress(const QKeyEvent& event) const;
    // The rows read by the last LoadSettings, and those the author set since.
    std::set<int> loadedSettings_;
    bool loadingSettings_ = false;

    // --- the editing pages: Questions, Answers, Data, Variables, Keyboard ------------
    // The editing pages and the frame's page actions, help buttons and key maps.
    void buildQuestionsPage();
    void buildAnswersPage();
    void buildDataPage();
    void buildVariablesPage();
    void buildKeyboardPage();
    void buildFrame();
    // The Properties page's typed-answer tools, added once that page stands.
    void buildTypedAnswerTools();
    // Enables the formula buttons when the test has a variable.
    void EnableFormulaButtons();
    // Reads the questions again when the Questions page is shown; whether the
    // answer tree must follow a change of the questions.
    bool questionsChanged_ = false;

    // The file and text of the last settings fault told, so that it is told once.
    QString reportedSettingsFault_;
    // Between the lock button's press and its release: its toggle is a click's.
    bool lockPressed_ = false;
};

// The program's one instance, owned by the main routine.
extern TForm3* Form3;

}  // namespace kelvo
