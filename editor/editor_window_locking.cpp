// Locking a test: result tables, validation and the lock flag.
#include "data/database.h"
#include "data/session.h"
#include "data/variable_computation.h"
#include "editor/editor_window.h"
#include "model/settings_rows.h"
#include "ui/dialog_service.h"
#include "ui/log_window.h"
#include "ui/wait_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QTabWidget>
#include <QToolButton>

#include <algorithm>
#include <optional>
#include <vector>

namespace kelvo {

namespace {


const QString kTablesNotPreparedError =
    QStringLiteral("Internal error! Error code: 233. If you get this error please send e-mail to: \r\n\r\n")
    + kSupportAddress;

const QString kLockedMessage = QStringLiteral(
    "Kelvo test is valid!\r\n\r\nValidation of Kelvo test was successfully completed without error.\r\n\r\n"
    "Your test is locked and ready for use.");

const QString kHasErrorsWarning = QStringLiteral(
    "Test can not be locked because it has errors!\r\n\r\nLook carefully at the following list of errors, "
    "correct these errors and then repeat the process of locking test.");

const QString kNoQuestionsError =
    QStringLiteral("You did not write the questions in the test (number of questions in the test is 0)!");
const QString kNoAnswersError = QStringLiteral("You did not write the answers to the question: \t");

const QString kKeypadLimitWarning = QStringLiteral(
    "You have exceeded the maximum limit the number of responses within the question (30) to use the reply "
    "using the keypad! The function of a keyboard is disabled!");
const QString kRadioButtonsReplacedWarning = QStringLiteral(
    "Radio buttons are not allowed in Kelvo test with several possible answers!\r\n\r\n"
    "They were replaced with a check box answers!");
const QString kKeyboardForcedWarning = QStringLiteral(
    "For radio buttons and the possibility of avoiding responses to questions in the test, it is "
    "automatically enabled to use the keyboard!");
const QString kTypedAnswerKeysWarning = QStringLiteral(
    "You have chosen parallel (simultaneously) using the editable answers and keyboard. Since the keyboard has "
    "the advantage over the answers (it happens earlier in the program), the following characters can NOT be "
    "used within the editable answers: ");
const QString kNumericKeysRules = QStringLiteral(
    "Rules for the use of numeric characters on the keyboard are: to select individual responses using the "
    "keyboard, always use the RIGHT side of the keyboard (next to the NUM LOCK key), and to enter digits in "
    "editable answers always use the numbers on the LEFT side of the keyboard!");

const QString kResultTableBody =
    QStringLiteral(" ( id integer primary key not null, unique (id), check (id > 0) );");

// Answer control types, the positions of combo1's entries.
constexpr int kCheckBoxes = 1;
constexpr int kRadioButtons = 2;
// Answers beyond this number cannot all have a key of their own.
constexpr int kKeypadAnswerLimit = 30;

// The lock button takes no second click while one runs, and comes back however it ends.
class LockButtonBusy {
public:
    explicit LockButtonBusy(QToolButton& button) : button_(button) { button_.setEnabled(false); }
    ~LockButtonBusy() { button_.setEnabled(true); }
    LockButtonBusy(const LockButtonBusy&) = delete;
    LockButtonBusy& operator=(const LockButtonBusy&) = delete;

private:
    QToolButton& button_;
};

// The tables prefix1, prefix2, ... up to the block that holds `maxId` (at least the first).
void CreateBlockTables(const QString& prefix, int maxId)
{
    const int lastBlock = ColumnBlock(std::max(maxId, 1));
    for (int block = 1; block <= lastBlock; ++block) {
        const QString table = prefix + QString::number(block);
        if (!TableExists(table))
            ExecSQL(QStringLiteral("create table ") + table + kResultTableBody);
    }
}

struct ResultColumn {
    QString table;
    QString name;
    QString type;
};

std::vector<ResultColumn> BlockColumns(const QString& idsSql, const QString& tablePrefix,
                                       const QString& columnPrefix, const QString& type)
{
    const RowSet ids = SelectToVariant(idsSql);
    std::vector<ResultColumn> columns;
    for (int r = 0; r < ids.rows(); ++r) {
        const int id = ids.integer(r, 0);
        columns.push_back({tablePrefix + QString::number(ColumnBlock(id)), columnPrefix + QString::number(id), type});
    }
    return columns;
}

std::vector<ResultColumn> DataFieldColumns()
{
    const RowSet fields = SelectToVariant(QStringLiteral("select id, ftype from userf order by id;"));
    std::vector<ResultColumn> columns;
    for (int r = 0; r < fields.rows(); ++r)
        columns.push_back({QStringLiteral("dataf"), QStringLiteral("data") + fields.text(r, 0), fields.text(r, 1)});
    return columns;
}

// Adds the columns that their tables lack, reading a table's fields only when the next
// column lives in another table. False when a column could not be added.
bool AddMissingColumns(TableDataset& tmpTable, const std::vector<ResultColumn>& columns)
{
    bool allAdded = true;
    for (const ResultColumn& column : columns) {
        if (!tmpTable.isOpen() || tmpTable.tableName() != column.table)
            tmpTable.open(Session::current().con, column.table);
        if (!tmpTable.findField(column.name))
            allAdded = AddColumn(column.table, column.name, column.type) && allAdded;
    }
    return allAdded;
}

// What the open test's settings rows say, as far as validation looks at them. A row the
// Properties page could not fill its control from counts as the test window reads it:
// a missing flag is off, a missing answer type is none of the three.
struct ValidatedSettings {
    explicit ValidatedSettings(const TForm3& editor)
        : keyboardRow(editor.settingLoaded(SettingId::KeyboardEnabled)),
          keyboard(keyboardRow && editor.chKeyBoard->isChecked()),
          multipleAnswers(editor.settingLoaded(SettingId::AllowMultipleAnswers) && editor.chMultipleAnswer->isChecked()),
          noAnswer(editor.settingLoaded(SettingId::AllowNoAnswer) && editor.chAllowNoAnswer->isChecked()),
          typedAnswers(editor.settingLoaded(SettingId::LastAnswerEditable) && editor.chEditQuestion->isChecked()),
          controlType(editor.settingLoaded(SettingId::AnswerControlType) ? editor.combo1->currentIndex() : -1)
    {
    }

    // Whether the keyboard can be switched: its row was read.
    bool keyboardRow;
    bool keyboard;
    bool multipleAnswers;
    bool noAnswer;
    bool typedAnswers;
    int controlType;
};

// The keyboard row is written as soon as its box changes, not with the other settings.
void SetKeyboardEnabled(TForm3& editor, bool enabled)
{
    editor.chKeyBoard->setChecked(enabled);
    ExecSQL(flagUpdateStatement(SettingId::KeyboardEnabled, enabled));
}

void AddQuestionsWithoutAnswers(QStringList& errors)
{
    const RowSet rows = SelectToVariant(QStringLiteral(
        "SELECT DISTINCT items.id, answers.itemid FROM items LEFT JOIN answers ON items.id = answers.itemid "
        "ORDER BY 1;"));
    for (int r = 0; r < rows.rows(); ++r)
        if (rows.at(r, 1).isNull())
            errors << kNoAnswersError + rows.text(r, 0);
}

// Every formula compiled and run once on random trial answers; each failure is an error.
void AddFormulaFailures(QStringList& errors, std::optional<unsigned> seed)
{
    if (FirstInteger(QStringLiteral("select count(*) from variables;")) == 0
        && FirstInteger(QStringLiteral("select count(*) from formula")) == 0)
        return;
    InitFormulaEngine(seed);
    LogLineList log;
    ComputeVariables({}, true, log);
    errors << log.lines;
}

void CheckKeypadLimit(TForm3& editor, const ValidatedSettings& settings, int largestAnswerCount,
                      QStringList& warnings)
{
    if (largestAnswerCount <= kKeypadAnswerLimit || !settings.keyboardRow)
        return;
    warnings << kKeypadLimitWarning;
    SetKeyboardEnabled(editor, false);
}

void CheckRadioButtons(TForm3& editor, const ValidatedSettings& settings, QStringList& warnings)
{
    if (settings.controlType != kRadioButtons)
        return;
    if (settings.multipleAnswers) {
        editor.combo1->setCurrentIndex(kCheckBoxes);
        warnings << kRadioButtonsReplacedWarning;
    }
    if (settings.noAnswer && settings.keyboardRow && !settings.keyboard) {
        SetKeyboardEnabled(editor, true);
        warnings << kKeyboardForcedWarning;
    }
}

// The keys that select answers cannot be typed into a typed answer.
void CheckTypedAnswersWithKeyboard(const ValidatedSettings& settings, int largestAnswerCount,
                                   QStringList& warnings)
{
    if (!settings.typedAnswers || !settings.keyboard)
        return;
    warnings << kTypedAnswerKeysWarning;
    const RowSet keys = SelectToVariant(QStringLiteral("select k from keyb order by id;"));
    QString reserved;
    for (int r = 0; r < std::min(largestAnswerCount, keys.rows()); ++r)
        reserved += u'\n' + keys.text(r, 0) + u'\r';
    warnings << reserved << kNumericKeysRules;
}

void ShowValidationLog(const QStringList& messages)
{
    if (!Form7)
        return;
    Form7->AddLogTitle(3, QStringLiteral("Validation Kelvo test"), Qt::AlignHCenter, 20, true, false, Qt::blue);
    for (const QString& line : messages)
        Form7->AddLogLine(line, 10, false, false, Qt::black);
    Form7->exec();
}

// The open test again, so that its table list names the new result tables. The
// connection is left to OpenTestDatabase, which restores it when the opening fails.
void ReopenCurrentTest()
{
    if (!Session::current().testFile.isEmpty())
        Session::current().OpenTestDatabase(Session::current().testFile, false, false);
}

}  // namespace

void TForm3::btnLockClick()
{
    const LockButtonBusy busy(*btnLock);
    if (btnLock->property("tag").toInt() == 1) {
        const WaitWindowScope wait(QStringLiteral("Validation (locking) Kelvo test.."));
        if (ValidateAndLock())
            ShowLockLook(false);
        CloseDataSets();
        ReopenCurrentTest();
        if (PageControl->isEnabled())
            RebindDataSets();
        return;
    }
    UnlockTest();
    ShowLockLook(true);
    RebindDataSets();
}

bool TForm3::ValidateAndLock()
{
    btnLock->setChecked(true);
    QStringList messages;
    const bool valid = ValidateTest(messages);
    bool locked = false;
    if (valid) {
        locked = Session::current().con.execute(flagUpdateStatement(SettingId::LockFlag, true, KeySpacing::Tight)) == 1;
        if (locked)
            dialogs::information(kLockedMessage);
    }
    if (!messages.isEmpty()) {
        if (!valid)
            dialogs::warning(kHasErrorsWarning);
        ShowValidationLog(messages);
    }
    if (locked)
        btnLock->setChecked(false);
    return locked;
}

bool TForm3::ValidateTest(QStringList& messages)
{
    messages.clear();
    if (!PrepareResultTables()) {
        dialogs::error(kTablesNotPreparedError);
        return false;
    }
    if (FirstInteger(QStringLiteral("select count(*) from items;")) == 0) {
        messages << kNoQuestionsError;
        return false;
    }
    AddQuestionsWithoutAnswers(messages);
    if (messages.isEmpty())
        AddFormulaFailures(messages, trialAnswerSeed);
    if (!messages.isEmpty())
        return false;

    // From here on every line is a warning: the test is valid, the Properties page is
    // adjusted to it and saved.
    const int largestAnswerCount =
        FirstInteger(QStringLiteral("select count(id) from answers group by itemid order by 1 desc;"));
    // Each check sees the keyboard as the one before left it.
    CheckKeypadLimit(*this, ValidatedSettings(*this), largestAnswerCount, messages);
    CheckRadioButtons(*this, ValidatedSettings(*this), messages);
    CheckTypedAnswersWithKeyboard(ValidatedSettings(*this), largestAnswerCount, messages);
    SaveSettings();
    return true;
}

bool TForm3::PrepareResultTables()
{
    // Ids start at 1, so a maximum of 0 means the table is empty.
    const int maxItemId = FirstInteger(QStringLiteral("select max(id) from items;"));
    const int maxVariableId = FirstInteger(QStringLiteral("select max(id) from variables;"));
    const int maxDataFieldId = FirstInteger(QStringLiteral("select max(id) from userf;"));

    CreateBlockTables(QStringLiteral("datai"), maxItemId);
    if (maxVariableId > 0)
        CreateBlockTables(QStringLiteral("datav"), maxVariableId);
    if (maxDataFieldId > 0 && !TableExists(QStringLiteral("dataf")))
        ExecSQL(QStringLiteral("create table dataf") + kResultTableBody);

    bool allAdded = AddMissingColumns(
        tmpTable, BlockColumns(QStringLiteral("select id from items order by id;"), QStringLiteral("datai"),
                               QStringLiteral("item"), QStringLiteral("longtext")));
    allAdded = AddMissingColumns(tmpTable, BlockColumns(QStringLiteral("select id from variables order by id;"),
                                                        QStringLiteral("datav"), QStringLiteral("var"),
                                                        QStringLiteral("float")))
               && allAdded;
    allAdded = AddMissingColumns(tmpTable, DataFieldColumns()) && allAdded;
    return allAdded;
}

bool TForm3::UnlockTest()
{
    tmpTable.open(Session::current().con, QStringLiteral("testd"));
    UpdateRecord(tmpTable, QStringLiteral("id"), QStringLiteral("0"), {QStringLiteral("v")},
                 {QStringLiteral("false")}, false, false);
    return true;
}

}  // namespace kelvo
