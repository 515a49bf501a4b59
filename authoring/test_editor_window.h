#pragma once
// The test editor: creates, opens, locks and edits a test file.
//
// The class is shared: its test-file operations (create, open, login, settings,
// compaction) live in store/test_files.cpp and store/test_settings.cpp, locking and
// validation in store/test_locking.cpp, and the pages in this file pair.

#include "store/table_dataset.h"

#include <QDialog>
#include <QStringList>

class QCheckBox;
class QComboBox;
class QTabWidget;
class QToolButton;

namespace kelvo {

class TForm3 : public QDialog {
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);

    // The table the column routines open by name on Form1->con to look up its fields.
    TableDataset tmpTable;

    // --- settings of the open test ------------------------------------------------
    void LoadSettings();
    bool SaveSettings();
    void RebindDataSets();

    // --- locking ------------------------------------------------------------------
    bool ValidateAndLock();
    bool ValidateTest(QStringList& messages);
    bool PrepareResultTables();
    bool UnlockTest();

    // The editor's pages; disabled while the test is locked.
    QTabWidget* PageControl = nullptr;
    // Two-state lock button: tag 0 locked ("&Locked"), tag 1 unlocked ("&Unlocked").
    QToolButton* btnLock = nullptr;

    // Properties page controls that validation adjusts.
    QCheckBox* chKeyBoard = nullptr;
    QComboBox* combo1 = nullptr;  // answer control type: speed buttons, check boxes, radio buttons
    QCheckBox* chMultipleAnswer = nullptr;
    QCheckBox* chAllowNoAnswer = nullptr;
    QCheckBox* chEditQuestion = nullptr;

public slots:
    void btnLockClick();
};

// The program's one instance, owned by the main routine.
extern TForm3* Form3;

}  // namespace kelvo
