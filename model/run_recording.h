#pragma once
// What a finished run becomes in the test file and in its backup record: the statements
// that write the run's answers, data fields and variables into the result tables, the
// counts stored with the run, the number format of variables, and the plain-text backup
// record with its daily file. The test window gathers the run; this module only turns
// it into text and files.

#include <QDate>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>
#include <utility>
#include <vector>

namespace kelvo {

class RowSet;

// The captions (or typed texts) of the chosen answers, [question][answer slot]; an empty
// text is an answer not chosen.
using AnswerTexts = std::vector<std::vector<QString>>;

// Questions whose slots are all empty.
int BlankAnswerCount(const AnswerTexts& answers);
// The 1-based position of the last answered question, 0 when none is answered.
int LastAnsweredItem(const AnswerTexts& answers);

// One INSERT per result-table block of consecutive questions: "insert into datai<k> ( id,
// item<N>, ...) values ( <record>, '<texts joined by CR LF>', null, ...);". Texts go in
// as quoted literals, whatever they hold.
QStringList ItemAnswerStatements(int recordId, const std::vector<int>& questionIds,
                                 const AnswerTexts& answers);

// The same for variables into datav<k>; a value is its text, "null" when it is empty.
QStringList VariableValueStatements(int recordId, const std::vector<std::pair<int, QString>>& values);

// Per result-table block of the variables: the UPDATE of the run's row in datav<k> and
// the INSERT that makes it when the run has no row there yet.
struct VariableBlockStatements {
    int block = 0;
    QString update;
    QString insert;
};
std::vector<VariableBlockStatements> VariableBlockStatementPairs(int recordId,
                                                                 const std::vector<std::pair<int, QString>>& values);

// The variables of a test as the run reads them: rows of id, decnum and start, ascending
// id; `values` rows of id and value in the same order.
// A value equal to its variable's start becomes Null.
void ClearUnchangedVariables(RowSet& values, const RowSet& variables);
// A value of a variable with a decnum from 0 to 15 becomes its fixed-point text.
void FormatVariableDecimals(RowSet& values, const RowSet& variables);

// The one INSERT into dataf; every value is already written as SQL ("'text'", "42",
// "true", or "null").
QString DataFieldStatement(int recordId, const std::vector<std::pair<int, QString>>& literals);

// A value of a variable with `decimals` decimals and at most 15 significant digits,
// written with "." (as a fixed-point number; numbers of 1E15 and more in exponent form).
QString FixedPointText(double value, int decimals);

// A duration as hours:minutes:seconds, hours without limit ("25:00:03").
QString DurationText(qint64 seconds);
// The stored form of a duration in a date column: the day of the zero date plus the
// duration, so that durations of a day or more stay whole.
QString StoredDurationText(qint64 seconds);
// Hours, minutes and seconds as plain numbers joined by ":" (1:0:5 for 3605).
QString SecondsToHMS(qint64 seconds);

// --- the backup record -----------------------------------------------------------------

struct BackupRecord {
    QString date;      // the day of the run as the system shows dates
    QString duration;  // DurationText of the run
    int blankAnswers = 0;
    int goBack = 0;
    int corrections = 0;
    QString userName;
    // Per data field in id order: its id and its value as written to SQL; empty for none.
    std::optional<std::vector<std::pair<int, QString>>> dataFields;
    std::vector<int> questionIds;
    AnswerTexts answers;
    // Per variable: its id and its value as text (empty for Null); none without variables.
    std::optional<std::vector<std::pair<int, QString>>> variables;
};

// The line every record header carries; records are counted by it.
inline constexpr char kBackupRecordMark[] = "_ _ _ _ _";

// The lines of one record, numbered after `recordsBefore` earlier records of the file.
QStringList BackupRecordLines(const BackupRecord& record, int recordsBefore);

// The folder of the daily files, under the user's data folder.
QString BackupFolder();
// Today's file: the date in the system's short format with every character that cannot
// stand in a file name replaced by "-", then ".txt".
QString DailyBackupFileName(const QDate& day);

// Appends one record to the daily file (created with its folder when missing), numbered
// after the records the file already holds. The file is replaced whole through a
// temporary beside it, under a lock shared by every process writing there. False when
// the folder or the file cannot be written; the old file then stays as it was.
bool AppendDailyBackupRecord(const QString& folder, const QString& fileName, const BackupRecord& record);

// The number of records in `path` (0 when it does not exist).
int CountBackupRecords(const QString& path);

}  // namespace kelvo
