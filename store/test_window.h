#pragma once
// The test window: one run of the open test, from the data fields to the last question.
// A new one is made for every run, owned by the main window, and shown modally.

#include <QDialog>

namespace kelvo {

class TForm2 : public QDialog {
    Q_OBJECT
public:
    explicit TForm2(QWidget* owner);
};

}  // namespace kelvo
