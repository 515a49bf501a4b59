#pragma once
// The log window: reports of validation, formula checks, backup records and unmatched
// answers are written into its rich-text `editor`. Other windows append styled titles
// and lines; modules below the windows append plain lines through LogLineSink. The
// author saves the log as RTF, clears it, or checks every formula of the open test.

#include "data/formula_language.h"
#include "model/log_line_sink.h"

#include <QColor>
#include <QDialog>
#include <QTextBlockFormat>
#include <QTextCharFormat>

#include <memory>
#include <vector>

class QAction;
class QMenu;
class QMenuBar;
class QTextEdit;

namespace kelvo {

// What the whole-test formula check needs of the open test: both checks and the
// program's connection for the deletion.
class FormulaCheckTarget {
public:
    virtual ~FormulaCheckTarget() = default;
    virtual std::vector<FormulaMessageRow> CheckAllFormulasSyntax() = 0;
    virtual std::vector<FormulaMessageRow> CheckAllFormulaReferences() = 0;
    virtual void ExecSQL(const QString& statement) = 0;
};

// The formulas a check found faulty, as the delete statement lists them: every syntax
// row in order (a formula with two faulty conditions twice), then every reference row
// whose formula is not among the syntax rows.
struct FormulaDeleteList {
    QString list;  // "(a1,a2,...)"
    int count = 0;
};
FormulaDeleteList BuildFormulaDeleteList(const std::vector<FormulaMessageRow>& syntaxRows,
                                         const std::vector<FormulaMessageRow>& referenceRows);

class TForm7 : public QDialog, public LogLineSink {
    Q_OBJECT
public:
    explicit TForm7(QWidget* parent = nullptr);
    ~TForm7() override;

    // Caret to the end; left-aligned paragraph without numbering, first indent 20, tab
    // stops at 100 and 200; text 10 pt, no style, black. Only this takes styles away:
    // the routines below add bold and italic to the current style.
    void ResetLogFormat();
    // BlankLines empty lines before (not on an empty log) and after a title.
    void AddLogTitle(int BlankLines, const QString& Text, Qt::Alignment Alignment, int Size, bool Bold,
                     bool Italic, const QColor& Color);
    // One indented line.
    void AddLogLine(const QString& Text, int Size, bool Bold, bool Italic, const QColor& Color);
    // One line in the current style, for reports written by modules without a window.
    void AddLine(const QString& line) override;

    // What "Debug formula" checks: the test open on the program's connection, unless
    // another target is set (nullptr goes back to the open test).
    void setFormulaCheckTarget(FormulaCheckTarget* target);

    QTextEdit* editor;  // owned by the window
    QMenuBar* menu;
    QMenu* OpenFile;
    QAction* saveFile;
    QAction* clearLog;
    QAction* formulaDebug;
    QAction* Help;

public slots:
    void saveFileClick();
    void clearLogClick();
    void DebugformulaClick();
    void HelpClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    void moveCaretToEnd();
    void applyParagraphFormat();
    void setTextStyle(int size, bool bold, bool italic, const QColor& colour);
    void insertText(const QString& text);
    void breakLine();
    bool lastLineIsEmpty() const;
    void reportFormulaCheck(const std::vector<FormulaMessageRow>& syntaxRows,
                            const std::vector<FormulaMessageRow>& referenceRows);
    void offerFormulaDeletion(const std::vector<FormulaMessageRow>& syntaxRows,
                              const std::vector<FormulaMessageRow>& referenceRows);

    // The attributes the next inserted text and paragraph take, as a rich edit keeps
    // them at its caret.
    QTextCharFormat insertFormat_;
    QTextBlockFormat paragraphFormat_;
    std::unique_ptr<FormulaCheckTarget> openTest_;
    FormulaCheckTarget* formulaCheckTarget_;
};

// The program's one instance, owned by the main routine.
extern TForm7* Form7;

}  // namespace kelvo
