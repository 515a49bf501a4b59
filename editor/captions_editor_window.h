#pragma once
// The captions editor: edits the typed-answer caption (`editcap`) of every question.
// Questions are neither added nor deleted here.

#include <QDialog>

class QKeyEvent;

namespace kelvo {

namespace dataaware {
class DataGrid;
class Dataset;
class Navigator;
}  // namespace dataaware

class TForm10 : public QDialog {
    Q_OBJECT
public:
    explicit TForm10(QWidget* parent = nullptr);

    // Reads the questions of the open test again (after another test was opened, or
    // the questions changed).
    void Rebind();

    dataaware::Dataset* qitems = nullptr;
    dataaware::DataGrid* dbg = nullptr;
    dataaware::Navigator* nav = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeControls();
};

// The program's one instance, owned by the main routine.
extern TForm10* Form10;

// Shows the captions editor modally over the open test.
void ShowCaptionsEditor();

// Points the question tools at the open test, after the editor rebound its datasets.
void RebindQuestionTools();

}  // namespace kelvo
