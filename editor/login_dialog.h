#pragma once
// The dialog that asks for an account when a test with user identification is opened,
// and the three attempts around it.

#include <QDialog>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kelvo {

// Account names and passwords are stored in lower case; typing into `edit` follows them.
void KeepLowerCase(QLineEdit* edit);

// Two edits that show "*" for every character and turn input into lower case, and an
// OK button. Built when needed and freed after the login.
class LoginWindow : public QDialog {
    Q_OBJECT
public:
    explicit LoginWindow(QWidget* parent = nullptr);

    // Empties both edits and gives the user edit the focus, ready for the next attempt.
    void clearEntries();
    QString userName() const;
    QString password() const;

    QLabel* userLabel = nullptr;
    QLineEdit* userEdit = nullptr;
    QLabel* passwordLabel = nullptr;
    QLineEdit* passwordEdit = nullptr;
    QPushButton* okButton = nullptr;

private:
    void layOut();
};

// Shows the dialog up to three times, asking after a refused attempt whether to try
// again. `tryAccount` checks one user name and password; the result is whether an
// attempt succeeded. Closing the dialog without OK is an attempt with what the edits
// hold.
bool askForAccount(QWidget* parent, const std::function<bool(const QString&, const QString&)>& tryAccount);

}  // namespace kelvo
