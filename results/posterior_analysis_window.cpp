#include "results/posterior_analysis_window.h"

#include "data/database.h"
#include "data/formula_routine_cache.h"
#include "data/session.h"
#include "results/posterior_analysis.h"
#include "ui/application.h"
#include "ui/dialog_service.h"
#include "ui/help.h"
#include "ui/log_window.h"
#include "ui/progress_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>
#include <optional>

namespace kelvo {

namespace {

engine::Connection& Con() { return Session::current().con; }

// Runs read from the database at a time: few statements per run, little memory.
constexpr int kRunsPerBlock = 256;
// The progress window paints four times a second; the loop lets it show every frame.
constexpr int kProgressIntervalMs = 250;
constexpr int kEventPauseMs = 50;

const QString kUnmatchedHint = QStringLiteral(
    "To avoid this message always do Posterior analysis BEFORE changing the answers captions!");

// The smallest id of a stored run from `from` to `stop`; nothing when there is none.
std::optional<int> FirstRunFrom(qint64 from, int stop)
{
    if (from > stop)
        return std::nullopt;
    const RowSet first = SelectToVariant(QStringLiteral("select min(id) from datac where id between ")
                                         + QString::number(from) + QStringLiteral(" and ") + QString::number(stop)
                                         + QLatin1Char(';'));
    if (first.isNull() || first.at(0, 0).isNull())
        return std::nullopt;
    return first.integer(0, 0);
}

QString RecordsUpdated(int count) { return QStringLiteral("Number of records updated: ") + QString::number(count); }

// Collects the failure lines of one run with its id in front, for the log window.
class RunFailureLines : public LogLineSink {
public:
    explicit RunFailureLines(int id) : prefix_(QStringLiteral("id= ") + QString::number(id) + QStringLiteral(". ")) {}
    void AddLine(const QString& line) override { lines.append(prefix_ + line); }
    QStringList lines;

private:
    QString prefix_;
};

}  // namespace

TForm19::TForm19(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("Form19"));
    setWindowTitle(QStringLiteral("Set interval for Posterior analysis"));
    auto* layout = new QVBoxLayout(this);
    auto* interval = new QGridLayout;
    const auto makeEdit = [this](const char* name, const QString& caption, QGridLayout* grid, int row) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QLatin1String(name));
        edit->setAccessibleName(QString(caption).remove(QLatin1Char(':')));
        // Only digits can be typed (Backspace still works).
        edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
        auto* label = new QLabel(caption, this);
        label->setBuddy(edit);
        grid->addWidget(label, row, 0);
        grid->addWidget(edit, row, 1);
        return edit;
    };
    eStart = makeEdit("eStart", QStringLiteral("Start ID:"), interval, 0);
    eStop = makeEdit("eStop", QStringLiteral("Stop ID:"), interval, 1);
    layout->addLayout(interval);
    check1 = new QCheckBox(QStringLiteral("Count unmatched answers"), this);
    check1->setObjectName(QStringLiteral("check1"));
    check1->setChecked(true);
    layout->addWidget(check1);
    auto* buttons = new QHBoxLayout;
    const auto makeButton = [this, buttons](const char* name, const QString& caption) {
        auto* button = new QPushButton(caption, this);
        button->setObjectName(QLatin1String(name));
        button->setAccessibleName(QString(caption).remove(QLatin1Char('&')));
        button->setAutoDefault(false);
        buttons->addWidget(button);
        return button;
    };
    btnHelp = makeButton("btnHelp", QStringLiteral("Help"));
    btnCompute = makeButton("btnCompute", QStringLiteral("&Compute"));
    btnCancel = makeButton("btnCancel", QStringLiteral("C&ancel"));
    btnCompute->setDefault(true);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    connect(btnCompute, &QPushButton::clicked, this, guardedSlot([this] { btnComputeClick(); }));
    connect(btnHelp, &QPushButton::clicked, this, guardedSlot([this] { btnHelpClick(); }));
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TForm19::~TForm19() = default;

void TForm19::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    guarded([this] { FormShow(); });
}

void TForm19::FormShow()
{
    gIntervalValid = false;
    gPosteriorDone = false;
    gIdRange = SelectToVariant(QStringLiteral("select min(id), max(id) from datac;"));
    if (gIdRange.isNull() || gIdRange.at(0, 0).isNull())
        QMetaObject::invokeMethod(this, &QDialog::reject, Qt::QueuedConnection);
}

void TForm19::keyReleaseEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F1)
        guarded([this] { btnHelpClick(); });
    QDialog::keyReleaseEvent(event);
}

void TForm19::btnHelpClick() { ShowHelpTopic(QStringLiteral("17")); }

bool TForm19::CheckInterval()
{
    gIntervalValid = false;
    bool startOk = false;
    bool stopOk = false;
    const int start = eStart->text().toInt(&startOk);
    const int stop = eStop->text().toInt(&stopOk);
    if (!startOk || !stopOk) {
        dialogs::warning(QStringLiteral("Start ID and/or Stop (ID) are not valid!\r\n\r\nEnter integer values"));
        return false;
    }
    const int minId = gIdRange.isNull() ? 0 : gIdRange.integer(0, 0);
    const int maxId = gIdRange.isNull() ? 0 : gIdRange.integer(0, 1);
    if (start >= minId && stop <= maxId) {
        if (start > stop) {
            dialogs::warning(QStringLiteral("Start ID must be less than or equal to Stop ID!"));
            eStart->setFocus();
            return false;
        }
        gStartId = start;
        gStopId = stop;
        gIntervalValid = true;
        return true;
    }
    dialogs::warning(QStringLiteral("Start ID or Stop ID are out of valid data range (") + QString::number(minId)
                     + QStringLiteral("..") + QString::number(maxId) + QStringLiteral(")."));
    return false;
}

void TForm19::btnComputeClick()
{
    if (!CheckInterval())
        return;
    const std::optional<PosteriorTestModel> model = LoadTestModel();
    if (!model) {
        dialogs::information(QStringLiteral("Error code 230. Posterior analysis can't be done!"));
        return;
    }
    const int runs = FirstInteger(QStringLiteral("select count(id) from datac where id between ")
                                  + QString::number(gStartId) + QStringLiteral(" and ") + QString::number(gStopId)
                                  + QLatin1Char(';'));
    if (runs == 0) {
        dialogs::warning(QStringLiteral("No records were found within a given interval!\r\n\r\nOperation aborted.."));
        return;
    }
    if (!dialogs::question(QStringLiteral("Do A posterior analysis for interval of record(s) ID=[")
                               + QString::number(gStartId) + QStringLiteral("..") + QString::number(gStopId)
                               + QStringLiteral("]\r\n\r\nYou will not be to able undo this action!!"),
                           MessageKind::Warning))
        return;

    gUnmatched = {};
    gUpdatedCount = 0;
    gFailedCount = 0;
    gPosteriorDone = true;
    TForm20 progress(this);
    progress.setGeometry(geometry());
    progress.show();
    progress.startProgress(runs, kProgressIntervalMs);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    btnCompute->setEnabled(false);
    QApplication::processEvents();
    try {
        ComputeInterval(*model, progress);
    } catch (...) {
        Finish(progress);
        throw;  // a database failure: the runs stored before it keep their new values
    }
    Finish(progress);
}

void TForm19::Finish(TForm20& progress)
{
    progress.stopProgress();
    progress.hide();
    QApplication::restoreOverrideCursor();
    btnCompute->setEnabled(true);
    QApplication::processEvents();
}

void TForm19::ComputeInterval(const PosteriorTestModel& model, TForm20& progress)
{
    // One transaction for the whole analysis and a savepoint per run: a run keeps either
    // its old values or all its new ones, whatever stops the analysis.
    engine::Transaction analysis(Con());
    QStringList failures;
    bool finished = true;
    try {
        finished = ComputeRuns(model, progress, failures);
    } catch (const engine::EngineError&) {
        analysis.commit();  // the runs stored before the failure keep their new values
        throw;
    }
    analysis.commit();
    if (!finished)
        return;
    ReportResults(failures);
}

bool TForm19::ComputeRuns(const PosteriorTestModel& model, TForm20& progress, QStringList& failures)
{
    QElapsedTimer sinceEvents;
    sinceEvents.start();
    FormulaRoutineCache routines;
    // Each block starts at a stored run and ends at the stop id at the latest, so that an
    // interval that ends at the largest id there is ends too, and the ids of deleted runs
    // cost nothing.
    for (std::optional<int> first = FirstRunFrom(gStartId, gStopId); first;) {
        const int last = static_cast<int>(std::min<qint64>(qint64{*first} + kRunsPerBlock - 1, gStopId));
        const StoredRunBlock block(model, *first, last);
        first = FirstRunFrom(qint64{last} + 1, gStopId);
        for (const int id : block.runIds()) {
            AnswerMatrix matrix;
            std::vector<double> dataValues;
            bool loaded = LoadRecordAnswers(model, block, id, matrix, gUnmatched);
            if (!loaded)
                dialogs::error(QStringLiteral("Loading Test data failed!\r\n\r\n") + kUnmatchedHint);
            else if (model.hasDataFields)
                loaded = LoadRecordFields(model, block, id, dataValues);
            if (!loaded) {
                dialogs::error(QStringLiteral("Error code 231. Posterior analysis is unexpectedly interrupted by the "
                                              "occurrence of errors!\r\n\r\nRecord ID= ")
                               + QString::number(id));
                return false;
            }
            RunFailureLines runFailures(id);
            RowSet values;
            try {
                values = EvaluateFormulas(model, matrix, dataValues, runFailures, routines);
            } catch (const std::exception&) {
                if (dialogs::question(QStringLiteral("There was an error in calculating the variables in the test!"
                                                     "\r\n\r\nWant to stop the process of calculating the variables?"),
                                      MessageKind::Error)) {
                    dialogs::information(QStringLiteral("Operation aborted..\r\n\r\n") + RecordsUpdated(gUpdatedCount));
                    return false;
                }
                continue;  // the run is skipped
            }
            {
                engine::Transaction run(Con());
                StoreVariables(model, values, id);
                ExecSQL(QStringLiteral("update datac set aposterior = true where id = ") + QString::number(id)
                        + QLatin1Char(';'));
                run.commit();
            }
            failures << runFailures.lines;
            gFailedCount += static_cast<int>(runFailures.lines.size());
            ++gUpdatedCount;
            if (TFdbThread* thread = progress.thread())
                thread->SetDone(gUpdatedCount);
            if (sinceEvents.elapsed() >= kEventPauseMs) {
                QApplication::processEvents();
                sinceEvents.restart();
            }
        }
    }
    return true;
}

void TForm19::ReportResults(const QStringList& failures)
{
    if (Form7 && !failures.isEmpty())
        Form7->AddLine(failures.join(QLatin1Char('\n')));
    const bool listUnmatched = check1->isChecked() && gUnmatched.count > 0;
    if (gFailedCount == 0 && gUnmatched.count == 0) {
        dialogs::information(QStringLiteral("Posterior analysis successfully finished.\r\n\r\n")
                             + RecordsUpdated(gUpdatedCount));
    } else {
        QString text = QStringLiteral("Posterior analysis finished, but not everything succeeded.\r\n\r\n")
                       + RecordsUpdated(gUpdatedCount);
        if (gFailedCount > 0)
            text += QStringLiteral("\r\nVariables that could not be calculated: ") + QString::number(gFailedCount);
        if (gUnmatched.count > 0)
            text += QStringLiteral("\r\nUnmatched answers: ") + QString::number(gUnmatched.count);
        text += QStringLiteral("\r\n\r\nThe log window lists them.");
        dialogs::warning(text);
    }
    if (listUnmatched && Form7)
        Form7->AddLine(QStringLiteral("\r\n\r\nList of unmatched answers\r\n\r\n") + gUnmatched.text
                       + QStringLiteral("\r\n\r\n") + QString::number(gUnmatched.count)
                       + QStringLiteral(". non-referenced answers found in test results.") + kUnmatchedHint
                       + QStringLiteral("\r\n\r\nIf you using editable answers in test you can probably ignore this "
                                        "warning."));
    if (check1->isChecked() && gUnmatched.count == 0)
        dialogs::information(QStringLiteral("No found unmatched answers during the calculation."));
    if (Form7 && (listUnmatched || gFailedCount > 0))
        Form7->exec();
}

}  // namespace kelvo
