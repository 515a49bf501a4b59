// The Properties page of the test editor and the settings rows of the open test, the
// handlers that write their row at once (fonts, colours, multiple answers, the
// instruction file), and binding the editor's datasets to a newly opened file.
#include "editor/editor_window.h"

#include "data/database.h"
#include "data/session.h"
#include "dataaware/data_grid.h"
#include "dataaware/dataset.h"
#include "editor/captions_editor_window.h"
#include "engine/connection.h"
#include "model/settings_rows.h"
#include "ui/application.h"
#include "ui/color_dialog.h"
#include "ui/dialog_service.h"
#include "ui/font_dialog.h"
#include "ui/font_setting.h"
#include "ui/log_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <utility>
#include <vector>

namespace kelvo {

namespace {

using S = SettingId;

bool Connected() { return Session::current().con.isOpen(); }

void SetLabelColour(QLabel* label, const QColor& colour)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

// The rows the Properties page shows as a check box.
std::vector<std::pair<S, QCheckBox*>> FlagControls(const TForm3& editor)
{
    return {{S::ConvertToNull, editor.convertToNull}, {S::SaveUnfinished, editor.SaveUnfinished},
            {S::GenerateTextRecord, editor.genTxtRecord}, {S::Aposterior, editor.aposterior},
            {S::LastAnswerEditable, editor.chEditQuestion}, {S::KeyboardEnabled, editor.chKeyBoard},
            {S::TimerEnabled, editor.chTimerEnabled}, {S::StatusBarVisible, editor.checkStatus},
            {S::AllowNoAnswer, editor.chAllowNoAnswer}, {S::AllowMultipleAnswers, editor.chMultipleAnswer}};
}

// The rows the Properties page shows as a list position.
std::vector<std::pair<S, QComboBox*>> ListControls(const TForm3& editor)
{
    return {{S::QuestionsAlign, editor.cQuestions},
            {S::DataFieldsCharCase, editor.combo4},
            {S::AnswersAlign, editor.cAlign},
            {S::DataFieldsAlign, editor.combo2},
            {S::AnswerControlType, editor.combo1}};
}

bool IsNumberRow(int id)
{
    switch (static_cast<S>(id)) {
    case S::QuestionsAlign:
    case S::DataFieldsCharCase:
    case S::AnswersAlign:
    case S::DataFieldsAlign:
    case S::ParseTypedAnswer:
    case S::TestTime:
    case S::AnswerControlType: return true;
    default: return false;
    }
}

bool IsFontRow(int id)
{
    const S row = static_cast<S>(id);
    return row == S::ItemsFont || row == S::AnswersFont || row == S::DataFieldsFont;
}

bool IsColorRow(int id)
{
    const S row = static_cast<S>(id);
    return row == S::DataFieldsPanelColor || row == S::TestPanelColor;
}

// What is wrong with a stored value, empty when it reads as its row's kind of value.
QString StoredValueFault(int id, const QString& text)
{
    const QString holds = QStringLiteral("Settings row %1 holds \"%2\" where a %3 belongs.").arg(id).arg(text);
    if (IsNumberRow(id)) {
        bool ok = false;
        text.trimmed().toInt(&ok);
        return ok ? QString() : holds.arg(QStringLiteral("number"));
    }
    try {
        if (IsFontRow(id))
            FontFromSettingString(text);
        else if (IsColorRow(id))
            ColorValueFromName(text);
    } catch (const std::invalid_argument&) {
        return holds.arg(IsFontRow(id) ? QStringLiteral("font") : QStringLiteral("colour"));
    }
    return {};
}

void SetColumnWidths(QTableView* grid, std::initializer_list<int> widths)
{
    int column = 0;
    for (const int width : widths)
        grid->setColumnWidth(column++, width);
}

// The text of settings row `id`; nothing when the row is missing or Null.
std::optional<QString> StoredSetting(S id)
{
    const RowSet row = SelectToVariant(settingSelectStatement(id, KeySpacing::Tight));
    if (row.isNull() || row.at(0, 0).isNull())
        return std::nullopt;
    return row.text(0, 0);
}

void WriteSetting(S id, const QString& value) { ExecSQL(textUpdateStatement(id, value)); }

// Drops every key but the digits and backspace before the edit sees it.
class KeyGate : public QObject {
public:
    KeyGate(QObject* parent, std::function<bool(const QKeyEvent&)> passes)
        : QObject(parent), passes_(std::move(passes))
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress && !passes_(static_cast<const QKeyEvent&>(*event)))
            return true;
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<bool(const QKeyEvent&)> passes_;
};

// The longest instruction path a settings row keeps.
constexpr int kLongestInstructionPath = 255;

}  // namespace

bool TForm3::settingLoaded(SettingId id) const { return loadedSettings_.count(settingNumber(id)) > 0; }

void TForm3::LoadSettings()
{
    if (!Connected())
        return;
    loadedSettings_.clear();
    labInstruction->clear();
    SetLabelColour(labInstruction, Qt::black);

    const RowSet rows = SelectToVariant(QStringLiteral("select id, v from testd where id < 1;"));
    std::map<int, QVariant> values;
    for (int r = 0; r < rows.rows(); ++r)
        values[rows.integer(r, 0)] = rows.at(r, 1);

    // Each row is applied on its own: a row the file lacks, or whose value does not
    // read as its kind, is told and left as it is; its control is neither filled from
    // it nor written back to it, and validation does not count on it.
    QStringList missing;
    QStringList faults;
    std::set<int> readable;
    for (const SettingRow& row : settingRows()) {
        const int id = settingNumber(row.id);
        if (id >= 1)
            continue;
        const auto found = values.find(id);
        if (found == values.end()) {
            missing << QString::number(id);
            continue;
        }
        if (found->second.isNull())
            continue;
        if (const QString fault = StoredValueFault(id, CellText(found->second)); !fault.isEmpty())
            faults << fault;
        else
            readable.insert(id);
    }
    const auto stored = [&](S id) { return CellText(values[settingNumber(id)]); };
    const auto readableRow = [&](S id) { return readable.count(settingNumber(id)) > 0; };

    const bool wasLoading = std::exchange(loadingSettings_, true);
    for (const auto& [id, box] : FlagControls(*this))
        if (readableRow(id)) {
            box->setChecked(isTrueText(stored(id)));
            loadedSettings_.insert(settingNumber(id));
        }
    if (readableRow(S::KeyboardEnabled))
        Sheet6->setEnabled(chKeyBoard->isChecked());
    // A stored position beyond the list leaves the list as it stands.
    for (const auto& [id, list] : ListControls(*this))
        if (readableRow(id))
            if (const int number = stored(id).trimmed().toInt(); number >= 0 && number < list->count()) {
                list->setCurrentIndex(number);
                loadedSettings_.insert(settingNumber(id));
            }
    if (readableRow(S::ParseTypedAnswer)) {
        cbParseEdit->setCurrentIndex(stored(S::ParseTypedAnswer).trimmed().toInt());
        loadedSettings_.insert(settingNumber(S::ParseTypedAnswer));
    }
    if (readableRow(S::TestTime)) {
        udTimer->setValue(stored(S::TestTime).trimmed().toInt());
        loadedSettings_.insert(settingNumber(S::TestTime));
    }
    loadingSettings_ = wasLoading;
    if (const QString path = stored(S::InstructionPath); !path.isEmpty()) {
        labInstruction->setText(path);
        SetLabelColour(labInstruction, QFileInfo::exists(path) ? QColor(Qt::black) : QColor(Qt::red));
    }
    if (readableRow(S::FileVersion))
        versionInfo->setText(QStringLiteral("Kelvo file version: ") + stored(S::FileVersion));

    if (missing.isEmpty() && faults.isEmpty()) {
        reportedSettingsFault_.clear();
        return;
    }
    QStringList causes;
    if (!missing.isEmpty())
        causes << QStringLiteral("Missing settings rows: ") + missing.join(QStringLiteral(", ")) + QLatin1Char('.');
    causes << faults;
    const QString fault = QStringLiteral("Error in reading the settings of the test!\r\n\r\n")
                          + causes.join(QStringLiteral("\r\n"))
                          + QStringLiteral("\r\n\r\nThe Properties page shows the other settings of this test; these "
                                           "rows are not loaded and are left as they are.");
    // Opening and unlocking both load the page: the same fault of the same file is told
    // once.
    if (reportedSettingsFault_ != Session::current().testFile + fault)
        dialogs::error(fault);
    reportedSettingsFault_ = Session::current().testFile + fault;
}

bool TForm3::SaveSettings()
{
    if (!Connected())
        return false;
    const auto position = [](S id, int index) {
        return settingUpdateStatement(id, QString::number(index));
    };
    const std::vector<std::pair<S, QString>> statements = {
        {S::AllowNoAnswer, flagUpdateStatement(S::AllowNoAnswer, chAllowNoAnswer->isChecked())},
        {S::StatusBarVisible, flagUpdateStatement(S::StatusBarVisible, checkStatus->isChecked())},
        {S::AnswerControlType, position(S::AnswerControlType, combo1->currentIndex())},
        {S::TestTime, position(S::TestTime, udTimer->value())},
        {S::TimerEnabled, flagUpdateStatement(S::TimerEnabled, chTimerEnabled->isChecked())},
        {S::LastAnswerEditable, flagUpdateStatement(S::LastAnswerEditable, chEditQuestion->isChecked())},
        {S::ParseTypedAnswer, textUpdateStatement(S::ParseTypedAnswer, QString::number(cbParseEdit->currentIndex()))},
        {S::DataFieldsAlign, position(S::DataFieldsAlign, combo2->currentIndex())},
        {S::AnswersAlign, position(S::AnswersAlign, cAlign->currentIndex())},
        {S::DataFieldsCharCase, position(S::DataFieldsCharCase, combo4->currentIndex())},
        {S::Aposterior, flagUpdateStatement(S::Aposterior, aposterior->isChecked())},
        {S::GenerateTextRecord, flagUpdateStatement(S::GenerateTextRecord, genTxtRecord->isChecked())},
        {S::QuestionsAlign, position(S::QuestionsAlign, cQuestions->currentIndex())},
        {S::SaveUnfinished, flagUpdateStatement(S::SaveUnfinished, SaveUnfinished->isChecked())},
        {S::ConvertToNull, flagUpdateStatement(S::ConvertToNull, convertToNull->isChecked())},
    };
    engine::Transaction transaction(Session::current().con);
    // A row whose control was not filled from it keeps what it holds.
    for (const auto& [id, statement] : statements)
        if (settingLoaded(id))
            ExecSQL(statement);
    transaction.commit();
    return true;
}

// --- handlers that write their row at once ----------------------------------------------

void TForm3::connectPropertiesHandlers()
{
    fDialog = new FontDialog(this);
    cDialog = new ColorDialog(this);
    for (QPushButton* font : {speed10, speed11, speed14})
        connect(font, &QPushButton::clicked, this, guardedSlot([this, font] { speed10Click(font); }));
    for (QPushButton* colour : {speed12, speed13})
        connect(colour, &QPushButton::clicked, this, guardedSlot([this, colour] { speed12Click(colour); }));
    connect(chMultipleAnswer, &QCheckBox::clicked, this, guardedSlot([this] { chMultipleAnswerClick(); }));
    connect(chTimerEnabled, &QCheckBox::toggled, this, guardedSlot([this] { chTimerEnabledClick(); }));
    chTimerEnabledClick();
    connect(speed6, &QPushButton::clicked, this, guardedSlot([this] { Speed6Click(); }));
    connect(bntLog, &QPushButton::clicked, this, guardedSlot([this] { bntLogClick(); }));

    // Nothing but digits reach the timer edit, neither typed nor pasted.
    udTimer->installEventFilter(new KeyGate(udTimer, [this](const QKeyEvent& key) { return editTimerKeyPress(key); }));
    udTimer->setContextMenuPolicy(Qt::PreventContextMenu);
    for (QLineEdit* edit : udTimer->findChildren<QLineEdit*>()) {
        edit->setContextMenuPolicy(Qt::PreventContextMenu);
        edit->setAcceptDrops(false);
    }

    // A control the author changes takes its row over, also one whose stored value
    // could not be read.
    const auto takeOver = [this](S id) {
        return [this, id] {
            if (!loadingSettings_)
                loadedSettings_.insert(settingNumber(id));
        };
    };
    for (const auto& [id, box] : FlagControls(*this))
        connect(box, &QCheckBox::toggled, this, takeOver(id));
    for (const auto& [id, list] : ListControls(*this))
        connect(list, &QComboBox::currentIndexChanged, this, takeOver(id));
    connect(cbParseEdit, &QComboBox::currentIndexChanged, this, takeOver(S::ParseTypedAnswer));
    connect(udTimer, &QSpinBox::valueChanged, this, takeOver(S::TestTime));
}

bool TForm3::editTimerKeyPress(const QKeyEvent& event) const
{
    if (event.matches(QKeySequence::Paste))
        return false;
    const QString text = event.text();
    // Keys that type nothing (arrows, Home, Delete) move and erase as in any edit.
    if (text.isEmpty() || event.key() == Qt::Key_Delete)
        return true;
    return event.key() == Qt::Key_Backspace || (text.size() == 1 && text[0] >= u'0' && text[0] <= u'9');
}

void TForm3::speed10Click(const QPushButton* pressed)
{
    // A dialog that is open already cannot run a second loop of its own.
    if (fDialog->isVisible())
        return;
    const S row = pressed == speed10 ? S::ItemsFont : pressed == speed11 ? S::AnswersFont : S::DataFieldsFont;
    if (const std::optional<QString> stored = StoredSetting(row)) {
        // A stored font that does not read leaves the dialog with the font it had.
        try {
            const SettingFont font = FontFromSettingString(*stored);
            fDialog->setCurrentFont(font.font);
            fDialog->setColorValue(font.colorValue);
        } catch (const std::invalid_argument&) {
        }
    }
    if (fDialog->exec() != QDialog::Accepted)
        return;
    WriteSetting(row, FontSettingString(fDialog->currentFont(), fDialog->colorValue()));
}

void TForm3::speed12Click(const QPushButton* pressed)
{
    if (cDialog->isVisible())
        return;
    const S row = pressed == speed12 ? S::DataFieldsPanelColor : S::TestPanelColor;
    if (const std::optional<QString> stored = StoredSetting(row)) {
        try {
            cDialog->choice->setValue(ColorValueFromName(*stored));
        } catch (const std::invalid_argument&) {
        }
    }
    if (cDialog->exec() != QDialog::Accepted)
        return;
    WriteSetting(row, ColorNameOfValue(cDialog->choice->value()));
}

void TForm3::chMultipleAnswerClick()
{
    ExecSQL(flagUpdateStatement(S::AllowMultipleAnswers, chMultipleAnswer->isChecked()));
    loadedSettings_.insert(settingNumber(S::AllowMultipleAnswers));
}

void TForm3::chTimerEnabledClick() { udTimer->setEnabled(chTimerEnabled->isChecked()); }

void TForm3::Speed6Click()
{
    const std::optional<QString> stored = StoredSetting(S::InstructionPath);
    const QString chosen =
        dialogs::openFileName(this, QStringLiteral("Open"),
                              QStringLiteral("Rich Text File (*.rtf);;Text File (*.txt)"), stored.value_or(QString()));
    if (chosen.isEmpty() || !QFileInfo::exists(chosen))
        return;
    if (chosen.size() > kLongestInstructionPath) {
        dialogs::warning(QStringLiteral("File path is too long!\r\n\r\nFile path must have length < 256 "
                                        "character!\r\n\r\nYour file path has a length: ")
                         + QString::number(chosen.size()));
        return;
    }
    WriteSetting(S::InstructionPath, chosen);
    labInstruction->setText(chosen);
    SetLabelColour(labInstruction, Qt::black);
}

void TForm3::bntLogClick()
{
    if (Form7)
        Form7->exec();
}

void TForm3::CloseDataSets()
{
    qtestd->close();
    qusers->close();
    ClosePageDataSets();
}

void TForm3::RebindDataSets()
{
    if (!Connected())
        return;
    CloseDataSets();
    OpenPageDataSets();
    qtestd->setConnection(&Session::current().con);
    qtestd->open();
    LoadSettings();
    qusers->setConnection(&Session::current().con);
    qusers->open();
    // The account boxes show the current account, so they need no clearing.
    SetColumnWidths(dbg6, {250, 250});
    RebindQuestionTools();
}

}  // namespace kelvo
