#include "model/settings_rows.h"

#include "model/values.h"

#include <algorithm>

namespace kelvo {

namespace {

QVariant text(const char* value) { return QVariant(QString::fromUtf8(value)); }

SettingRow row(SettingId id, QVariant value, const char* description, const char* meaning)
{
    return {id, std::move(value), QString::fromUtf8(description), QString::fromUtf8(meaning)};
}

std::vector<SettingRow> buildRows()
{
    using S = SettingId;
    const char* const font = "Arial;clBlack;12;0;0;0;0;";
    return {
        row(S::ConvertToNull, text("true"), "Convert start value to null",
            "a variable whose computed value still equals its start value is stored as Null"),
        row(S::SaveUnfinished, text("false"), "Save unfinished test",
            "closing a running test keeps its run as unfinished instead of deleting it"),
        row(S::QuestionsAlign, text("0"), "Questions align", "alignment of the question text"),
        row(S::GenerateTextRecord, text("true"), "Generate backup text record",
            "also write the daily backup file"),
        row(S::Aposterior, text("false"), "Aposterior analysis",
            "\"true\": variables are not computed at the end of a run"),
        row(S::DataFieldsCharCase, text("0"), "Custom fields Panel CharCase ItemIndex",
            "letter case of the data-field edits"),
        row(S::AnswersAlign, text("0"), "Test Panel answers align ItemIndex",
            "alignment of the answers"),
        row(S::DataFieldsAlign, text("0"), "Custom fields Panel align ItemIndex",
            "layout of the data-field page"),
        row(S::ParseTypedAnswer, text("0"), "Parse client editable answer",
            "normalisation of typed answers"),
        row(S::LastAnswerEditable, text("false"), "Last answer editable",
            "a question with a typed-answer caption gets a typed answer"),
        row(S::KeyboardEnabled, text("true"), "Enable keyboard",
            "keyboard shortcuts in the test window and the main window, NumLock switched on"),
        row(S::BuilderStep, text("1"), "Step", "formula builder default"),
        row(S::BuilderFirstAnswerValue, text("1"), "Value for first answer in question",
            "formula builder default"),
        row(S::BuilderFalseValue, text("0"), "Default Value if false", "formula builder default"),
        row(S::BuilderTrueValue, text("1"), "Default Value if true", "formula builder default"),
        row(S::UserIdentification, text("false"), "User identification on (true) or off (false)",
            "login dialog when the file is opened"),
        row(S::TimerEnabled, text("false"), "Timer on (true) or off (false)", "time limit on"),
        row(S::TestTime, text("3600"), "Test time (s)", "time limit in seconds"),
        row(S::AnswerControlType, text("0"), "(Control type ItemIndex)",
            "answer controls: 0 speed buttons, 1 check boxes, 2 radio buttons"),
        row(S::StatusBarVisible, text("true"), "Status Bar visible (true) or not (false)",
            "status bar of the test window"),
        row(S::DataFieldsFont, text(font),
            "Custom Fields Panel Font: Name;Color;Size;Bold;Italic;Underline;StrikeOut;",
            "font of the data-field page"),
        row(S::TestPanelColor, text("clWhite"), "Color of Test Panel", "colour of the question page"),
        row(S::DataFieldsPanelColor, text("clWhite"), "Color of Custom Field Panel",
            "colour of the data-field page"),
        row(S::AnswersFont, text(font), "Answers Font: Name;Color;Size;Bold;Italic;Underline;StrikeOut;",
            "font of the answers"),
        row(S::ItemsFont, text(font), "Items Font: Name;Color;Size;Bold;Italic;Underline;StrikeOut;",
            "font of the questions"),
        row(S::InstructionPath, QVariant(), "Instruction full path",
            "path of the instruction file, shown before the questions"),
        row(S::AllowNoAnswer, text("true"), "Allow no answer (true or false)",
            "Next is allowed without an answer"),
        row(S::AllowMultipleAnswers, text("false"), "Allow multiple answers (true or false)",
            "several answers per question"),
        row(S::FileVersion, text("2.0"), "Kelvo Test Version info", "file version"),
        row(S::LockFlag, text("false"), "Test Lock status. True=test is locked, False test is Unlock",
            "lock flag"),
        row(S::TestName, text("myTest"), "Test Name", "name of the test"),
        row(S::TestFormCaption, text("Test"), "Test form caption", "caption of the test window"),
        row(S::DataFieldsButton, text("Instructions"), "Button text on custom fields panel",
            "button of the data-field page"),
        row(S::InstructionButton, text("Start"), "Button text on instruction panel",
            "button of the instruction page"),
        row(S::PriorButton, text("Prior"), "Button text on button for Prior questions",
            "previous-question button"),
        row(S::NextButton, text("Next"), "Button text on button for Next questions",
            "next-question button"),
        row(S::AbortQuestion, text("Abort test? You will loose all test result! Are you sure?"),
            "Warning text for abort test before time", "question when a running test is closed"),
        row(S::LastQuestionQuestion, text("This is last question in test! End test?"),
            "Warning on last question in Test", "question on Next at the last question"),
        row(S::EndMessage, text("Test has finished. Thank you for participation in test!"),
            "Text for information message at the end of test", "end message"),
        row(S::QuestionNumberText, text("Current/Total:"), "Question number text",
            "status bar panel 0"),
        row(S::QuestionsLeftText, text("Left:"), "Text for left questions number",
            "status bar panel 1"),
        row(S::TimeText, text("Time:"), "Current test time", "status bar panel 2"),
        row(S::TimeLeftText, text("Time left:"), "Text for time left", "status bar panel 3"),
    };
}

}  // namespace

const std::vector<SettingRow>& settingRows()
{
    static const std::vector<SettingRow> rows = buildRows();
    return rows;
}

const SettingRow* findSettingRow(int id)
{
    const auto& rows = settingRows();
    const auto found = std::find_if(rows.begin(), rows.end(),
                                    [id](const SettingRow& r) { return settingNumber(r.id) == id; });
    return found == rows.end() ? nullptr : &*found;
}

bool isTrueText(const QString& value)
{
    return value.toLower() == QLatin1String("true");
}

namespace {

QString KeyCondition(SettingId id, KeySpacing spacing)
{
    return (spacing == KeySpacing::Tight ? QStringLiteral("where id=") : QStringLiteral("where id = "))
           + QString::number(settingNumber(id)) + QLatin1Char(';');
}

}  // namespace

QString settingSelectStatement(SettingId id, KeySpacing spacing)
{
    return QStringLiteral("select v from testd ") + KeyCondition(id, spacing);
}

QString settingUpdateStatement(SettingId id, const QString& valueLiteral, KeySpacing spacing)
{
    return QStringLiteral("update testd set v = ") + valueLiteral + QLatin1Char(' ') + KeyCondition(id, spacing);
}

QString textUpdateStatement(SettingId id, const QString& text) { return settingUpdateStatement(id, SqlQuote(text)); }

QString flagUpdateStatement(SettingId id, bool on, KeySpacing spacing)
{
    return settingUpdateStatement(id, SqlQuote(on ? QStringLiteral("true") : QStringLiteral("false")), spacing);
}

}  // namespace kelvo
