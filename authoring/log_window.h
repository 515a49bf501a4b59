#pragma once
// The log window: reports of validation, formula checks, backup records and unmatched
// answers are written into its rich-text `editor`.

#include <QDialog>

class QTextEdit;

namespace kelvo {

class TForm7 : public QDialog {
    Q_OBJECT
public:
    explicit TForm7(QWidget* parent = nullptr);

    QTextEdit* editor;  // owned by the window
};

// The program's one instance, owned by the main routine.
extern TForm7* Form7;

}  // namespace kelvo
