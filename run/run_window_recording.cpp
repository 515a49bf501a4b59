// The end of a run in the test window: the run's row in datac, the answer, data-field and
// variable rows, the backup record, and what closing the window during a run does.

#include "run/run_window.h"

#include "data/database.h"
#include "data/run_variables.h"
#include "data/session.h"
#include "model/settings_rows.h"
#include "ui/application.h"
#include "ui/dialog_service.h"
#include "ui/log_window.h"
#include "ui/wait_window.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QLocale>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <stdexcept>

namespace kelvo {

namespace {

QString Today() { return QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")); }

QString TodayShown() { return QLocale().toString(QDate::currentDate(), QLocale::ShortFormat); }

engine::Connection& Con() { return Session::current().con; }

// Runs one step of the recording in a savepoint of its own: a failing step leaves
// nothing behind and the others go on. False when it failed.
template <class Step>
bool RecordingStep(Step step)
{
    try {
        engine::Transaction savepoint(Con());
        if (!step())
            return false;
        savepoint.commit();
        return true;
    } catch (const engine::EngineError&) {
        return false;
    }
}

QString FlagText(bool on) { return on ? QStringLiteral("true") : QStringLiteral("false"); }

// A data field of type integer or float (any case) is one the formulas read as a number.
bool IsNumericFieldType(const QString& type)
{
    const QString lower = type.toLower();
    return lower == QLatin1String("integer") || lower == QLatin1String("float");
}

}  // namespace

bool TForm2::StartResultRecord()
{
    try {
        // The new id and its row are taken under the file's write lock, so that
        // respondents sharing the file never get the same id.
        engine::Transaction transaction(Con());
        const engine::ResultSet max = Con().select(QStringLiteral("select max(id) from datac;"));
        const qint64 next = max.rows.empty() || max.rows[0][0].isNull() ? 1 : qint64{CellInt(max.rows[0][0])} + 1;
        if (next > std::numeric_limits<int>::max())
            return false;  // no id is left for the run
        const int id = static_cast<int>(next);
        const int affected = Con().execute(QStringLiteral("insert into datac (id, test_date, username, finished) values (")
                                           + QString::number(id) + QLatin1Char(',') + SqlQuote(Today())
                                           + QLatin1Char(',') + SqlQuote(Session::current().user) + QStringLiteral(",false);"));
        transaction.commit();
        if (affected != 1)
            return false;
        gRecordId = id;
        return true;
    } catch (const engine::EngineError&) {
        return false;
    } catch (const std::out_of_range&) {
        return false;  // an id beyond the run ids this program writes
    }
}

void TForm2::FinishTest(bool ShowMessage)
{
    if (ending_)
        return;
    EndRun(ShowMessage);
    close();
}

void TForm2::EndRun(bool ShowMessage)
{
    if (ending_)
        return;
    ending_ = true;
    timer->stop();
    gDuration = std::max<qint64>(0, gStartTime.secsTo(QDateTime::currentDateTime()));
    if (ShowMessage) {
        const std::optional<QString> text = SettingValue(SettingId::EndMessage);
        dialogs::information(text ? *text
                                  : QStringLiteral("Test has finished.\r\n\r\nThank you for participation in test."),
                             QStringLiteral("Kelvo. Record ID=") + QString::number(gRecordId));
        gFinished = true;
    }
    CollectUserFieldValues();
    if (gTypedLastAnswer)
        NormalizeTypedAnswers();
    SaveTestResults();
    WriteBackupRecord();
    gRunning = false;
}

void TForm2::CollectUserFieldValues()
{
    gUserFieldValues.clear();
    gDataValues.clear();
    const std::vector<std::pair<int, QString>> fields = DataFieldTypes();
    for (const auto& [id, type] : fields) {
        const bool isString = type.toLower() == QLatin1String("string");
        QVariant value;
        for (QWidget* control : userFieldControls_) {
            if (control->property("tag").toInt() != id)
                continue;
            if (const auto* edit = qobject_cast<QLineEdit*>(control)) {
                if (!edit->text().isEmpty())
                    value = isString ? SqlQuote(edit->text()) : edit->text();
            } else if (const auto* box = qobject_cast<QCheckBox*>(control)) {
                value = FlagText(box->isChecked());
            }
        }
        gUserFieldValues.emplace_back(id, value);
    }
    std::vector<int> numericIds;
    for (const auto& [id, type] : fields)
        if (IsNumericFieldType(type))
            numericIds.push_back(id);
    // Without a numeric field the formulas read no data values.
    if (numericIds.empty())
        return;
    for (const auto& [id, value] : gUserFieldValues) {
        double number = 0.0;
        if (BinarySearchInt(numericIds, id) >= 0 && !value.isNull())
            number = LocaleTextToNumber(value.toString()).value_or(0.0);
        gDataValues.push_back(number);
    }
}

void TForm2::SaveTestResults()
{
    bool failed = false;
    bool rowMissing = false;
    try {
        // The whole run goes in at once or not at all; each step has its own savepoint.
        engine::Transaction run(Con());
        rowMissing |= !RecordingStep([this] { return UpdateResultRecord(); });
        rowMissing |= !RecordingStep([this] { return InsertItemAnswers(); });
        if (!gUserFieldValues.empty())
            rowMissing |= !RecordingStep([this] { return InsertUserFieldValues(); });
        if (!gVariables.isNull() && !gPosteriorOnly) {
            if (!gFormulas.isNull()) {
                // A calculation that stops is told once, in its own words: its raw cause
                // means nothing to the respondent, and the values it lacks stay empty.
                bool computed = true;
                try {
                    WaitWindowScope wait(QStringLiteral("The calculation variables is in progress.."));
                    computed = CalculateVariables();
                    if (gNullUnchanged)
                        ClearUnchangedVariables();
                    if (computed && !failed)
                        FormatVariableDecimals();
                } catch (const std::exception&) {
                    computed = false;
                }
                if (!computed)
                    dialogs::error(QStringLiteral("There was an error in calculating the variables in the test!\r\n\r\n"
                                                  "Some variables are probably not calculated correctly!"));
            }
            rowMissing |= !RecordingStep([this] { return InsertVariableValues(); });
        }
        // Only a whole run is a finished one: with a row missing the run is kept as an
        // unfinished one, and when even that cannot be written nothing of it is kept.
        // Its answers are in the backup record and the log either way.
        if (rowMissing && gFinished)
            Con().execute(QStringLiteral("update datac set finished=false where id=") + QString::number(gRecordId)
                          + QLatin1Char(';'));
        run.commit();
    } catch (const std::exception&) {
        failed = true;
    }
    failed |= rowMissing;
    if (failed)
        dialogs::error(QStringLiteral("There was an unexpected problem (exception) during sending test data to target "
                                      "database tables!\r\n\r\nSome of data are lost or invalid (probably variables)!"));
}

bool TForm2::UpdateResultRecord()
{
    const int affected = Con().execute(
        QStringLiteral("update datac set test_date=") + SqlQuote(Today()) + QStringLiteral(",test_time=")
        + SqlQuote(StoredDurationText(gDuration)) + QStringLiteral(",blank_answers=")
        + QString::number(BlankAnswerCount(gAnswers)) + QStringLiteral(",last_answer=")
        + QString::number(LastAnsweredItem(gAnswers)) + QStringLiteral(",go_back=") + QString::number(gGoBack)
        + QStringLiteral(",correction_answers=") + QString::number(gCorrections) + QStringLiteral(",username=")
        + SqlQuote(Session::current().user) + QStringLiteral(",finished=") + FlagText(gFinished) + QStringLiteral(" where id=")
        + QString::number(gRecordId) + QLatin1Char(';'));
    return affected == 1;
}

bool TForm2::InsertItemAnswers()
{
    std::vector<int> ids;
    for (int r = 0; r < gItems.rows(); ++r)
        ids.push_back(gItems.integer(r, 0));
    for (const QString& statement : ItemAnswerStatements(gRecordId, ids, gAnswers))
        ExecSQL(statement);
    return true;
}

bool TForm2::InsertUserFieldValues()
{
    std::vector<std::pair<int, QString>> literals;
    const QChar separator = LocaleDecimalSeparator();
    const std::vector<std::pair<int, QString>> types = DataFieldTypes();
    for (auto& [id, value] : gUserFieldValues) {
        bool numeric = false;
        for (const auto& [fieldId, type] : types)
            if (fieldId == id)
                numeric = IsNumericFieldType(type);
        if (numeric && !value.isNull()) {
            QString text = value.toString();
            text.replace(separator, QLatin1Char('.'));
            value = text;
        }
        literals.emplace_back(id, value.isNull() ? QStringLiteral("null") : value.toString());
    }
    ExecSQL(DataFieldStatement(gRecordId, literals));
    return true;
}

LoadedTest TForm2::TestForComputation() const
{
    LoadedTest test;
    for (int r = 0; r < gItems.rows(); ++r)
        test.questionIds.push_back(gItems.integer(r, 0));
    test.ids.itemIds = test.questionIds;
    std::map<int, QStringList> formulas;
    for (int r = 0; r < gFormulas.rows(); ++r)
        formulas[gFormulas.integer(r, 1)] << gFormulas.text(r, 2);
    for (int r = 0; r < gVariables.rows(); ++r) {
        const int id = gVariables.integer(r, 0);
        const QVariant& cumul = gVariables.at(r, 3);
        test.variables.push_back({id, gVariables.number(r, 2), cumul.isNull() || cumul.toBool(), formulas[id]});
        test.ids.variableIds.push_back(id);
    }
    for (const auto& [id, type] : DataFieldTypes()) {
        test.ids.dataFieldIds.push_back(id);
        if (IsNumericFieldType(type))
            test.ids.numericDataFieldIds.push_back(id);
    }
    return test;
}

std::vector<std::pair<int, QString>> TForm2::DataFieldTypes() const
{
    std::vector<std::pair<int, QString>> fields;
    for (int r = 0; r < gUserFields.rows(); ++r)
        fields.emplace_back(gUserFields.integer(r, 0), gUserFields.text(r, 3));
    std::sort(fields.begin(), fields.end(),
              [](const auto& left, const auto& right) { return left.first < right.first; });
    return fields;
}

bool TForm2::CalculateVariables()
{
    gVariableValues = ComputeRunVariables(gAnswerValues, gDataValues, TestForComputation());
    return true;
}

void TForm2::ClearUnchangedVariables()
{
    if (gVariableValues)
        kelvo::ClearUnchangedVariables(*gVariableValues, gVariables);
}

void TForm2::FormatVariableDecimals()
{
    if (gVariableValues)
        kelvo::FormatVariableDecimals(*gVariableValues, gVariables);
}

bool TForm2::InsertVariableValues()
{
    if (!gVariableValues)
        return true;
    NormalizeDecimalSeparator(*gVariableValues);
    std::vector<std::pair<int, QString>> values;
    for (int r = 0; r < gVariableValues->rows(); ++r)
        values.emplace_back(gVariableValues->integer(r, 0), gVariableValues->text(r, 1));
    for (const QString& statement : VariableValueStatements(gRecordId, values))
        ExecSQL(statement);
    return true;
}

BackupRecord TForm2::MakeBackupRecord() const
{
    BackupRecord record;
    record.date = TodayShown();
    record.duration = DurationText(gDuration);
    record.blankAnswers = BlankAnswerCount(gAnswers);
    record.goBack = gGoBack;
    record.corrections = gCorrections;
    record.userName = Session::current().user;
    if (!gUserFieldValues.empty()) {
        record.dataFields.emplace();
        const QChar separator = LocaleDecimalSeparator();
        for (const auto& [id, value] : gUserFieldValues) {
            QString text = CellText(value);
            if (!text.startsWith(QLatin1Char('\'')))
                text.replace(separator, QLatin1Char('.'));
            record.dataFields->emplace_back(id, text);
        }
    }
    for (int r = 0; r < gItems.rows(); ++r)
        record.questionIds.push_back(gItems.integer(r, 0));
    record.answers = gAnswers;
    if (gVariableValues) {
        record.variables.emplace();
        for (int r = 0; r < gVariableValues->rows(); ++r)
            record.variables->emplace_back(gVariableValues->integer(r, 0), gVariableValues->text(r, 1));
    }
    return record;
}

void TForm2::WriteBackupRecord()
{
    const BackupRecord record = MakeBackupRecord();
    const QString folder = BackupFolder();
    const QString fileName = DailyBackupFileName(QDate::currentDate());
    const QStringList lines = BackupRecordLines(record, CountBackupRecords(folder + QLatin1Char('/') + fileName));
    if (Form7) {
        // The record goes into the log as one edit, so that its layout is brought up to
        // date once and not for every line.
        QTextCursor edit(Form7->editor->document());
        edit.beginEditBlock();
        Form7->AddLine(lines.join(QLatin1Char('\n')));
        edit.endEditBlock();
    }
    if (gBackupFile)
        AppendDailyBackupRecord(folder, fileName, record);  // the log window holds the record either way
}

void TForm2::FormCloseQuery(bool& CanClose)
{
    CanClose = true;
    if (!gRunning)
        return;
    if (ending_) {
        CanClose = false;  // the run is being recorded; its end closes the window
        return;
    }
    const std::optional<QString> text = SettingValue(SettingId::AbortQuestion);
    const bool abort = dialogs::question(
        text ? *text : QStringLiteral("Abort test? You will loose all test result!\r\n\r\nAre you sure?"),
        MessageKind::Warning);
    if (!abort) {
        CanClose = !gRunning;  // the time limit may have ended the run meanwhile
        return;
    }
    if (!gRunning || ending_)
        return;  // the run ended while the question was open: it is recorded as it ended
    if (isTrueText(SettingValue(SettingId::SaveUnfinished).value_or(QString()))) {
        EndRun(false);
        return;
    }
    gRunning = false;
    timer->stop();
    int affected = 0;
    try {
        affected = Con().execute(QStringLiteral("delete from datac where id=") + QString::number(gRecordId)
                                 + QLatin1Char(';'));
    } catch (const engine::EngineError&) {
        affected = 0;
    }
    if (affected != 1)
        dialogs::error(QStringLiteral("Error code: 274.\r\n\r\nProgram can not delete this test in the database.\r\n\r\n"
                                      "Check status of database file!"));
}

}  // namespace kelvo
