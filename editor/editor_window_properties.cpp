// The Properties page of the test editor and the settings rows of the open test, and
// binding the editor's datasets to a newly opened file.
#include "editor/editor_window.h"

#include "data/database.h"
#include "data/session.h"
#include "engine/connection.h"
#include "model/settings_rows.h"
#include "ui/dialog_service.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QPalette>
#include <QSpinBox>
#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QTableView>

#include <functional>
#include <map>
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

void OpenDataSet(QSqlQueryModel* model, const QString& sql)
{
    engine::Connection& con = Session::current().con;
    model->setQuery(con.nativeSql(sql), con.database());
    // Read to the end, so that no statement stays open on the file while it is changed.
    while (model->canFetchMore())
        model->fetchMore();
}

void SetColumnWidths(QTableView* grid, std::initializer_list<int> widths)
{
    int column = 0;
    for (const int width : widths)
        grid->setColumnWidth(column++, width);
}

}  // namespace

void TForm3::LoadSettings()
{
    if (!Connected())
        return;
    settingsLoaded_ = false;
    labInstruction->clear();
    SetLabelColour(labInstruction, Qt::black);

    const RowSet rows = SelectToVariant(QStringLiteral("select id, v from testd where id < 1;"));
    std::map<int, QVariant> values;
    for (int r = 0; r < rows.rows(); ++r)
        values[rows.integer(r, 0)] = rows.at(r, 1);

    // Every row is checked before any control changes: a test whose rows are missing or
    // hold text where a number belongs is reported and left as it is.
    QStringList missing;
    QStringList notNumbers;
    std::map<int, int> numbers;
    for (const SettingRow& row : settingRows()) {
        const int id = settingNumber(row.id);
        if (id >= 1)
            continue;
        const auto found = values.find(id);
        if (found == values.end()) {
            missing << QString::number(id);
            continue;
        }
        if (!IsNumberRow(id) || found->second.isNull())
            continue;
        bool ok = false;
        const int number = CellText(found->second).trimmed().toInt(&ok);
        if (ok)
            numbers[id] = number;
        else
            notNumbers << QStringLiteral("Settings row %1 holds \"%2\" where a number belongs.")
                              .arg(id)
                              .arg(CellText(found->second));
    }
    if (!missing.isEmpty() || !notNumbers.isEmpty()) {
        QStringList causes;
        if (!missing.isEmpty())
            causes << QStringLiteral("Missing settings rows: ") + missing.join(QStringLiteral(", ")) + QLatin1Char('.');
        causes << notNumbers;
        const QString fault = QStringLiteral("Error in reading the settings of the test!\r\n\r\n")
                              + causes.join(QStringLiteral("\r\n"))
                              + QStringLiteral("\r\n\r\nThe Properties page is not loaded from this test and will "
                                               "not be saved to it.");
        // Opening and unlocking both load the page: the same fault of the same file is
        // told once.
        if (reportedSettingsFault_ != Session::current().testFile + fault)
            dialogs::error(fault);
        reportedSettingsFault_ = Session::current().testFile + fault;
        return;
    }

    const auto value = [&](S id) { return values[settingNumber(id)]; };
    for (const auto& [id, box] : FlagControls(*this))
        if (!value(id).isNull())
            box->setChecked(isTrueText(CellText(value(id))));
    if (!value(S::KeyboardEnabled).isNull())
        Sheet6->setEnabled(chKeyBoard->isChecked());
    // A stored position beyond the list leaves the list as it stands.
    for (const auto& [id, list] : ListControls(*this))
        if (const auto number = numbers.find(settingNumber(id)); number != numbers.end())
            if (number->second >= 0 && number->second < list->count())
                list->setCurrentIndex(number->second);
    if (const auto parse = numbers.find(settingNumber(S::ParseTypedAnswer)); parse != numbers.end())
        cbParseEdit->setCurrentIndex(parse->second);
    if (const auto time = numbers.find(settingNumber(S::TestTime)); time != numbers.end())
        udTimer->setValue(time->second);
    if (const QString path = CellText(value(S::InstructionPath)); !path.isEmpty()) {
        labInstruction->setText(path);
        SetLabelColour(labInstruction, QFileInfo::exists(path) ? QColor(Qt::black) : QColor(Qt::red));
    }
    if (!value(S::FileVersion).isNull())
        versionInfo->setText(QStringLiteral("Kelvo file version: ") + CellText(value(S::FileVersion)));
    settingsLoaded_ = true;
    reportedSettingsFault_.clear();
}

bool TForm3::SaveSettings()
{
    if (!Connected() || !settingsLoaded_)
        return false;
    const auto position = [](S id, int index) {
        return settingUpdateStatement(id, QString::number(index));
    };
    const QStringList statements = {
        flagUpdateStatement(S::AllowNoAnswer, chAllowNoAnswer->isChecked()),
        flagUpdateStatement(S::StatusBarVisible, checkStatus->isChecked()),
        position(S::AnswerControlType, combo1->currentIndex()),
        position(S::TestTime, udTimer->value()),
        flagUpdateStatement(S::TimerEnabled, chTimerEnabled->isChecked()),
        flagUpdateStatement(S::LastAnswerEditable, chEditQuestion->isChecked()),
        settingUpdateStatement(S::ParseTypedAnswer, QStringLiteral("'%1'").arg(cbParseEdit->currentIndex())),
        position(S::DataFieldsAlign, combo2->currentIndex()),
        position(S::AnswersAlign, cAlign->currentIndex()),
        position(S::DataFieldsCharCase, combo4->currentIndex()),
        flagUpdateStatement(S::Aposterior, aposterior->isChecked()),
        flagUpdateStatement(S::GenerateTextRecord, genTxtRecord->isChecked()),
        position(S::QuestionsAlign, cQuestions->currentIndex()),
        flagUpdateStatement(S::SaveUnfinished, SaveUnfinished->isChecked()),
        flagUpdateStatement(S::ConvertToNull, convertToNull->isChecked()),
    };
    engine::Transaction transaction(Session::current().con);
    for (const QString& statement : statements)
        ExecSQL(statement);
    transaction.commit();
    return true;
}

void TForm3::CloseDataSets()
{
    // A query model's clear() keeps a result of the old connection's driver, which dies
    // with the connection; an empty query of no connection holds nothing of it.
    for (QSqlQueryModel* model : {qitems, qanswers, qvariables, quserf, qkeyb, qtestd, qusers})
        model->setQuery(QSqlQuery());
}

void TForm3::RebindDataSets()
{
    if (!Connected())
        return;
    CloseDataSets();
    OpenDataSet(qitems, QStringLiteral("select * from items order by id;"));
    SetColumnWidths(dbg, {dbg->columnWidth(0), 400});
    SetColumnWidths(dbg1, {500});
    OpenDataSet(qvariables, QStringLiteral("select * from variables order by id;"));
    SetColumnWidths(dbg2, {400, 64});
    OpenDataSet(qkeyb, QStringLiteral("select * from keyb order by id;"));
    SetColumnWidths(dbg7, {100, 100});
    OpenDataSet(quserf, QStringLiteral("select * from userf order by id;"));
    SetColumnWidths(dbg4, {400, 64});
    OpenDataSet(qtestd, QStringLiteral("select * from testd where id >0 order by id;"));
    LoadSettings();
    OpenDataSet(qusers, QStringLiteral("select * from users where per0 <> true;"));
    SetColumnWidths(dbg6, {250, 250});
    for (QCheckBox* box : {dbCheck, dbcheck1, dbcheck2, dbcheck3, dbcheck4, dbcheck5})
        box->setChecked(false);
}

}  // namespace kelvo
