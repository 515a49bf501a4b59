#pragma once
// The clone window: copies questions and their formulas.

#include <QDialog>

namespace kelvo {

class TForm4 : public QDialog {
    Q_OBJECT
public:
    explicit TForm4(QWidget* parent = nullptr);
};

// The program's one instance, owned by the main routine.
extern TForm4* Form4;

}  // namespace kelvo
