#pragma once
// The defaults of the formulas the builder makes, kept in the test's settings rows:
// -15 value if true, -16 value if false, -17 value for the first answer, -18 step.
// TForm12 ("Set default values") edits them; it is made for each use and freed after.

#include <QDialog>
#include <QString>

#include <map>

class QLineEdit;
class QPushButton;

namespace kelvo {

// The stored defaults that are not Null, by row id.
std::map<int, QString> ReadFormulaDefaults();

// Lets `edit` take only digits, "-", "." and backspace from the keyboard; other
// characters are dropped (keys that type nothing still move and select).
void AcceptNumberKeysOnly(QLineEdit* edit);

// Set by the defaults dialog when its four values are numbers.
extern bool gFormulaDefaultsValid;

class TForm12 : public QDialog {
    Q_OBJECT
public:
    explicit TForm12(QWidget* parent = nullptr);

    bool ValidateDefaults();

    QLineEdit* editTrue;
    QLineEdit* editFalse;
    QLineEdit* editFirstAnswer;
    QLineEdit* editStep;
    QPushButton* btnOK;
    QPushButton* btnCancel;
    QPushButton* btnHelp;

protected:
    void showEvent(QShowEvent* event) override;
    // Closing asks first when a value is no number, and saves valid values unless the
    // dialog was cancelled.
    void done(int result) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void FormShow();
    bool FormCloseQuery();
    void FormClose();

    bool cancelled_ = false;
};

}  // namespace kelvo
