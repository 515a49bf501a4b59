#pragma once
// The captions editor: edits the typed-answer captions of the questions.

#include <QDialog>

namespace kelvo {

class TForm10 : public QDialog {
    Q_OBJECT
public:
    explicit TForm10(QWidget* parent = nullptr);
};

// The program's one instance, owned by the main routine.
extern TForm10* Form10;

}  // namespace kelvo
