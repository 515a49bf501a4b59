#pragma once
// The rows of table testd: every setting of a test, its lock flag and the texts of the
// test window. This is the one list of them: each row's id, the value a new test starts
// with, the description stored beside it when the file is created, and what it means.
//
// Values are text: flags "true"/"false" (read without regard to case), numbers as
// decimal text. Only rows 1 to 13 keep their description after creation.

#include <QString>
#include <QVariant>

#include <optional>
#include <vector>

namespace kelvo {

enum class SettingId : int {
    ConvertToNull = -29,         // a variable still at its start value is stored as Null
    SaveUnfinished = -28,        // closing a running test keeps the run as unfinished
    QuestionsAlign = -27,        // alignment of the question text (list position)
    GenerateTextRecord = -26,    // also write the daily backup file
    Aposterior = -25,            // variables are not computed at the end of a run
    DataFieldsCharCase = -24,    // letter case of the data-field edits (list position)
    AnswersAlign = -23,          // alignment of the answers (list position)
    DataFieldsAlign = -22,       // layout of the data-field page (list position)
    ParseTypedAnswer = -21,      // normalisation of typed answers (list position)
    LastAnswerEditable = -20,    // a question with a typed-answer caption gets a typed answer
    KeyboardEnabled = -19,       // shortcut keys in the test and main windows
    BuilderStep = -18,           // formula builder default
    BuilderFirstAnswerValue = -17,  // formula builder default
    BuilderFalseValue = -16,     // formula builder default
    BuilderTrueValue = -15,      // formula builder default
    UserIdentification = -14,    // the login dialog is shown when the file is opened
    TimerEnabled = -13,          // time limit on
    TestTime = -12,              // time limit in seconds
    AnswerControlType = -11,     // 0 speed buttons, 1 check boxes, 2 radio buttons
    StatusBarVisible = -10,      // status bar of the test window
    DataFieldsFont = -9,         // font setting of the data-field page
    TestPanelColor = -8,         // colour name of the question page
    DataFieldsPanelColor = -7,   // colour name of the data-field page
    AnswersFont = -6,            // font setting of the answers
    ItemsFont = -5,              // font setting of the questions
    InstructionPath = -4,        // instruction file shown before the questions; Null: none
    AllowNoAnswer = -3,          // Next is allowed without an answer
    AllowMultipleAnswers = -2,   // several answers per question
    FileVersion = -1,            // file version
    LockFlag = 0,                // "true": the test is locked
    TestName = 1,
    TestFormCaption = 2,
    DataFieldsButton = 3,
    InstructionButton = 4,
    PriorButton = 5,
    NextButton = 6,
    AbortQuestion = 7,
    LastQuestionQuestion = 8,
    EndMessage = 9,
    QuestionNumberText = 10,
    QuestionsLeftText = 11,
    TimeText = 12,
    TimeLeftText = 13,
};

constexpr int settingNumber(SettingId id) { return static_cast<int>(id); }

struct SettingRow {
    SettingId id;
    QVariant defaultValue;  // text; a null QVariant for the rows that start empty (Null)
    QString description;    // stored with the row when the file is created
    QString meaning;        // what the row controls, for the people who read this list
};

// All rows, ids -29 up to 13 in ascending order, as a new test gets them.
const std::vector<SettingRow>& settingRows();

// The row of that id, or nothing when the id is not a row of testd.
const SettingRow* findSettingRow(int id);

// How a flag row reads: lower-cased, it equals "true".
bool isTrueText(const QString& value);

// How a statement writes the row's key: "where id = -14" or "where id=-7". Both pick the
// same row; a few reads and the lock's write have always been sent in the second form and
// keep it, so that every statement reads as it always has.
enum class KeySpacing { Spaced, Tight };

// The statement that reads one row: "select v from testd where id = -14;", or
// "select v from testd where id=-7;" tight.
QString settingSelectStatement(SettingId id, KeySpacing spacing = KeySpacing::Spaced);

// The statement that writes one row, its value given as it stands in the statement (a
// number, or text in quotes): "update testd set v = 2 where id = -11;", or
// "update testd set v = 'true' where id=0;" tight.
QString settingUpdateStatement(SettingId id, const QString& valueLiteral, KeySpacing spacing = KeySpacing::Spaced);

// The statement that writes a text into one row, quoted as every text a person gives:
// "update testd set v = 'O''Brien.rtf' where id = -4;".
QString textUpdateStatement(SettingId id, const QString& text);

// The statement that writes one flag row: "update testd set v = 'true' where id = -3;".
QString flagUpdateStatement(SettingId id, bool on, KeySpacing spacing = KeySpacing::Spaced);

}  // namespace kelvo
