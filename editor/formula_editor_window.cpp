#include "editor/formula_editor_window.h"

#include "compiler/exco.h"
#include "compiler/exco_codes.h"
#include "data/formula_compiler.h"
#include "data/formula_language.h"
#include "data/session.h"
#include "data/variable_computation.h"
#include "dataaware/data_memo.h"
#include "dataaware/dataset.h"
#include "dataaware/navigator_shortcuts.h"
#include "editor/editor_window.h"
#include "editor/formula_builder_window.h"
#include "editor/function_help.h"
#include "ui/application.h"
#include "ui/dialog_service.h"
#include "ui/help.h"
#include "ui/status_panels.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QStatusBar>
#include <QTextBlock>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>
#include <new>
#include <utility>

namespace kelvo {

using dataaware::Verdict;

TForm6* Form6 = nullptr;
int gFormulaVariableId = 0;
int gFormulaEditorMode = kFormulaEditorBrowse;
int gMemoLineHeight = 0;

namespace {

const char kFormulaSelect[] = "select * from formula where VarID = :ScaleID;";

const int kStatusPanels = 4;

// The memo's lines joined without separators.
QString JoinedLines(const QString& text) { return QString(text).remove(u'\n'); }

}  // namespace

std::optional<int> VariablesPageVariableId()
{
    const dataaware::Dataset* variables = Form3 ? Form3->qvariables : nullptr;
    if (!variables || !variables->isActive() || variables->currentIndex() < 0)
        return std::nullopt;
    const QVariant id = variables->value(QStringLiteral("id"));
    if (id.isNull())
        return std::nullopt;
    return id.toInt();
}

// --- the help panel's paint box -----------------------------------------------------------

FunctionHelpBox::FunctionHelpBox(QWidget* parent) : QWidget(parent)
{
    setAccessibleName(QStringLiteral("Function Help"));
}

void FunctionHelpBox::setText(const QString& text)
{
    text_ = text;
    update();
}

void FunctionHelpBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawText(rect(), Qt::TextWordWrap, text_);
}

// --- the window -------------------------------------------------------------------------------

TForm6::TForm6(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TForm6"));
    setWindowTitle(QStringLiteral("Variables formula editor"));
    resize(760, 320);

    Query = new dataaware::Dataset(this);
    Query->setStatement(QString::fromLatin1(kFormulaSelect));
    Query->setTable(QStringLiteral("formula"), {QStringLiteral("autoid")});
    Query->setMessageHandler(ShowNotice);
    Query->setBeforePost([this] { return QueryBeforePost(); });
    connect(Query, &dataaware::Dataset::posted, this, guardedSlot([this] { UpdateStatus(); }));
    connect(Query, &dataaware::Dataset::removed, this, guardedSlot([this] { UpdateStatus(); }));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    btnHelp = new QToolButton(ToolBar1);
    btnHelp->setObjectName(QStringLiteral("btnHelp"));
    btnHelp->setText(QStringLiteral("Help"));
    btnHelp->setToolTip(QStringLiteral("Show Kelvo help file"));
    ToolBar1->addWidget(btnHelp);
    nav = new dataaware::Navigator(*Query, ToolBar1);
    nav->setObjectName(QStringLiteral("nav"));
    ToolBar1->addWidget(nav);
    tool1 = new QToolButton(ToolBar1);
    tool1->setObjectName(QStringLiteral("tool1"));
    tool1->setText(QStringLiteral("Function Help"));
    tool1->setToolTip(QStringLiteral("Enable/disable Function Help"));
    tool1->setCheckable(true);
    tool1->setChecked(true);
    ToolBar1->addWidget(tool1);
    layout->addWidget(ToolBar1);

    memo = new dataaware::DataMemo(*Query, QStringLiteral("Formula"), this);
    memo->setObjectName(QStringLiteral("memo"));
    memo->setAccessibleName(QStringLiteral("Formula"));
    auto* memoLabel = new QLabel(QStringLiteral("  &Formula"), ToolBar1);
    memoLabel->setBuddy(memo);
    ToolBar1->addWidget(memoLabel);
    layout->addWidget(memo, 1);
    new dataaware::NavigatorShortcuts(*memo, *nav);
    // Installed after the navigator's keys, so that it sees every key release first.
    memo->installEventFilter(this);

    status = MakePanelStatusBar(this, kStatusPanels, statusPanels);
    layout->addWidget(status);

    panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("panel"));
    panel->setFrameShape(QFrame::Box);
    panel->setAutoFillBackground(true);
    panel->setBackgroundRole(QPalette::Window);
    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->setContentsMargins(1, 1, 1, 1);
    pb = new FunctionHelpBox(panel);
    pb->setObjectName(QStringLiteral("pb"));
    panelLayout->addWidget(pb);
    panel->hide();

    connect(btnHelp, &QToolButton::clicked, this, guardedSlot([this] { btnHelpClick(); }));
    connect(tool1, &QToolButton::clicked, this, guardedSlot([this] { tool1Click(); }));

    FormCreate();
}

TForm6::~TForm6()
{
    memo->removeEventFilter(this);
    Query->disconnect(this);
    // The data layer must not reach the component once it is gone.
    if (exco_ && &FormulaCompiler() == exco_.get())
        SetFormulaCompiler(nullptr);
}

void TForm6::FormCreate()
{
    try {
        exco_ = std::make_unique<TExco>();
        SetFormulaCompiler(exco_.get());
    } catch (const std::bad_alloc&) {
        dialogs::error(QStringLiteral("Error code: 275.\r\n\r\nCan't create instance of TExco Unit!"));
    }
    MeasureLineHeight();
}

void TForm6::MeasureLineHeight()
{
    const QFontMetrics metrics(memo->font());
    gMemoLineHeight = metrics.boundingRect(QStringLiteral("Sometext Bla YMHZTAyW")).height();
}

void TForm6::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    guarded([this] { FormShow(); });
}

void TForm6::FormShow()
{
    // The mode holds for this showing only: the Variables page opens the window to browse.
    const int mode = std::exchange(gFormulaEditorMode, int(kFormulaEditorBrowse));
    engine::Connection& con = Session::current().con;
    if (!con.isOpen())
        return;
    if (const std::optional<int> id = VariablesPageVariableId())
        gFormulaVariableId = *id;
    Query->setConnection(&con);
    Query->close();
    Query->setParameter(QStringLiteral("ScaleID"), gFormulaVariableId);
    Query->open();
    Query->last();
    honourEditorMode(mode);
    InitFormulaEngine(trialAnswerSeed);
    UpdateStatus();
}

void TForm6::honourEditorMode(int mode)
{
    if (!Form5)
        return;
    if (mode == kFormulaEditorEditSelected) {
        const std::optional<int> autoid = Form5->selectedFormulaAutoid();
        if (autoid && Query->locate(QStringLiteral("autoid"), *autoid))
            nav->press(dataaware::NavigatorButton::Edit);
    } else if (mode == kFormulaEditorInsert) {
        // A variable without formulas has no node to select, and still needs its first.
        nav->press(dataaware::NavigatorButton::Insert);
    }
}

void TForm6::UpdateStatus()
{
    statusPanels[1]->setText(QStringLiteral("var") + QString::number(gFormulaVariableId));
    statusPanels[3]->setText(QString::number(Query->recordCount()));
}

Verdict TForm6::QueryBeforePost()
{
    Query->setValue(QStringLiteral("varid"), gFormulaVariableId);
    QString text = JoinedLines(memo->toPlainText());
    NormalizeFormula(text);
    Query->setValue(QStringLiteral("formula"), text);
    if (text.isEmpty())
        return Verdict::abort();
    if (text.contains(u'\''))
        return Verdict::refuse(QStringLiteral("This character is forbidden in formula: '\r\n\r\n"));
    QStringList messages;
    if (!ValidateFormula(text, gFormulaVariableId, messages)) {
        QString shown;
        for (const QString& message : messages)
            shown += message + QStringLiteral("\r\n\r\n");
        return Verdict::refuse(shown, dataaware::NoticeKind::Error);
    }
    QString translated = text;
    TranslateFormulaForCompile(translated, gFormulaVariableId);
    if (!TrialRunFormula(translated))
        return Verdict::abort();
    Query->setValue(QStringLiteral("formula"), text);
    return Verdict::proceed();
}

bool TForm6::TrialRunFormula(const QString& formula)
{
    QString prepared = formula;
    PrepareItemTerms(prepared);
    TExco& exco = FormulaCompiler();
    try {
        void* handle = nullptr;
        exco.Compile(prepared.toStdString(), nullptr, handle);
        if (handle != nullptr) {
            exco.Calc(handle);
            return true;
        }
    } catch (const std::exception&) {
        // A fault of the trial run is reported as a compile error is.
    }
    ShowFormulaCompileError();
    return false;
}

void ShowFormulaCompileError()
{
    TExco& exco = FormulaCompiler();
    int code = 0;
    exco.GetError(code);
    std::string item;
    exco.GetErrorText(item);
    QApplication::beep();
    dialogs::error(QStringLiteral("Exco exception.\r\n\r\nThis is invalid Exco formula.\r\n\r\n") + QString::fromStdString(ExcoErrorName(code))
                   + QStringLiteral("\r\n\r\n\"") + QString::fromStdString(item) + QStringLiteral("\""));
    exco.SetOption(exco_option::Zero, exco_option::Errors);
}

// --- function help ---------------------------------------------------------------------------

void TForm6::ShowFunctionHelp()
{
    const QRect caret = memo->cursorRect();
    panel->move(memo->x() + caret.x(), memo->y() + caret.y() + gMemoLineHeight);
    panel->hide();

    const QString all = memo->toPlainText();
    QString before = JoinedLines(all.left(memo->textCursor().position())).remove(u' ');
    const QString text = QString(all).remove(u' ').isEmpty() ? QString() : FunctionHelpFor(before);
    if (text.isEmpty()) {
        pb->setText({});
        return;
    }
    const QFontMetrics metrics(pb->font());
    const QRect measured = metrics.boundingRect(QRect(0, 0, std::max(memo->width(), 1), 100000), Qt::TextWordWrap, text);
    const QMargins margins = panel->contentsMargins() + panel->layout()->contentsMargins();
    panel->resize(static_cast<int>(std::lround(measured.width() * 1.2)) + margins.left() + margins.right(),
                  static_cast<int>(std::lround(measured.height() * 1.2)) + margins.top() + margins.bottom());
    pb->setText(text);
    panel->raise();
    panel->show();
}

void TForm6::tool1Click()
{
    if (!tool1->isChecked())
        panel->hide();
}

bool TForm6::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == memo && event->type() == QEvent::KeyRelease) {
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1) {
            guarded([] { ShowHelpTopic(QStringLiteral("18")); });
            return true;
        }
        if (tool1->isChecked())
            guarded([this] { ShowFunctionHelp(); });
    }
    return QDialog::eventFilter(watched, event);
}

void TForm6::keyReleaseEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F1) {
        guarded([] { ShowHelpTopic(QStringLiteral("18")); });
        return;
    }
    QDialog::keyReleaseEvent(event);
}

void TForm6::btnHelpClick() { ShowHelpTopic(QStringLiteral("23")); }

// --- closing ----------------------------------------------------------------------------------

void TForm6::done(int result)
{
    guarded([this] { FormCloseQuery(); });
    QDialog::done(result);
}

void TForm6::FormCloseQuery()
{
    panel->hide();
    if (Query->isActive())
        Query->close();
}

}  // namespace kelvo
