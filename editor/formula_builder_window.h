#pragma once
// The formula builder: puts item conditions together from the question tree.

#include <QDialog>

namespace kelvo {

class TForm5 : public QDialog {
    Q_OBJECT
public:
    explicit TForm5(QWidget* parent = nullptr);
};

// The program's one instance, owned by the main routine.
extern TForm5* Form5;

}  // namespace kelvo
