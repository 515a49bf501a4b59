#pragma once
// The results window: every stored run of the open test in one grid, built from one
// SELECT per result table of the sections switched on (general data, data fields,
// answers, variables) and merged by run id. It sorts by a column, filters through the
// Find dialog, and draws the cells with a chosen alignment, wrapping and font style.

#include "results/result_grid.h"

#include <QDialog>
#include <QString>
#include <QStringList>


class QAbstractButton;
class QLabel;
class QStatusBar;
class QTableView;
class QToolBar;
class QToolButton;

namespace kelvo {

struct AccountRights;

class TForm13 : public QDialog {
    Q_OBJECT
public:
    explicit TForm13(QWidget* parent = nullptr);
    ~TForm13() override;

    // A test was created or opened: the grid, the status text and the statements are
    // emptied and the data-field and variable sections released. Also used by Find.
    void ResetView();
    // Runs the statements again and merges them into the grid.
    void RefreshGrid();
    // Orders the grid by the column `name`: the statement that holds it goes first.
    void SortByColumn(const QString& name);

    // The filters of the general and of the data-field section ("where ..."), set only
    // by the Find dialog.
    QString generalWhere() const { return generalWhere_; }
    QString fieldsWhere() const { return fieldsWhere_; }
    void setGeneralWhere(const QString& clause) { generalWhere_ = clause; }
    void setFieldsWhere(const QString& clause) { fieldsWhere_ = clause; }

    // The statements in the order they are merged.
    const QStringList& queryList() const { return queryList_; }
    const results::ResultGridModel& gridModel() const { return *model_; }
    QString statusText() const;

    QToolBar* toolBar;
    QToolButton* toolExport;
    QToolButton* toolCommon;
    QToolButton* toolFields;
    QToolButton* toolAnswers;
    QToolButton* toolVariables;
    QToolButton* toolAsc;
    QToolButton* toolDesc;
    QToolButton* toolFind;
    QToolButton* toolWrap;
    QToolButton* toolAlLeft;
    QToolButton* toolAlCenter;
    QToolButton* toolAlRight;
    QToolButton* toolFont;
    QToolButton* toolBold;
    QToolButton* toolUnderline;
    QToolButton* toolItalics;
    QToolButton* toolLog;
    QToolButton* toolModify;
    QTableView* grid;
    QStatusBar* status;

public slots:
    // Each adds or removes its section's statements as its button stands, then refreshes.
    void toolCommonClick();
    void toolFieldsClick();
    void toolAnswersClick();
    void toolVariablesClick();
    void toolAscClick();
    void toolFindClick();
    void toolWrapClick();
    void toolAlignClick();
    void toolFontStyleClick();
    void toolFontClick();
    void toolExportClick();
    void toolModifyClick();
    void toolLogClick();

protected:
    void showEvent(QShowEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildToolBar();
    void buildGrid();
    // The Export and Modify buttons as the account may use them; Modify only once a run
    // is stored.
    void ApplyRights(const AccountRights& rights);
    // Export and Modify as no account may use them, and no rows of the test left.
    void DisableAccountControls();
    void FormShow();
    // Whether the key was one of the window's shortcuts.
    bool FormKeyUp(QKeyEvent* event);
    void ClearGrid();
    void ApplySortSuffix();
    void toggleSection(const QToolButton* button, const QString& prefix, const QStringList& statements);
    QStringList resultTableStatements(const QString& prefix) const;
    void showSubWindow(QDialog& window);
    void applyLook();
    void sizeColumnsToContents();
    // Rows grow to the height their wrapped cells need as they come into view.
    void scheduleRowGrowth();
    void growVisibleRows();
    void paintCornerHeader();

    QStringList queryList_;
    QString generalWhere_;
    QString fieldsWhere_;
    QString sortSuffix_;
    results::ResultGridModel* model_;
    results::ResultCellDelegate* delegate_;
    QLabel* statusLabel_;
    QAbstractButton* cornerHeader_ = nullptr;
    bool rowGrowthPending_ = false;

    // What the Find dialog had last; its search mode is the Find button's "tag".
    QString findColumn_;
    QString findText_;

    friend class TForm17;
};

// The program's one instance, owned by the main routine.
extern TForm13* Form13;

}  // namespace kelvo
