#pragma once
// The formula builder: item-condition formulas of one variable made with the mouse. The
// questions with their answers stand in one tree, the variable's formulas in another;
// dropping an answer or a question on the formula tree makes a formula, appends a
// condition to one with OR or AND, and dropping one formula on another exchanges them.
//
// Opening it (the Variables page): set gBuilderVariableId to the variable, then call
// Form5->exec(); while the Variables page has a current row, its variable is taken. It
// opens the formula editor itself, for the same variable.

#include <QDialog>
#include <QString>
#include <QStringList>
#include <QTreeWidget>

#include <functional>
#include <optional>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QMimeData;
class QStatusBar;
class QToolBar;
class QToolButton;

namespace kelvo {

// The variable whose formulas the builder makes.
extern int gBuilderVariableId;
// Line k: the text of formula node k, "'" and the formula's autoid.
extern QStringList gBuilderFormulaIds;
// The value of the first answer and the step between answers for ASC and DESC, as
// stored (settings rows -17 and -18); "1" until they are read.
extern QString gFirstAnswerValue;
extern QString gAnswerStep;

// A read-only tree the builder drags from and drops on. What a drag carries names the
// tree it came from; the tree never moves, copies or removes items by itself: a drop
// only asks `accepts` and hands the source tree and the node under the mouse to
// `dropped`.
class BuilderTree : public QTreeWidget {
    Q_OBJECT
public:
    explicit BuilderTree(QWidget* parent = nullptr);

    // What a drag from this tree carries.
    QMimeData* dragData() const;
    // The tree of the builder `data` came from; null for anything else.
    BuilderTree* sourceOf(const QMimeData* data) const;

    std::function<bool(BuilderTree* source, QTreeWidgetItem* target)> accepts;
    std::function<void(BuilderTree* source, QTreeWidgetItem* target)> dropped;

protected:
    QMimeData* mimeData(const QList<QTreeWidgetItem*>& items) const override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};

class TForm5 : public QDialog {
    Q_OBJECT
public:
    explicit TForm5(QWidget* parent = nullptr);
    ~TForm5() override;

    // The autoid of the formula selected in the formula tree; nothing when none is.
    std::optional<int> selectedFormulaAutoid() const;

    void LoadQuestionTree();
    void LoadFormulaTree();
    void LoadFormulaDefaults();
    // The value arguments of a new formula (",3", ",1,2"), the compiler's defaults left out.
    QString DefaultValueArguments() const;
    void ShowBuilderStatus(const QString& text, bool alert);

    BuilderTree* tree1 = nullptr;  // questions and their answers
    BuilderTree* tree2 = nullptr;  // the variable's formulas
    QToolBar* toolBar = nullptr;
    QComboBox* cOperator = nullptr;
    QToolButton* t_or = nullptr;
    QToolButton* t_and = nullptr;
    QToolButton* toolAsc = nullptr;
    QToolButton* toolDesc = nullptr;
    QToolButton* tool6 = nullptr;  // BLANK
    QToolButton* tool7 = nullptr;  // ANY
    QToolButton* tool8 = nullptr;  // EACH
    QToolButton* toolCollaps = nullptr;
    QToolButton* btnHelp3 = nullptr;
    QToolButton* toolValues = nullptr;
    QToolButton* btnEditor = nullptr;
    QLineEdit* editTrue = nullptr;
    QLineEdit* editFalse = nullptr;
    QStatusBar* status = nullptr;
    std::vector<QLabel*> statusPanels;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    void FormShow();
    bool tree2DragOver(BuilderTree* source) const;
    void tree2DragDrop(BuilderTree* source, QTreeWidgetItem* target);
    void CreateConditionFormula(QTreeWidgetItem* answer);
    void CreateFormulaFromDrop(QTreeWidgetItem* node);
    void AppendOperandToFormula(QTreeWidgetItem* answer, QTreeWidgetItem* target);
    void SwapFormulas(QTreeWidgetItem* source, QTreeWidgetItem* target);
    // Shows a new formula, stores it and remembers its autoid.
    void StoreNewFormula(const QString& text);
    void tree1Click();
    void tree2KeyUp(QKeyEvent* event);
    // Ctrl+T and Ctrl+F go to the value edits; true when the key was one of them.
    bool FormKeyUp(QKeyEvent* event);
    void toolValuesClick();
    void toolCollapsClick();
    void btnEditorClick();
    // Opens the formula editor modally on this variable in `mode`.
    void OpenFormulaEditor(int mode);
    bool anyAnswerKindDown() const;
    void updateFormulaCount();
};

// The program's one instance, owned by the main routine.
extern TForm5* Form5;

}  // namespace kelvo
