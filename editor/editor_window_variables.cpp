// The Variables page of the test editor: the variables a run computes, the rules a
// variable is stored and deleted by, and the buttons that open the formula tools.
#include "editor/editor_window.h"

#include "data/database.h"
#include "dataaware/data_grid.h"
#include "dataaware/dataset.h"
#include "dataaware/navigator.h"
#include "dataaware/navigator_shortcuts.h"
#include "editor/clone_window.h"
#include "editor/formula_builder_window.h"
#include "editor/formula_editor_window.h"
#include "editor/editor_controls.h"
#include "editor/page_controls.h"
#include "model/messages.h"
#include "ui/application.h"

#include <QPushButton>
#include <QVBoxLayout>

namespace kelvo {

namespace {

using dataaware::Dataset;
using dataaware::GridColumn;
using dataaware::NavigatorButton;
using dataaware::Verdict;

constexpr int kMaxDecimals = 10;

// Empty, or a whole number; `number` takes it.
bool ReadsAsWholeNumber(const QString& text, int& number)
{
    if (text.trimmed().isEmpty())
        return true;
    bool ok = false;
    number = text.trimmed().toInt(&ok);
    return ok;
}

Verdict CheckVariable(Dataset& variables)
{
    int start = 0;
    int decimals = 0;
    if (!ReadsAsWholeNumber(FieldText(variables, QStringLiteral("start")), start)
        || !ReadsAsWholeNumber(FieldText(variables, QStringLiteral("decnum")), decimals))
        return Verdict::refuse(QStringLiteral("Columns: Start value, Decimal, Level must be integer numbers!"));
    // Below 0 is no count of decimals either, as the message says.
    if (decimals > kMaxDecimals || decimals < 0)
        return Verdict::refuse(
            QStringLiteral("Column Decimal must be integer in interval 0..10\r\n\r\nEnter integer value between 0..10"));
    const QString caption = FieldText(variables, QStringLiteral("caption")).trimmed();
    variables.setValue(QStringLiteral("caption"), caption);
    if (caption.isEmpty())
        return Verdict::refuse(QStringLiteral("Column caption (textual description) can't be empty!\r\n\r\nEnter text "
                                              "for variable description."));
    if (variables.value(QStringLiteral("id")).isNull())
        variables.setValue(QStringLiteral("id"),
                           FirstFreeNumber(QStringLiteral("select id from variables order by id;"), 0));
    return Verdict::proceed();
}

const QString kNoVariable = QStringLiteral("If you want to write formulas you must enter at least one variable!");

}  // namespace

void TForm3::buildVariablesPage()
{
    qvariables = MakePageDataset(this, "qvariables", QStringLiteral("select * from variables order by id;"),
                                 QStringLiteral("variables"));

    auto* layout = new QVBoxLayout(Sheet3);
    Speed1 = MakeButton(Sheet3, "Speed1", QStringLiteral("&Clone"), QStringLiteral("Clone modul"));
    btnFormula = MakeButton(Sheet3, "btnFormula", QStringLiteral("Formula"), QStringLiteral("Build formula with mouse"));
    btnFormula->setEnabled(false);
    btnHelp4 = MakeHelpButton(Sheet3, "btnHelp4", QStringLiteral("8"));
    nav2 = MakeNavigator(*qvariables, Sheet3, "nav2", QStringLiteral("Variables navigator"));
    btnEditor = MakeButton(Sheet3, "btnEditor", QStringLiteral("&Editor"), QStringLiteral("Formula editor"));
    btnEditor->setEnabled(false);
    AddToolRow(*layout, {Speed1, btnFormula, btnHelp4, nav2, btnEditor});

    dbg2 = MakeDataGrid(*qvariables, Sheet3, "dbg2", QStringLiteral("Variables"),
                        {GridColumn::editable(QStringLiteral("caption"), QStringLiteral("Text")),
                         GridColumn::editable(QStringLiteral("cumul"), QStringLiteral("Cumulative")),
                         GridColumn::editable(QStringLiteral("start"), QStringLiteral("Start value")),
                         GridColumn::editable(QStringLiteral("decnum"), QStringLiteral("Decimal")),
                         GridColumn::numberedName(QStringLiteral("id"), QStringLiteral("Name"), QStringLiteral("var"))});
    layout->addWidget(dbg2, 1);
    AppendBelowLastRow(*dbg2);
    new dataaware::NavigatorShortcuts(*dbg2, *nav2);

    connect(Speed1, &QPushButton::clicked, this, guardedSlot([this] { Speed1Click(); }));
    connect(btnFormula, &QPushButton::clicked, this, guardedSlot([this] { btnFormulaClick(); }));
    connect(btnEditor, &QPushButton::clicked, this, guardedSlot([this] { btnEditorClick(); }));
    connect(nav2, &dataaware::Navigator::clicked, this,
            guardedSlot([this](NavigatorButton button) { nav2Click(button); }));
    for (auto signal : {&Dataset::posted, &Dataset::removed})
        connect(qvariables, signal, this, [this] { EnableFormulaButtons(); });

    qvariables->setBeforePost([this] { return CheckVariable(*qvariables); });
    qvariables->setBeforeDelete([this] {
        if (!dialogs::question(QStringLiteral("You have started an action to delete variables.\r\n\r\nIf this variable "
                                              "is present in any formula, any such formula will also be "
                                              "deleted!\r\n\r\nDelete variable?"),
                               MessageKind::Warning))
            return Verdict::abort();
        const int id = qvariables->value(QStringLiteral("id")).toInt();
        ExecSQL(QStringLiteral("delete from formula where varid = %1;").arg(id));
        DeleteFormulasReferencing(id, QStringLiteral("var"));
        return Verdict::proceed();
    });
}

void TForm3::EnableFormulaButtons()
{
    const bool any = qvariables->recordCount() > 0;
    btnFormula->setEnabled(any);
    btnEditor->setEnabled(any);
}

void TForm3::nav2Click(NavigatorButton button)
{
    if (button == NavigatorButton::Refresh)
        EnableFormulaButtons();
}

namespace {

// What the formula tools need before they open; false after the first warning.
bool FormulaToolsMayOpen(const TForm3& editor)
{
    if (editor.qitems->recordCount() == 0) {
        dialogs::warning(QStringLiteral("Before creating formula you have to create questions (items)! You have 0 "
                                        "questions in test!"));
        return false;
    }
    const RowSet answers = SelectToVariant(QStringLiteral("select count(*) from answers;"));
    if (answers.isNull() || answers.integer(0, 0) == 0) {
        dialogs::warning(QStringLiteral("Before creating formula you have to create answers! You have 0 answers in test!"));
        return false;
    }
    if (editor.qvariables->recordCount() == 0) {
        dialogs::warning(kNoVariable);
        return false;
    }
    if (editor.qvariables->value(QStringLiteral("id")).isNull()) {
        dialogs::warning(QStringLiteral("Before entering the formula you need to save a record!"));
        return false;
    }
    return true;
}

}  // namespace

void TForm3::btnFormulaClick()
{
    if (!FormulaToolsMayOpen(*this) || !Form5)
        return;
    gBuilderVariableId = qvariables->value(QStringLiteral("id")).toInt();
    Form5->exec();
}

void TForm3::btnEditorClick()
{
    if (!FormulaToolsMayOpen(*this) || !Form6)
        return;
    gFormulaVariableId = qvariables->value(QStringLiteral("id")).toInt();
    gFormulaEditorMode = kFormulaEditorBrowse;
    Form6->exec();
}

void TForm3::Speed1Click()
{
    if (!ItemsExist()) {
        dialogs::information(kNoQuestionsMessage);
        return;
    }
    if (qvariables->recordCount() == 0) {
        dialogs::warning(kNoVariable);
        return;
    }
    ShowCloneWindow(CloneMode::Formulas, qanswers, qvariables);
}

}  // namespace kelvo
