#pragma once
// The administrator account dialog: the name and password of the test's administrator
// and whether opening the test asks for an account (user identification).

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace kelvo {

class TForm11 : public QDialog {
    Q_OBJECT
public:
    explicit TForm11(QWidget* parent = nullptr);

    QLineEdit* Edit1;  // administrator name
    QLineEdit* Edit2;  // password
    QLineEdit* Edit3;  // password typed again
    QCheckBox* chIdentification;
    QPushButton* btn1;  // help
    QPushButton* btn2;  // save
    QPushButton* btn3;  // cancel

public slots:
    void btn1Click();
    void btn2Click();

protected:
    void showEvent(QShowEvent* event) override;
    // Every way of closing writes the identification switch.
    void done(int result) override;

private:
    void FormShow();
    void FormCloseQuery();
};

}  // namespace kelvo
