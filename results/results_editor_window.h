#pragma once
// The stored results editor: the raw result tables of the open test one at a time in a
// data-aware grid. A run is deleted from every result table at once, the data-field
// values of a run can be edited (which marks the run modified), and the posterior
// analysis starts from the selected run.

#include <QDialog>
#include <QString>
#include <QStringList>

class QComboBox;
class QPushButton;
class QStatusBar;
class QToolButton;

namespace kelvo {

namespace dataaware {
class DataGrid;
class Dataset;
class Navigator;
}  // namespace dataaware

class TForm15 : public QDialog {
    Q_OBJECT
public:
    explicit TForm15(QWidget* parent = nullptr);
    ~TForm15() override;

    // How the chooser names a result table: "general data", "answers 1 - 254", ...
    static QString TableDisplayName(const QString& tableName);

    QComboBox* combo;
    QPushButton* helpBtn;
    dataaware::Navigator* nav;
    QToolButton* aposterior;
    dataaware::DataGrid* dbg;
    dataaware::Dataset* query;
    QStatusBar* status;

public slots:
    void comboChange();
    void aposteriorClick();
    void helpBtnClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void FillTableCombo();
    void OpenTable(const QString& table);
    QString currentTable() const;

    // The result tables in chooser order.
    QStringList gDataTables;
};

}  // namespace kelvo
