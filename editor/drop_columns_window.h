#pragma once
// The drop-columns window: removes from the result tables a column whose question,
// variable or data field no longer exists. Made for each use and freed afterwards.

#include <QDialog>

class QComboBox;
class QPushButton;

namespace kelvo {

class TForm9 : public QDialog {
    Q_OBJECT
public:
    explicit TForm9(QWidget* parent = nullptr);

    QComboBox* combo = nullptr;
    QPushButton* btnDrop = nullptr;
    QPushButton* btnHelp = nullptr;

    void btnDropClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    // The result columns whose question, variable or data field is gone: the answer
    // tables' "item" columns, the variable tables' "var" columns, then the data fields'.
    void FillColumns();
};

// The result table that holds `column` ("item" + N in the answer table of N, "var" + N
// in the variable table of N, "data" + N in dataf); empty for any other name.
QString ResultTableOfColumn(const QString& column);

// Shows the drop-columns window modally and frees it; `owner` is the editor.
void ShowDropColumnsWindow(QWidget* owner);

}  // namespace kelvo
