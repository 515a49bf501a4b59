#pragma once
// The clone window: makes a block of numbered questions, copies the answers of one
// question to many, or copies a variable's formulas of one question to many.

#include <QDialog>

#include <vector>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QToolButton;

namespace kelvo {

namespace dataaware {
class Dataset;
}

// The entries of the mode list, in its order.
enum class CloneMode { Questions = 0, Answers = 1, Formulas = 2 };

// The arrows beside a number edit: they step the number within their bounds and write
// it into the edit.
class UpDown : public QWidget {
    Q_OBJECT
public:
    UpDown(QLineEdit& buddy, int minimum, int maximum, int position, QWidget* parent);
    void setMaximum(int maximum);
    int maximum() const { return maximum_; }
    void step(int by);
    QToolButton* up = nullptr;
    QToolButton* down = nullptr;

private:
    QLineEdit& buddy_;
    int minimum_;
    int maximum_;
};

class TForm4 : public QDialog {
    Q_OBJECT
public:
    explicit TForm4(QWidget* parent = nullptr);

    // What the window does when it is shown: reads the questions and variables of the
    // open test and selects the editor's current answer question and variable. False,
    // after its message when there is one, when there is nothing to clone.
    bool FormShow(const dataaware::Dataset* answers, const dataaware::Dataset* variables);
    // Set after answers were cloned since the window was last shown.
    bool answersChanged() const { return answersChanged_; }

    void comboMainChange();
    void gridClick(int row, int column);
    void btnRangeClick();
    void btnCloneClick();

    QComboBox* comboMain = nullptr;
    QGroupBox* gb1 = nullptr;
    QLineEdit* Edit3 = nullptr;  // root caption
    QLineEdit* Edit4 = nullptr;  // number of questions
    UpDown* ud3 = nullptr;
    QLineEdit* Edit5 = nullptr;  // editable caption
    QGroupBox* gb2 = nullptr;
    QLineEdit* Edit1 = nullptr;  // range start
    UpDown* ud1 = nullptr;
    QLineEdit* Edit2 = nullptr;  // range end
    UpDown* ud2 = nullptr;
    QPushButton* btnRange = nullptr;
    QGroupBox* gb3 = nullptr;
    QComboBox* combo = nullptr;   // parent question
    QComboBox* combo2 = nullptr;  // parent variable
    QTableWidget* grid = nullptr;
    QPushButton* btnClone = nullptr;
    QPushButton* btnHelp = nullptr;
    std::vector<QLabel*> panels;  // panel 1: the number of selected cells

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildGrid();
    void ShowSelectedCount();
    void SetCellSelected(int row, int column, bool selected);
    // The numbers of the selected cells, row by row, left to right.
    std::vector<int> SelectedChildren() const;

    // The operations of the three modes; each stops at its first message.
    void CloneQuestions();
    void CloneAnswers();
    void CloneFormula();
    // The parent question of modes 1 and 2 and the children, checked as both need them;
    // false after the message.
    bool CheckParentAndChildren(int parent, std::vector<int>& children);
    bool ConfirmMode();

    int questionCount_ = 0;
    int maxQuestionId_ = 0;
    bool answersChanged_ = false;
};

// The program's one instance, owned by the main routine.
extern TForm4* Form4;

// Shows the clone window modally in `mode`, over the editor's answer and variable
// datasets (either may be missing); true when answers were cloned.
bool ShowCloneWindow(CloneMode mode, const dataaware::Dataset* answers, const dataaware::Dataset* variables);

}  // namespace kelvo
