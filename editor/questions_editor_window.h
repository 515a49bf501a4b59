#pragma once
// The questions editor: edits question captions one at a time in a large view.

#include <QDialog>

namespace kelvo {

class TForm8 : public QDialog {
    Q_OBJECT
public:
    explicit TForm8(QWidget* parent = nullptr);
};

// The program's one instance, owned by the main routine.
extern TForm8* Form8;

}  // namespace kelvo
