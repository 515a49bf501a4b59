#pragma once
// The test window: one run of the open test for one respondent, from the data fields
// and the instructions through the questions to the recorded run. A new window is made
// for every run, owned by the main window, and shown modally; everything it holds about
// the run starts cleared with it and dies with it.
//
// Pages (exactly one is visible): panel2 the data fields, panel1 the instructions,
// panel3 the questions. Controls made at run time are named "data<id>" (data fields),
// "answer<slot>" (choices), "answer_<slot>" (typed answers), "prior" and "next"; a
// control's "tag" property carries its field id or slot (below 0: not an answer).

#include "data/variable_computation.h"
#include "model/run_recording.h"
#include "model/settings_rows.h"
#include "model/values.h"
#include "ui/font_setting.h"

#include <QDateTime>
#include <QDialog>
#include <QScrollArea>

#include <map>
#include <optional>
#include <vector>

class QAbstractButton;
class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;
class QTextEdit;
class QTimer;
class QToolButton;

namespace kelvo {

// One page of the window: a scroll box over a content widget on which the page's
// controls stand at the positions the window computes.
class TestPage : public QScrollArea {
    Q_OBJECT
public:
    explicit TestPage(QWidget* parent);
    QWidget* content() const { return content_; }
    // The page's colour, behind its controls.
    void setPageColor(const QColor& color);
    // 1 once the page has been used in this run.
    int tag = 0;

private:
    QWidget* content_;
};

class TForm2 : public QDialog {
    Q_OBJECT
public:
    explicit TForm2(QWidget* owner);
    ~TForm2() override;

    // Returns at once, without showing anything, when the window could not load the test.
    int exec() override;

    TestPage* panel1;  // instruction page
    TestPage* panel2;  // data-field page
    TestPage* panel3;  // question page
    QTextEdit* re;
    QPushButton* btnStartTest;
    QPushButton* btnInstruction;
    QLabel* dbt;
    QStatusBar* status;
    std::vector<QLabel*> statusPanels;
    QTimer* timer;
    QToolButton* prior = nullptr;
    QToolButton* next = nullptr;

public slots:
    void btnInstructionClick();
    void btnStartTestClick();
    void PriorClick();
    void NextClick();
    void timerTimer();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // Escape and every other way of closing go through the close question.
    void reject() override;

private:
    // Whether a box of the run (a question, a message) is open over the window.
    bool RunBoxOpen() const;

    // --- loading and the first pages -----------------------------------------------------
    void FormCreate();
    bool AttachQueries();
    bool LoadTest();
    bool ShowInstructions();
    bool HasUserFields();
    void LayoutUserFields();
    void BuildUserFieldsPage();
    void AddUserFieldEdit(int fieldId, int row, const QString& caption);
    void AddUserFieldCheckBox(int fieldId, int row, const QString& caption);
    void GrowPageFor(const QWidget& control);
    bool ValidateUserFields();
    void UserFieldEnter(QLineEdit* edit);
    void UserFieldExit(QLineEdit* edit);
    bool UserFieldKeyUp(QWidget* field, int key, Qt::KeyboardModifiers modifiers);
    void Panel1Resize();
    void Panel3Resize();
    void FormClose();
    void ShowPage(TestPage* page);
    // The value of a settings row as the run read it; nothing for a missing row or Null.
    std::optional<QString> SettingValue(SettingId id) const;

    // --- the questions ---------------------------------------------------------------------
    void InitRunState();
    void CreateAnswerControls();
    void ShowItem();
    void RestoreAnswerState();
    void AnswerClick(QAbstractButton* sender);
    void AnswerEditChange(QLineEdit* edit);
    bool MatchTypedAnswer(const QLineEdit& edit, const QAbstractButton& control) const;
    void NormalizeTypedAnswers();
    bool CanGoNext() const;
    bool FormKeyUp(int virtualKey, Qt::KeyboardModifiers modifiers);
    QAbstractButton* ShortcutTarget(int virtualKey) const;
    int CurrentAnswerCount() const;
    QLineEdit* FocusedAnswerEdit() const;
    bool CellsInBounds(int slot) const;

    // --- recording ---------------------------------------------------------------------------
    bool StartResultRecord();
    void FinishTest(bool ShowMessage);
    void EndRun(bool ShowMessage);
    void CollectUserFieldValues();
    void SaveTestResults();
    bool UpdateResultRecord();
    bool InsertItemAnswers();
    bool InsertUserFieldValues();
    bool CalculateVariables();
    void ClearUnchangedVariables();
    void FormatVariableDecimals();
    bool InsertVariableValues();
    void WriteBackupRecord();
    BackupRecord MakeBackupRecord() const;
    void FormCloseQuery(bool& CanClose);

    // What recording and variable computation need of the loaded test.
    LoadedTest TestForComputation() const;
    // The data fields the run read, ascending id: each one's id and type.
    std::vector<std::pair<int, QString>> DataFieldTypes() const;

    // --- loaded test ---------------------------------------------------------------------
    // id, caption, editcap of every question, ascending id.
    RowSet gItems;
    // The answer captions of each question in ascending answer id, by question id.
    std::map<int, QStringList> gAnswerCaptions;
    RowSet gSettings;
    RowSet gUserFields;
    // id, decnum, start, cumul of every variable, ascending id.
    RowSet gVariables;
    RowSet gFormulas;
    RowSet gKeys;
    int gMaxAnswers = 0;
    bool gSingleAnswer = true;
    bool gAllowNoAnswer = false;
    int gControlType = 0;
    bool gKeyboardOn = false;
    int gFieldLayout = 0;
    int gAnswerAlign = 0;
    bool gPosteriorOnly = false;
    bool gTimerOn = false;
    int gTimeLimit = 0;
    QString gTimeLimitText;
    bool gTypedLastAnswer = false;
    int gTypedParse = 0;
    int gFieldCase = 0;
    QStringList gStatusTexts{QString(), QString(), QString(), QString()};
    bool gBackupFile = false;
    bool gNullUnchanged = false;
    SettingFont fontItems;
    SettingFont fontAnswers;
    SettingFont fontFields;
    int gLabelLeft = 0;
    int gEditLeft = 0;
    int gEditWidth = 0;
    int gRowHeight = 0;

    // --- the run -------------------------------------------------------------------------
    AnswerTexts gAnswers;
    std::vector<std::vector<int>> gAnswerValues;
    int gCurrentItem = 0;
    int gGoBack = 0;
    int gCorrections = 0;
    int gElapsed = 0;
    QDateTime gStartTime;
    bool gRunning = false;
    bool gFinished = false;
    bool gRestoring = false;
    int gRecordId = 0;
    qint64 gDuration = 0;  // seconds
    std::vector<std::pair<int, QVariant>> gUserFieldValues;
    std::vector<double> gDataValues;
    std::optional<RowSet> gVariableValues;

    // The question page's controls, by slot.
    std::vector<QAbstractButton*> answerControls_;
    std::vector<QLineEdit*> answerEdits_;
    QLabel* editCaption_ = nullptr;
    QString currentEditcap_;
    int currentAnswerCount_ = 0;
    // Data-field controls in the order they were made (posit order).
    std::vector<QWidget*> userFieldControls_;

    bool closeRequested_ = false;
    // Set once the end of the run has begun: the run is recorded once, whatever asks
    // for its end while it is being recorded (the time limit during a question box).
    bool ending_ = false;
};

}  // namespace kelvo
