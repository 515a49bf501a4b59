#pragma once
// The results window: every run of the open test in one grid.

#include <QDialog>

namespace kelvo {

class TForm13 : public QDialog {
    Q_OBJECT
public:
    explicit TForm13(QWidget* parent = nullptr);
};

// The program's one instance, owned by the main routine.
extern TForm13* Form13;

}  // namespace kelvo
