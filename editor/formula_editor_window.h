#pragma once
// The formula editor: the formulas of one variable as text, one at a time in a memo with
// a navigator. A formula is stored only after it passed the reference and syntax checks
// and compiled and ran once on random trial answers; a help panel below the caret shows
// the syntax of the function being typed.
//
// The window also owns the program's one compiler component: it is made with the window
// at start-up, handed to the data layer (FormulaCompiler) and freed with the window.
//
// Opening it (the Variables page, the formula builder): set gFormulaVariableId to the
// variable whose formulas are edited and gFormulaEditorMode to how the window opens, then
// call Form6->exec(). While the Variables page has a current row, its variable is taken.

#include "dataaware/navigator.h"
#include "dataaware/verdict.h"

#include <QDialog>
#include <QFrame>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

class QLabel;
class QStatusBar;
class QToolBar;
class QToolButton;
class TExco;

namespace kelvo {

namespace dataaware {
class Dataset;
class DataMemo;
}  // namespace dataaware

// How the formula editor opens.
enum FormulaEditorMode {
    kFormulaEditorBrowse = 0,
    // The formula selected in the builder's formula tree, in edit state.
    kFormulaEditorEditSelected = 1,
    // A new formula.
    kFormulaEditorInsert = 2,
};

// The variable whose formulas the editor shows; read each time the window is shown.
extern int gFormulaVariableId;
// A FormulaEditorMode; read when the window is shown, which sets it back to browse.
extern int gFormulaEditorMode;
// The height in pixels of one text line in the memo's font.
extern int gMemoLineHeight;

// The id of the variable in the current row of the editor's Variables page; nothing
// while it has none (no test, no variable, a new row not stored yet).
std::optional<int> VariablesPageVariableId();

// The paint box of the help panel: the help text drawn word-wrapped.
class FunctionHelpBox : public QWidget {
    Q_OBJECT
public:
    explicit FunctionHelpBox(QWidget* parent = nullptr);
    void setText(const QString& text);
    QString text() const { return text_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
};

class TForm6 : public QDialog {
    Q_OBJECT
public:
    explicit TForm6(QWidget* parent = nullptr);
    ~TForm6() override;

    // The program's compiler component; null when it could not be made.
    TExco* exco() const { return exco_.get(); }

    // Compiles and runs a translated formula once on the trial answers; false after the
    // compile error was shown.
    bool TrialRunFormula(const QString& formula);
    // Places and fills the help panel for the text before the caret.
    void ShowFunctionHelp();
    void UpdateStatus();

    // Seeds the trial answers drawn when the window opens; unset, they are seeded from
    // std::random_device. Tests fix it.
    std::optional<unsigned> trialAnswerSeed;

    dataaware::Dataset* Query = nullptr;
    dataaware::DataMemo* memo = nullptr;
    QToolBar* ToolBar1 = nullptr;
    QToolButton* btnHelp = nullptr;
    dataaware::Navigator* nav = nullptr;
    QToolButton* tool1 = nullptr;  // function help on (down) or off
    QStatusBar* status = nullptr;
    std::vector<QLabel*> statusPanels;
    QFrame* panel = nullptr;  // the function-help panel
    FunctionHelpBox* pb = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void FormCloseQuery();
    // Opens the window on the formula the builder has selected, or on a new one.
    void honourEditorMode(int mode);
    dataaware::Verdict QueryBeforePost();
    void MeasureLineHeight();
    void tool1Click();
    void btnHelpClick();

    std::unique_ptr<TExco> exco_;
};

// Reports the compiler's last error in a message box and clears the error state.
void ShowFormulaCompileError();

// The program's one instance, owned by the main routine.
extern TForm6* Form6;

}  // namespace kelvo
