#pragma once
// The formula editor: edits, checks and tries one formula as text.

#include <QDialog>

namespace kelvo {

class TForm6 : public QDialog {
    Q_OBJECT
public:
    explicit TForm6(QWidget* parent = nullptr);
};

// The program's one instance, owned by the main routine.
extern TForm6* Form6;

}  // namespace kelvo
