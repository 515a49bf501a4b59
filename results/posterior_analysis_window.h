#pragma once
// The posterior analysis dialog: computes the variables of the stored runs in an
// interval of ids again with the test's current formulas, under a progress window, and
// reports the answers that no longer match a caption and the formulas that failed.

#include "results/posterior_analysis.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace kelvo {

class TForm20;

class TForm19 : public QDialog {
    Q_OBJECT
public:
    explicit TForm19(QWidget* parent = nullptr);
    ~TForm19() override;

    // An analysis was started in this dialog (the results editor then refreshes).
    bool gPosteriorDone = false;

    QLineEdit* eStart;
    QLineEdit* eStop;
    QCheckBox* check1;
    QPushButton* btnHelp;
    QPushButton* btnCompute;
    QPushButton* btnCancel;

public slots:
    void btnComputeClick();
    void btnHelpClick();

protected:
    void showEvent(QShowEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    void FormShow();
    bool CheckInterval();
    // Runs every stored run of the checked interval; the counts say what happened.
    void ComputeInterval(const PosteriorTestModel& model, TForm20& progress);
    // The runs block by block; false when the analysis was stopped or interrupted.
    bool ComputeRuns(const PosteriorTestModel& model, TForm20& progress, QStringList& failures);
    // The final message, the failures and unmatched answers in the log window.
    void ReportResults(const QStringList& failures);
    void Finish(TForm20& progress);

    RowSet gIdRange;
    bool gIntervalValid = false;
    int gStartId = 0;
    int gStopId = 0;
    int gUpdatedCount = 0;
    UnmatchedAnswers gUnmatched;
    int gFailedCount = 0;
};

}  // namespace kelvo
