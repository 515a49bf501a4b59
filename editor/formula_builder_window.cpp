#include "editor/formula_builder_window.h"

#include "data/database.h"
#include "data/formula_language.h"
#include "data/session.h"
#include "editor/editor_window.h"
#include "editor/formula_defaults_window.h"
#include "editor/formula_editor_window.h"
#include "engine/connection.h"
#include "model/settings_rows.h"
#include "ui/application.h"
#include "ui/dialog_service.h"
#include "ui/help.h"
#include "ui/status_panels.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

namespace kelvo {

TForm5* Form5 = nullptr;
int gBuilderVariableId = 0;
QStringList gBuilderFormulaIds;
QString gFirstAnswerValue = QStringLiteral("1");
QString gAnswerStep = QStringLiteral("1");

namespace {

const char kTreeFormat[] = "application/x-kelvo-builder-tree";
const int kStatusPanels = 5;

const QString kUseEditorAdvice =
    QStringLiteral("If you get this error often use formula editor instead of creating a formula with the mouse");

QToolButton* ToolButton(QToolBar* bar, const char* name, const QString& caption, const QString& hint, bool checkable)
{
    auto* button = new QToolButton(bar);
    button->setObjectName(QLatin1String(name));
    button->setText(caption);
    button->setToolTip(hint);
    button->setCheckable(checkable);
    bar->addWidget(button);
    return button;
}

// Check buttons of which at most one is down; all may be up.
void OneDownAtMost(std::initializer_list<QToolButton*> group)
{
    const std::vector<QToolButton*> buttons(group);
    for (QToolButton* button : buttons)
        QObject::connect(button, &QToolButton::toggled, button, [button, buttons](bool down) {
            if (!down)
                return;
            for (QToolButton* other : buttons)
                if (other != button)
                    other->setChecked(false);
        });
}

QLineEdit* ValueEdit(QWidget* row, const char* name, const QString& hint, const QString& initial)
{
    auto* label = new QLabel(hint + u':', row);
    auto* edit = new QLineEdit(initial, row);
    edit->setObjectName(QLatin1String(name));
    edit->setToolTip(hint);
    edit->setAccessibleName(hint);
    edit->setMaximumWidth(60);
    AcceptNumberKeysOnly(edit);
    label->setBuddy(edit);
    row->layout()->addWidget(label);
    row->layout()->addWidget(edit);
    return edit;
}

// An empty value stands for the default; any other must read as a Double (with ".").
bool ValueIsNumber(const QString& text)
{
    const QString value = text.trimmed();
    if (value.isEmpty())
        return true;
    const std::optional<double> number = TextToNumber(value);
    return number && std::isfinite(*number);
}

// The question id of a node "item" + N of the question tree.
QString QuestionNumber(const QTreeWidgetItem* question) { return question->text(0).mid(4); }

QString ForbiddenQuoteText(const QString& text)
{
    return QStringLiteral("This character is forbidden in formula: '\r\n\r\nYou must delete this formula: \r\n\r\n")
           + text;
}

// A formula text goes into a statement only without a single quote.
void RefuseQuote(const QString& text)
{
    if (text.contains(u'\'')) {
        dialogs::error(ForbiddenQuoteText(text));
        throw SilentAbort();
    }
}

QString FormulaUpdate(const QString& text, int autoid)
{
    return QStringLiteral("update formula set formula = '") + text + QStringLiteral("'")
           + QStringLiteral(" where autoid = ") + QString::number(autoid) + QStringLiteral(";");
}

QString FormulaIdLine(const QString& text, int autoid) { return text + u'\'' + QString::number(autoid); }

int AutoidOfLine(const QString& line) { return line.mid(line.lastIndexOf(u'\'') + 1).toInt(); }

// Runs `operation`; a database fault shows the internal error `code` with its text.
template <class F>
void ReportFaults(int code, const QString& text, F&& operation)
{
    try {
        operation();
    } catch (const SilentAbort&) {
        throw;
    } catch (const std::exception&) {
        dialogs::error(QStringLiteral("Internal error! Error code: ") + QString::number(code)
                       + QStringLiteral(".\r\n\r\n") + text + QStringLiteral("\r\n\r\n") + kUseEditorAdvice);
    }
}

}  // namespace

// --- the trees --------------------------------------------------------------------------------

BuilderTree::BuilderTree(QWidget* parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDragEnabled(true);
    setDefaultDropAction(Qt::CopyAction);
}

QMimeData* BuilderTree::dragData() const { return mimeData(selectedItems()); }

QMimeData* BuilderTree::mimeData(const QList<QTreeWidgetItem*>& items) const
{
    QMimeData* data = QTreeWidget::mimeData(items);
    if (!data)
        data = new QMimeData;
    data->setData(QString::fromLatin1(kTreeFormat), objectName().toUtf8());
    return data;
}

BuilderTree* BuilderTree::sourceOf(const QMimeData* data) const
{
    if (!data || !data->hasFormat(QString::fromLatin1(kTreeFormat)))
        return nullptr;
    const QString name = QString::fromUtf8(data->data(QString::fromLatin1(kTreeFormat)));
    if (name == objectName())
        return const_cast<BuilderTree*>(this);
    return window()->findChild<BuilderTree*>(name);
}

void BuilderTree::dragEnterEvent(QDragEnterEvent* event)
{
    if (sourceOf(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void BuilderTree::dragMoveEvent(QDragMoveEvent* event)
{
    BuilderTree* source = sourceOf(event->mimeData());
    bool accepted = false;
    guarded([&] { accepted = source && accepts && accepts(source, itemAt(event->position().toPoint())); });
    if (accepted) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void BuilderTree::dropEvent(QDropEvent* event)
{
    // The items stay where they are in both trees: the drop is the builder's to act on.
    event->setDropAction(Qt::CopyAction);
    event->accept();
    BuilderTree* source = sourceOf(event->mimeData());
    QTreeWidgetItem* target = itemAt(event->position().toPoint());
    guarded([&] {
        if (source && accepts && accepts(source, target) && dropped)
            dropped(source, target);
    });
}

// --- the window -------------------------------------------------------------------------------

TForm5::TForm5(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TForm5"));
    setWindowTitle(QStringLiteral("Variables formula definition"));
    resize(760, 480);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    toolBar = new QToolBar(this);
    toolBar->setObjectName(QStringLiteral("toolBar"));
    cOperator = new QComboBox(toolBar);
    cOperator->setObjectName(QStringLiteral("cOperator"));
    cOperator->setAccessibleName(QStringLiteral("Operator"));
    cOperator->addItems({QStringLiteral("="), QStringLiteral("<>"), QStringLiteral("<"), QStringLiteral(">"),
                         QStringLiteral("<="), QStringLiteral(">=")});
    toolBar->addWidget(cOperator);
    t_or = ToolButton(toolBar, "t_or", QStringLiteral("OR"), {}, true);
    t_and = ToolButton(toolBar, "t_and", QStringLiteral("AND"), {}, true);
    toolBar->addSeparator();
    toolAsc = ToolButton(toolBar, "toolAsc", QStringLiteral("ASC"), {}, true);
    toolDesc = ToolButton(toolBar, "toolDesc", QStringLiteral("DESC"), {}, true);
    toolBar->addSeparator();
    tool6 = ToolButton(toolBar, "tool6", QStringLiteral("BLANK"), QStringLiteral("Blank (null) answer"), true);
    tool7 = ToolButton(toolBar, "tool7", QStringLiteral("ANY"), QStringLiteral("Any answer"), true);
    tool8 = ToolButton(toolBar, "tool8", QStringLiteral("EACH"), QStringLiteral("Each answer"), true);
    toolBar->addSeparator();
    toolCollaps = ToolButton(toolBar, "toolCollaps", QStringLiteral("Collaps"), {}, true);
    btnHelp3 = ToolButton(toolBar, "btnHelp3", QStringLiteral("Help"), {}, false);
    toolValues = ToolButton(toolBar, "toolValues", QStringLiteral("Values"), QStringLiteral("Set default formula values"),
                            false);
    btnEditor = ToolButton(toolBar, "btnEditor", QStringLiteral("Editor"), {}, false);
    OneDownAtMost({t_or, t_and});
    OneDownAtMost({toolAsc, toolDesc});
    OneDownAtMost({tool6, tool7, tool8});
    layout->addWidget(toolBar);

    auto* values = new QWidget(this);
    auto* valuesLayout = new QHBoxLayout(values);
    valuesLayout->setContentsMargins(4, 2, 4, 2);
    editTrue = ValueEdit(values, "editTrue", QStringLiteral("Value if true"), QStringLiteral("1"));
    editFalse = ValueEdit(values, "editFalse", QStringLiteral("Value if false"), QStringLiteral("0"));
    valuesLayout->addStretch();
    layout->addWidget(values);

    auto* splitter = new QSplitter(this);
    tree1 = new BuilderTree(splitter);
    tree1->setObjectName(QStringLiteral("tree1"));
    tree1->setAccessibleName(QStringLiteral("Questions and answers"));
    tree1->setDragDropMode(QAbstractItemView::DragOnly);
    tree2 = new BuilderTree(splitter);
    tree2->setObjectName(QStringLiteral("tree2"));
    tree2->setAccessibleName(QStringLiteral("Formulas"));
    tree2->setRootIsDecorated(false);
    tree2->setDragDropMode(QAbstractItemView::DragDrop);
    tree2->accepts = [this](BuilderTree* source, QTreeWidgetItem*) { return tree2DragOver(source); };
    tree2->dropped = [this](BuilderTree* source, QTreeWidgetItem* target) { tree2DragDrop(source, target); };
    splitter->addWidget(tree1);
    splitter->addWidget(tree2);
    layout->addWidget(splitter, 1);

    status = MakePanelStatusBar(this, kStatusPanels, statusPanels);
    layout->addWidget(status);

    // The window sees the keys of its controls first.
    for (QWidget* control : std::initializer_list<QWidget*> {tree1, tree2, editTrue, editFalse, cOperator})
        control->installEventFilter(this);

    QAbstractItemModel* formulas = tree2->model();
    connect(formulas, &QAbstractItemModel::rowsInserted, this, [this] { updateFormulaCount(); });
    connect(formulas, &QAbstractItemModel::rowsRemoved, this, [this] { updateFormulaCount(); });
    connect(formulas, &QAbstractItemModel::modelReset, this, [this] { updateFormulaCount(); });
    connect(tree1, &QTreeWidget::itemClicked, this, guardedSlot([this] { tree1Click(); }));
    connect(toolValues, &QToolButton::clicked, this, guardedSlot([this] { toolValuesClick(); }));
    connect(toolCollaps, &QToolButton::clicked, this, guardedSlot([this] { toolCollapsClick(); }));
    connect(btnEditor, &QToolButton::clicked, this, guardedSlot([this] { btnEditorClick(); }));
    connect(btnHelp3, &QToolButton::clicked, this, guardedSlot([] { ShowHelpTopic(QStringLiteral("19")); }));
}

TForm5::~TForm5()
{
    // The trees are freed after this window's members: their last signals must not
    // reach it.
    tree2->model()->disconnect(this);
    tree1->disconnect(this);
}

std::optional<int> TForm5::selectedFormulaAutoid() const
{
    QTreeWidgetItem* node = tree2->currentItem();
    if (!node || !node->isSelected())
        return std::nullopt;
    const int k = tree2->indexOfTopLevelItem(node);
    if (k < 0 || k >= gBuilderFormulaIds.size())
        return std::nullopt;
    return AutoidOfLine(gBuilderFormulaIds[k]);
}

void TForm5::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    guarded([this] { FormShow(); });
}

void TForm5::FormShow()
{
    if (const std::optional<int> id = VariablesPageVariableId())
        gBuilderVariableId = *id;
    statusPanels[4]->clear();
    LoadQuestionTree();
    LoadFormulaTree();
}

void TForm5::LoadQuestionTree()
{
    tree1->clear();
    const RowSet rows = SelectToVariant(QStringLiteral(
        "SELECT items.id, answers.caption FROM items LEFT JOIN answers ON items.id = answers.itemid ORDER BY "
        "items.id, answers.id;"));
    QTreeWidgetItem* question = nullptr;
    for (int r = 0; r < rows.rows(); ++r) {
        const QString name = QStringLiteral("item") + rows.text(r, 0);
        if (!question || question->text(0) != name)
            question = new QTreeWidgetItem(tree1, {name});
        if (!rows.at(r, 1).isNull())
            new QTreeWidgetItem(question, {rows.text(r, 1)});
    }
    toolCollaps->setChecked(false);
    toolCollaps->click();
    if (QTreeWidgetItem* first = tree1->topLevelItem(0))
        first->setExpanded(true);

    statusPanels[1]->setText(QStringLiteral("var") + QString::number(gBuilderVariableId));
    const bool several = Form3 && Form3->chMultipleAnswer->isChecked();
    const bool none = Form3 && Form3->chAllowNoAnswer->isChecked();
    // A button that cannot be used must not act while it is down either.
    if (!several)
        tool8->setChecked(false);
    if (!none)
        tool6->setChecked(false);
    tool8->setEnabled(several);
    tool6->setEnabled(none);
    LoadFormulaDefaults();
}

void TForm5::LoadFormulaDefaults()
{
    for (const auto& [id, value] : ReadFormulaDefaults()) {
        switch (static_cast<SettingId>(id)) {
        case SettingId::BuilderTrueValue: editTrue->setText(value); break;
        case SettingId::BuilderFalseValue: editFalse->setText(value); break;
        case SettingId::BuilderFirstAnswerValue: gFirstAnswerValue = value; break;
        case SettingId::BuilderStep: gAnswerStep = value; break;
        default: break;
        }
    }
}

void TForm5::LoadFormulaTree()
{
    tree2->clear();
    gBuilderFormulaIds.clear();
    const RowSet rows = SelectToVariant(QStringLiteral("select formula, autoid from formula where varID = ")
                                        + QString::number(gBuilderVariableId) + QStringLiteral(" order by autoID;"));
    for (int r = 0; r < rows.rows(); ++r) {
        new QTreeWidgetItem(tree2, {rows.text(r, 0)});
        gBuilderFormulaIds << FormulaIdLine(rows.text(r, 0), rows.integer(r, 1));
    }
}

void TForm5::updateFormulaCount() { statusPanels[3]->setText(QString::number(tree2->topLevelItemCount())); }

QString TForm5::DefaultValueArguments() const
{
    const QString t = editTrue->text().trimmed();
    const QString f = editFalse->text().trimmed();
    const bool defaultTrue = t.isEmpty() || t == QStringLiteral("1");
    const bool defaultFalse = f.isEmpty() || f == QStringLiteral("0");
    if (defaultTrue && defaultFalse)
        return {};
    if (defaultTrue)
        return QStringLiteral(",1,") + f;
    if (defaultFalse)
        return u',' + t;
    return u',' + t + u',' + f;
}

void TForm5::ShowBuilderStatus(const QString& text, bool alert)
{
    statusPanels[4]->setText(text);
    if (!alert)
        return;
    status->setStyleSheet(QStringLiteral("QStatusBar { background: red; }"));
    QTimer::singleShot(200, status, [this] { status->setStyleSheet({}); });
}

// --- dragging and dropping ----------------------------------------------------------------------

bool TForm5::anyAnswerKindDown() const { return tool6->isChecked() || tool7->isChecked() || tool8->isChecked(); }

bool TForm5::tree2DragOver(BuilderTree* source) const
{
    if (source == tree2)
        return true;
    if (source != tree1)
        return false;
    if (anyAnswerKindDown())
        return true;
    const QTreeWidgetItem* node = tree1->currentItem();
    return node && node->parent();
}

void TForm5::tree2DragDrop(BuilderTree* source, QTreeWidgetItem* target)
{
    QTreeWidgetItem* node = source->currentItem();
    if (source == tree2) {
        if (node && target && node != target)
            ReportFaults(177, QStringLiteral("Unexpected error in updating records (formula) in the database!"),
                         [&] { SwapFormulas(node, target); });
        return;
    }
    if (!node)
        return;
    ReportFaults(176, QStringLiteral("Unexpected error in inserting records (formula) into database table!"), [&] {
        // A value that is no number would be stored in a formula that never compiles.
        if (!ValueIsNumber(editTrue->text()) || !ValueIsNumber(editFalse->text())) {
            ShowBuilderStatus(QStringLiteral("Error! Value if true and value if false must be numbers"), true);
            return;
        }
        if (anyAnswerKindDown()) {
            CreateFormulaFromDrop(node);
            return;
        }
        if (!node->parent() || node->childCount() > 0)
            return;
        if (target && (t_or->isChecked() || t_and->isChecked()))
            AppendOperandToFormula(node, target);
        else
            CreateConditionFormula(node);
    });
}

void TForm5::CreateConditionFormula(QTreeWidgetItem* answer)
{
    const QTreeWidgetItem* question = answer->parent();
    const int position = question->indexOfChild(answer) + 1;
    StoreNewFormula(QStringLiteral("if(item") + QuestionNumber(question) + cOperator->currentText()
                    + QString::number(position) + DefaultValueArguments() + u')');
}

void TForm5::CreateFormulaFromDrop(QTreeWidgetItem* node)
{
    const QTreeWidgetItem* question = node->parent() ? node->parent() : node;
    const int answers = question->childCount();
    if (answers == 0) {
        ShowBuilderStatus(QStringLiteral("Error! Selected item (question) has no answers"), true);
        return;
    }
    const QString item = QStringLiteral("if(item") + QuestionNumber(question);
    const QString suffix = DefaultValueArguments();
    QString text;
    if (tool6->isChecked()) {
        text = item + QStringLiteral("=0") + suffix + u')';
    } else if (tool7->isChecked()) {
        text = item + QStringLiteral("<>0") + suffix + u')';
    } else {
        QStringList conditions;
        for (int j = 1; j <= answers; ++j)
            conditions << item + u'=' + QString::number(j) + u')';
        text = QStringLiteral("if(") + conditions.join(u'*') + QStringLiteral(">0") + suffix + u')';
    }
    StoreNewFormula(text);
}

void TForm5::StoreNewFormula(const QString& text)
{
    new QTreeWidgetItem(tree2, {text});
    RefuseQuote(text);
    ExecSQL(QStringLiteral("insert into formula (varid, formula) values (") + QString::number(gBuilderVariableId)
            + QStringLiteral(",'") + text + QStringLiteral("');"));
    const RowSet latest = SelectToVariant(QStringLiteral("select max(autoid) from formula;"));
    gBuilderFormulaIds << FormulaIdLine(text, latest.integer(0, 0));
    ShowBuilderStatus(QStringLiteral("Successfully creating new formula."), false);
}

void TForm5::AppendOperandToFormula(QTreeWidgetItem* answer, QTreeWidgetItem* target)
{
    const QTreeWidgetItem* question = answer->parent();
    const QString operand = QString(t_or->isChecked() ? u'+' : u'*') + QStringLiteral("if(item")
                            + QuestionNumber(question) + u'=' + QString::number(question->indexOfChild(answer) + 1)
                            + u')';
    QString text = target->text(0);
    WrapConditionForOperator(operand, text);
    if (text.isEmpty()) {
        ShowBuilderStatus(QStringLiteral("Error in appending operand."), true);
        return;
    }
    const int k = tree2->indexOfTopLevelItem(target);
    target->setText(0, text);
    RefuseQuote(text);
    const int autoid = AutoidOfLine(gBuilderFormulaIds.value(k));
    ExecSQL(FormulaUpdate(text, autoid));
    gBuilderFormulaIds[k] = FormulaIdLine(text, autoid);
    ShowBuilderStatus(QStringLiteral("Operator successfully appended to existing formula"), false);
}

void TForm5::SwapFormulas(QTreeWidgetItem* source, QTreeWidgetItem* target)
{
    const int s = tree2->indexOfTopLevelItem(source);
    const int t = tree2->indexOfTopLevelItem(target);
    const QString sourceText = source->text(0);
    const QString targetText = target->text(0);
    const int sourceId = AutoidOfLine(gBuilderFormulaIds.value(s));
    const int targetId = AutoidOfLine(gBuilderFormulaIds.value(t));
    engine::Connection& con = Session::current().con;
    // Both rows change together or neither does.
    engine::Transaction transaction(con);
    const int changed = con.execute(FormulaUpdate(sourceText, targetId)) + con.execute(FormulaUpdate(targetText, sourceId));
    transaction.commit();
    gBuilderFormulaIds[t] = FormulaIdLine(sourceText, targetId);
    gBuilderFormulaIds[s] = FormulaIdLine(targetText, sourceId);
    target->setText(0, sourceText);
    source->setText(0, targetText);
    if (changed != 2)
        dialogs::error(QStringLiteral("Internal error! Error code: 79. If you get this error please send e-mail to: "
                                      "\r\n\r\n")
                       + kSupportAddress);
}

// --- clicks and keys --------------------------------------------------------------------------

void TForm5::tree1Click()
{
    QTreeWidgetItem* answer = tree1->currentItem();
    if (!answer || !answer->parent() || !(toolAsc->isChecked() || toolDesc->isChecked()))
        return;
    const std::optional<double> first = TextToNumber(gFirstAnswerValue);
    const std::optional<double> step = TextToNumber(gAnswerStep);
    if (!first || !step)
        return;
    const int k = answer->parent()->indexOfChild(answer);
    const int n = answer->parent()->childCount();
    const int steps = toolAsc->isChecked() ? k : n - 1 - k;
    editTrue->setText(NumberToText(*first + steps * *step));
}

bool TForm5::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyRelease)
        return QDialog::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    bool taken = false;
    guarded([&] {
        if (watched == tree2)
            tree2KeyUp(key);
        taken = FormKeyUp(key);
    });
    return taken || QDialog::eventFilter(watched, event);
}

void TForm5::tree2KeyUp(QKeyEvent* event)
{
    if (!(event->modifiers() & Qt::ControlModifier))
        return;
    QTreeWidgetItem* node = tree2->currentItem();
    if (node && !node->isSelected())
        node = nullptr;
    switch (event->key()) {
    case Qt::Key_Insert:
        OpenFormulaEditor(kFormulaEditorInsert);
        LoadFormulaTree();
        break;
    case Qt::Key_E:
        if (node) {
            OpenFormulaEditor(kFormulaEditorEditSelected);
            LoadFormulaTree();
        }
        break;
    case Qt::Key_R:
        if (node)
            LoadFormulaTree();
        break;
    case Qt::Key_Delete:
        if (node
            && dialogs::question(QStringLiteral("Delete formula: \r\n\r\n") + node->text(0), MessageKind::Warning)) {
            const int k = tree2->indexOfTopLevelItem(node);
            ExecSQL(QStringLiteral("delete from formula where autoid = ")
                    + QString::number(AutoidOfLine(gBuilderFormulaIds.value(k))) + QStringLiteral(";"));
            delete node;
            LoadFormulaTree();
        }
        break;
    default: break;
    }
}

void TForm5::keyReleaseEvent(QKeyEvent* event)
{
    guarded([&] { FormKeyUp(event); });
    QDialog::keyReleaseEvent(event);
}

bool TForm5::FormKeyUp(QKeyEvent* event)
{
    if (!(event->modifiers() & Qt::ControlModifier))
        return false;
    QLineEdit* edit = event->key() == Qt::Key_T ? editTrue : event->key() == Qt::Key_F ? editFalse : nullptr;
    if (!edit)
        return false;
    edit->setFocus();
    edit->selectAll();
    return true;
}

void TForm5::toolValuesClick()
{
    {
        TForm12 defaults(this);
        defaults.exec();
    }
    LoadFormulaDefaults();
}

void TForm5::toolCollapsClick()
{
    if (toolCollaps->isChecked()) {
        tree1->collapseAll();
        toolCollaps->setText(QStringLiteral("Expand"));
    } else {
        tree1->expandAll();
        toolCollaps->setText(QStringLiteral("Collaps"));
    }
}

void TForm5::btnEditorClick()
{
    OpenFormulaEditor(kFormulaEditorBrowse);
    // The editor may have changed the formulas the tree shows.
    LoadFormulaTree();
}

void TForm5::OpenFormulaEditor(int mode)
{
    if (!Form6)
        return;
    gFormulaEditorMode = mode;
    gFormulaVariableId = gBuilderVariableId;
    Form6->exec();
}

}  // namespace kelvo
