#pragma once
// The test editor: creates, opens, locks and edits a test file.

#include "store/table_dataset.h"

#include <QDialog>

namespace kelvo {

class TForm3 : public QDialog {
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);

    // The table the column routines open by name on Form1->con to look up its fields.
    TableDataset tmpTable;
};

// The program's one instance, owned by the main routine.
extern TForm3* Form3;

}  // namespace kelvo
