#pragma once
// The export window: writes the stored runs of the open test to a file. The person
// picks the groups of result columns (general data, data fields, answers, variables)
// and the two delimiters of the text format; Export asks for the file and its format.
// Text and .xlsx are written by the window from a matrix of the runs, the database and
// the older spreadsheet formats through the export routines.

#include "engine/export/export_table.h"

#include <QDialog>
#include <QString>
#include <QStringList>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kelvo {

// Set once the spreadsheet writer has been found (it is linked into the program), and
// the version it writes, "14": Excel 2010 workbooks.
extern bool gExcelAvailable;
extern QString gExcelVersion;
// The column count of the groups chosen at the last export.
extern int gExportColumnCount;
// The runs as the text and .xlsx exports write them: the column names, then one row
// per run of datac; column 0 is the run id.
extern exporting::Table gExportMatrix;

class TForm14 : public QDialog {
    Q_OBJECT
public:
    explicit TForm14(QWidget* parent = nullptr);

    // The save dialog's filter as the last export offered it: description|pattern pairs.
    const QString& saveFilter() const { return saveFilter_; }

    QGroupBox* gb1;
    QCheckBox* chCommon;
    QCheckBox* chFields;
    QCheckBox* chAnswers;
    QCheckBox* chVariables;
    QGroupBox* gb2;
    QLabel* Label3;
    QLineEdit* Edit1;
    QLabel* Label4;
    QLineEdit* Edit2;
    QPushButton* btnExport;
    QPushButton* btnCancel;
    QPushButton* btnHelp;

public slots:
    void btnExportClick();
    void btnHelpClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    // A column of the export SELECT: its table and its name there.
    struct ExportColumn {
        QString table;
        QString name;
    };

    void FormShow();
    void ExcelVersion();
    bool TableHasRows(const QString& name) const;
    int CountExportColumns() const;
    // `dbaseNames`: the columns get names a dBase field can have.
    QString BuildExportSelect(bool dbaseNames) const;
    void AddTableColumns(std::vector<ExportColumn>& columns, const QString& table) const;
    void BuildExportMatrix();
    void AppendTableToMatrix(const QString& sql);
    void ExportToFile(const QString& sql, const QString& tableName);
    QString SelectedFilterText() const;
    void ExportText();
    void ExportExcel(const QString& sql, const QString& tableName);
    void ExportExcelPerTable(const QString& fileName);
    QStringList ChosenTableNames() const;
    static QStringList SheetNames(const QStringList& tables);
    QString BuildSheetSelect(const QString& table, const QString& fileName, const QString& sheet) const;
    void ExportExcelAutomation(const QString& fileName);
    // Whether the dialog's file is the open test, however its path is spelled.
    bool TargetIsOpenTest() const;
    bool fieldsChosen() const;
    bool variablesChosen() const;

    QString saveFilter_;
    // What the save dialog gave at the last export.
    QString fileName_;
    QString chosenFilter_;
};

}  // namespace kelvo
