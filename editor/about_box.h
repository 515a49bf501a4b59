#pragma once
// The About box: the program's name, version, makers and the credit of its built-in
// expression compiler. Made for each showing and freed afterwards.

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace kelvo {

class TForm18 : public QDialog {
    Q_OBJECT
public:
    explicit TForm18(QWidget* parent = nullptr);

    QLabel* ProgramIcon;
    QLabel* ProductName;
    QLabel* Version;
    QLabel* Copyright;
    QLabel* Maker;
    QLabel* Contact;
    QPlainTextEdit* Memo1;
    QPushButton* OKButton;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void FormKeyDown(QKeyEvent* event);
};

// Shows a new About box modally over `parent` and frees it when it closes.
int ShowAboutBox(QWidget* parent);

}  // namespace kelvo
