#pragma once
// The Find dialog of the results window: filters the runs by one column of the general
// table (datac) or of the data-field table (dataf) with LIKE, partly or exactly, and
// shows that one section again.

#include <QDialog>

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace kelvo {

class TForm13;

class TForm17 : public QDialog {
    Q_OBJECT
public:
    // Lists the columns of dataf (when the test has it) and of datac, and takes up what
    // `results` kept from the last search.
    explicit TForm17(TForm13& results, QWidget* parent = nullptr);

    QComboBox* combo;
    QLineEdit* edit;
    QGroupBox* radioBox;
    // Item 0 "&Partial", item 1 "&Exact".
    QButtonGroup* radio;
    QPushButton* findBtn;
    QPushButton* resetBtn;
    QPushButton* helpBtn;

public slots:
    void findBtnClick();
    void resetBtnClick();
    void helpBtnClick();

private:
    void FormCreate();
    // The section whose button `section` is, pressed and shown again.
    void showSection(bool dataFields);

    TForm13& results_;
};

}  // namespace kelvo
