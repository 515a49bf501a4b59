#pragma once
// The questions editor: the caption of one question at a time in a large memo, over
// the editor's own questions dataset, so that what is typed here is what the
// Questions page shows.

#include <QDialog>

#include <vector>

class QKeyEvent;
class QLabel;
class QWidget;

namespace kelvo {

namespace dataaware {
class DataMemo;
class Dataset;
class Navigator;
}  // namespace dataaware

class TForm8 : public QDialog {
    Q_OBJECT
public:
    explicit TForm8(QWidget* parent = nullptr);

    // Puts the memo and the navigator on `questions` (the editor's questions dataset).
    void bind(dataaware::Dataset& questions);

    dataaware::Navigator* nav = nullptr;
    dataaware::DataMemo* memo = nullptr;
    // "Record count: " and "Total record count: ".
    std::vector<QLabel*> panels;

protected:
    void showEvent(QShowEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    void showCounts();

    dataaware::Dataset* questions_ = nullptr;
    QWidget* bottomPanel_ = nullptr;
};

// The program's one instance, owned by the main routine.
extern TForm8* Form8;

// Shows the questions editor modally over `questions`.
void ShowQuestionsEditor(dataaware::Dataset& questions);

}  // namespace kelvo
