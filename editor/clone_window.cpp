#include "editor/clone_window.h"

#include "data/database.h"
#include "data/formula_cloning.h"
#include "data/formula_language.h"
#include "data/session.h"
#include "dataaware/dataset.h"
#include "editor/editor_controls.h"
#include "editor/editor_window.h"
#include "editor/page_controls.h"
#include "engine/connection.h"
#include "model/messages.h"
#include "ui/application.h"
#include "ui/help.h"
#include "ui/status_panels.h"
#include "ui/wait_window.h"

#include <QApplication>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>
#include <tuple>

namespace kelvo {

TForm4* Form4 = nullptr;

namespace {

constexpr int kMostQuestions = 32767;
constexpr int kLongestEditableCaption = 255;
constexpr int kGridColumns = 10;
constexpr int kCellWidth = 100;
constexpr int kSelectedRole = Qt::UserRole;
const QColor kSelectedColour(0xFF, 0x00, 0x00);

const QString kAborted = QStringLiteral("Clone operation aborted!");
const QString kChooseParent = QStringLiteral("You must select Parent question which you would like to cloned!");

// The number after `prefix` in an entry such as "item12"; nothing when it is not one.
std::optional<int> NumberAfter(const QString& text, const QString& prefix)
{
    if (!text.startsWith(prefix))
        return std::nullopt;
    bool ok = false;
    const int number = text.mid(prefix.size()).toInt(&ok);
    return ok ? std::optional<int>(number) : std::nullopt;
}

std::optional<int> WholeNumber(const QString& text)
{
    bool ok = false;
    const int number = text.trimmed().toInt(&ok);
    return ok ? std::optional<int>(number) : std::nullopt;
}

QString Joined(const std::vector<int>& numbers)
{
    QStringList texts;
    for (const int number : numbers)
        texts << QString::number(number);
    return texts.join(u',');
}

// Runs `work` behind the wait window in one transaction. A database failure undoes all
// of it and is told, followed by the abort message; false then.
template <class Work>
bool RunCloneTransaction(const QString& waitText, Work&& work)
{
    try {
        WaitWindowScope wait(waitText);
        engine::Transaction transaction(Session::current().con);
        work(Session::current().con);
        transaction.commit();
        return true;
    } catch (const engine::EngineError& failure) {
        dialogs::error(failure.message());
        dialogs::information(kAborted);
        return false;
    }
}

// The clone button and the hourglass while an operation runs, given back however it ends.
class CloneBusy {
public:
    explicit CloneBusy(QPushButton& button) : button_(button)
    {
        button_.setEnabled(false);
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~CloneBusy()
    {
        QApplication::restoreOverrideCursor();
        button_.setEnabled(true);
    }
    CloneBusy(const CloneBusy&) = delete;
    CloneBusy& operator=(const CloneBusy&) = delete;

private:
    QPushButton& button_;
};

QLineEdit* NumberEdit(QWidget* parent, const char* name, const QString& accessibleName, const QString& text)
{
    auto* edit = new QLineEdit(text, parent);
    edit->setObjectName(QLatin1String(name));
    edit->setAccessibleName(accessibleName);
    edit->setContextMenuPolicy(Qt::PreventContextMenu);
    return edit;
}

// A row of `form` captioned by a label whose buddy is `field`; `row` holds `field` and
// what stands beside it.
void AddRow(QFormLayout& form, const QString& caption, QWidget& field, QLayout* row = nullptr)
{
    auto* label = new QLabel(caption, form.parentWidget());
    label->setBuddy(&field);
    if (row)
        form.addRow(label, row);
    else
        form.addRow(label, &field);
}

}  // namespace

UpDown::UpDown(QLineEdit& buddy, int minimum, int maximum, int position, QWidget* parent)
    : QWidget(parent), buddy_(buddy), minimum_(minimum), maximum_(maximum)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    up = new QToolButton(this);
    up->setArrowType(Qt::UpArrow);
    up->setAccessibleName(QStringLiteral("Up"));
    down = new QToolButton(this);
    down->setArrowType(Qt::DownArrow);
    down->setAccessibleName(QStringLiteral("Down"));
    layout->addWidget(up);
    layout->addWidget(down);
    connect(up, &QToolButton::clicked, this, [this] { step(1); });
    connect(down, &QToolButton::clicked, this, [this] { step(-1); });
    buddy_.setText(QString::number(position));
}

void UpDown::setMaximum(int maximum)
{
    maximum_ = std::max(minimum_, maximum);
}

void UpDown::step(int by)
{
    const int current = WholeNumber(buddy_.text()).value_or(minimum_);
    buddy_.setText(QString::number(std::clamp(current + by, minimum_, maximum_)));
}

TForm4::TForm4(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TForm4"));
    setWindowTitle(QStringLiteral("Clone Modul"));
    resize(1060, 600);
    auto* layout = new QVBoxLayout(this);

    auto* top = new QHBoxLayout;
    top->addStretch();
    auto* modeLabel = new QLabel(QStringLiteral("Mode:"), this);
    comboMain = new QComboBox(this);
    comboMain->setObjectName(QStringLiteral("comboMain"));
    comboMain->setAccessibleName(QStringLiteral("Mode"));
    comboMain->addItems({QStringLiteral("Clone questions"), QStringLiteral("Clone answers"),
                         QStringLiteral("Clone formula")});
    modeLabel->setBuddy(comboMain);
    top->addWidget(modeLabel);
    top->addWidget(comboMain);
    top->addStretch();
    layout->addLayout(top);

    auto* groups = new QHBoxLayout;
    gb1 = new QGroupBox(QStringLiteral("Clone questions:"), this);
    gb1->setObjectName(QStringLiteral("gb1"));
    auto* form1 = new QFormLayout(gb1);
    Edit3 = new QLineEdit(QStringLiteral("Question"), gb1);
    Edit3->setObjectName(QStringLiteral("Edit3"));
    Edit3->setAccessibleName(QStringLiteral("Root caption text to clone"));
    AddRow(*form1, QStringLiteral("Root caption text to clone"), *Edit3);
    Edit4 = NumberEdit(gb1, "Edit4", QStringLiteral("Number of questions"), QString());
    ud3 = new UpDown(*Edit4, 1, kMostQuestions, 100, gb1);
    auto* numberRow = new QHBoxLayout;
    numberRow->addWidget(Edit4);
    numberRow->addWidget(ud3);
    AddRow(*form1, QStringLiteral("Number of questions"), *Edit4, numberRow);
    Edit5 = new QLineEdit(gb1);
    Edit5->setObjectName(QStringLiteral("Edit5"));
    Edit5->setAccessibleName(QStringLiteral("Editable caption text to clone"));
    AddRow(*form1, QStringLiteral("Editable caption text to clone"), *Edit5);
    groups->addWidget(gb1);

    gb2 = new QGroupBox(QStringLiteral("Children:"), this);
    gb2->setObjectName(QStringLiteral("gb2"));
    auto* form2 = new QFormLayout(gb2);
    Edit1 = NumberEdit(gb2, "Edit1", QStringLiteral("Range start"), QString());
    ud1 = new UpDown(*Edit1, 1, kMostQuestions, 1, gb2);
    Edit2 = NumberEdit(gb2, "Edit2", QStringLiteral("Range end"), QString());
    ud2 = new UpDown(*Edit2, 1, kMostQuestions, 1, gb2);
    for (const auto& [edit, upDown, caption] :
         {std::tuple {Edit1, ud1, QStringLiteral("Range start")}, std::tuple {Edit2, ud2, QStringLiteral("Range end")}}) {
        auto* row = new QHBoxLayout;
        row->addWidget(edit);
        row->addWidget(upDown);
        AddRow(*form2, caption, *edit, row);
    }
    btnRange = MakeButton(gb2, "btnRange", QStringLiteral("&Select Range"));
    form2->addRow(btnRange);
    groups->addWidget(gb2);

    gb3 = new QGroupBox(QStringLiteral("Parent:"), this);
    gb3->setObjectName(QStringLiteral("gb3"));
    auto* form3 = new QFormLayout(gb3);
    combo = new QComboBox(gb3);
    combo->setObjectName(QStringLiteral("combo"));
    combo->setAccessibleName(QStringLiteral("Parent question"));
    AddRow(*form3, QStringLiteral("Parent question:"), *combo);
    combo2 = new QComboBox(gb3);
    combo2->setObjectName(QStringLiteral("combo2"));
    combo2->setAccessibleName(QStringLiteral("Parent variables"));
    AddRow(*form3, QStringLiteral("Parent variables:"), *combo2);
    groups->addWidget(gb3);
    layout->addLayout(groups);
    grid = new QTableWidget(this);
    grid->setObjectName(QStringLiteral("grid"));
    grid->setAccessibleName(QStringLiteral("Questions"));
    grid->horizontalHeader()->hide();
    grid->verticalHeader()->hide();
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionMode(QAbstractItemView::NoSelection);
    layout->addWidget(grid, 1);

    auto* buttons = new QHBoxLayout;
    btnClone = MakeButton(this, "btnClone", QStringLiteral("&Clone"));
    btnHelp = MakeButton(this, "btnHelp", QStringLiteral("Help"));
    buttons->addStretch();
    buttons->addWidget(btnClone);
    buttons->addWidget(btnHelp);
    layout->addLayout(buttons);
    layout->addWidget(MakePanelStatusBar(this, 2, panels));

    for (QLineEdit* edit : {Edit4, Edit1, Edit2})
        edit->installEventFilter(this);
    comboMain->setCurrentIndex(static_cast<int>(CloneMode::Answers));
    comboMainChange();
    connect(comboMain, &QComboBox::currentIndexChanged, this, guardedSlot([this] { comboMainChange(); }));
    connect(grid, &QTableWidget::cellClicked, this, guardedSlot([this](int row, int column) { gridClick(row, column); }));
    connect(btnRange, &QPushButton::clicked, this, guardedSlot([this] { btnRangeClick(); }));
    connect(btnClone, &QPushButton::clicked, this, guardedSlot([this] { btnCloneClick(); }));
    connect(btnHelp, &QPushButton::clicked, this, guardedSlot([] { ShowHelpTopic(QStringLiteral("6")); }));
}

// Only digits and backspace reach the number edits.
bool TForm4::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QString text = key->text();
        if (!text.isEmpty() && key->key() != Qt::Key_Backspace
            && !(text.size() == 1 && text[0] >= u'0' && text[0] <= u'9'))
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TForm4::comboMainChange()
{
    const bool questions = comboMain->currentIndex() == static_cast<int>(CloneMode::Questions);
    gb1->setEnabled(questions);
    gb2->setEnabled(!questions);
    gb3->setEnabled(!questions);
    combo2->setEnabled(comboMain->currentIndex() == static_cast<int>(CloneMode::Formulas) && combo2->count() > 0);
}

bool TForm4::FormShow(const dataaware::Dataset* answers, const dataaware::Dataset* variables)
{
    const Session& session = Session::current();
    if (!session.con.isOpen())
        return false;
    btnClone->setEnabled(true);
    answersChanged_ = false;

    const RowSet extent = SelectToVariant(QStringLiteral("select count(*), min(id), max(id)  from items;"));
    if (extent.isNull() || extent.integer(0, 0) == 0) {
        dialogs::warning(kNoQuestionsMessage);
        return false;
    }
    questionCount_ = extent.integer(0, 0);
    maxQuestionId_ = extent.integer(0, 2);
    ud2->setMaximum(std::min(maxQuestionId_, kMostQuestions));

    combo->clear();
    const RowSet items = SelectToVariant(QStringLiteral("select id from items order by id;"));
    for (int r = 0; r < items.rows(); ++r)
        combo->addItem(QStringLiteral("item") + items.text(r, 0));
    combo->setCurrentIndex(-1);
    if (answers && answers->isActive() && !answers->value(QStringLiteral("itemid")).isNull())
        combo->setCurrentIndex(combo->findText(QStringLiteral("item") + answers->value(QStringLiteral("itemid")).toString()));

    combo2->clear();
    const RowSet variableIds = SelectToVariant(QStringLiteral("select id from variables order by 1;"));
    for (int r = 0; r < variableIds.rows(); ++r)
        combo2->addItem(QStringLiteral("var") + variableIds.text(r, 0));
    int variable = combo2->count() > 0 ? 0 : -1;
    if (variables && variables->isActive() && !variables->value(QStringLiteral("id")).isNull())
        variable = std::max(variable, combo2->findText(QStringLiteral("var") + variables->value(QStringLiteral("id")).toString()));
    combo2->setCurrentIndex(variable);
    comboMainChange();
    BuildGrid();
    return true;
}

void TForm4::BuildGrid()
{
    const RowSet items = SelectToVariant(QStringLiteral("select id from items order by id;"));
    const int count = items.rows();
    const int columns = std::min(count, kGridColumns);
    grid->clear();
    grid->setRowCount((count + kGridColumns - 1) / kGridColumns);
    grid->setColumnCount(columns);
    for (int c = 0; c < columns; ++c)
        grid->setColumnWidth(c, kCellWidth);
    for (int i = 0; i < count; ++i) {
        auto* cell = new QTableWidgetItem(QStringLiteral("item") + items.text(i, 0));
        cell->setTextAlignment(Qt::AlignCenter);
        cell->setFlags(Qt::ItemIsEnabled);
        grid->setItem(i / kGridColumns, i % kGridColumns, cell);
        SetCellSelected(i / kGridColumns, i % kGridColumns, false);
    }
    ShowSelectedCount();
}

void TForm4::SetCellSelected(int row, int column, bool selected)
{
    QTableWidgetItem* cell = grid->item(row, column);
    if (!cell)
        return;
    cell->setData(kSelectedRole, selected);
    cell->setBackground(selected ? QBrush(kSelectedColour) : QBrush());
}

std::vector<int> TForm4::SelectedChildren() const
{
    std::vector<int> children;
    for (int row = 0; row < grid->rowCount(); ++row)
        for (int column = 0; column < grid->columnCount(); ++column)
            if (const QTableWidgetItem* cell = grid->item(row, column); cell && cell->data(kSelectedRole).toBool())
                if (const std::optional<int> id = NumberAfter(cell->text(), QStringLiteral("item")))
                    children.push_back(*id);
    return children;
}

void TForm4::ShowSelectedCount()
{
    panels[1]->setText(QString::number(SelectedChildren().size()));
}

void TForm4::gridClick(int row, int column)
{
    const QTableWidgetItem* cell = grid->item(row, column);
    if (cell && cell->text().contains(QStringLiteral("item")))
        SetCellSelected(row, column, !cell->data(kSelectedRole).toBool());
    else
        QApplication::beep();
    ShowSelectedCount();
}

void TForm4::btnRangeClick()
{
    const std::optional<int> start = WholeNumber(Edit1->text());
    const std::optional<int> end = WholeNumber(Edit2->text());
    if (!start || !end) {
        dialogs::warning(QStringLiteral("Range start (or Range end) is set incorrectly!\r\n\r\nCorrect the mistake!"));
        return;
    }
    if (*end < *start) {
        dialogs::warning(
            QStringLiteral("If you want to clone Range end must be greater or equal then Range start!"));
        return;
    }
    if (*start < 1 || *end > maxQuestionId_) {
        dialogs::warning(QStringLiteral("Range start and Range end must be integer within the interval: 1..")
                         + QString::number(maxQuestionId_));
        return;
    }
    for (int row = 0; row < grid->rowCount(); ++row)
        for (int column = 0; column < grid->columnCount(); ++column)
            if (const QTableWidgetItem* cell = grid->item(row, column))
                if (const std::optional<int> id = NumberAfter(cell->text(), QStringLiteral("item")))
                    SetCellSelected(row, column, *start <= *id && *id <= *end);
    grid->viewport()->update();
    ShowSelectedCount();
}

void TForm4::btnCloneClick()
{
    {
        CloneBusy busy(*btnClone);
        switch (static_cast<CloneMode>(comboMain->currentIndex())) {
        case CloneMode::Questions:
            CloneQuestions();
            break;
        case CloneMode::Answers:
            CloneAnswers();
            break;
        case CloneMode::Formulas:
            CloneFormula();
            break;
        }
        if (Form3)
            Form3->RebindDataSets();
    }
}

bool TForm4::ConfirmMode()
{
    if (dialogs::question(comboMain->currentText() + QStringLiteral("?\r\n\r\nContinue?")))
        return true;
    dialogs::information(kAborted);
    return false;
}

void TForm4::CloneQuestions()
{
    for (QLineEdit* edit : {Edit3, Edit5})
        if (edit->text().contains(u'\'')) {
            dialogs::warning(QStringLiteral("Forbidden character ' in field! Delete this character from field: \r\n\r\n")
                             + edit->text());
            edit->setFocus();
            return;
        }
    // The typed-answer caption of a question holds 255 characters, as in the captions editor.
    if (Edit5->text().trimmed().size() > kLongestEditableCaption) {
        dialogs::error(QStringLiteral("The maximum permitted length for editable answer Caption is 255 "
                                      "characters!\r\n\r\nOperation aborted.."));
        Edit5->setFocus();
        return;
    }
    const std::optional<int> number = WholeNumber(Edit4->text());
    if (!number) {
        dialogs::warning(QStringLiteral("Number of questions is set incorrectly!\r\n\r\nCorrect the mistake!"));
        return;
    }
    if (*number < 1 || *number > kMostQuestions) {
        dialogs::error(QStringLiteral("Number of questions for cloning must be integer within the interval: 1..")
                       + QString::number(kMostQuestions));
        return;
    }
    const std::pair<const char*, const char*> tables[] = {
        {"items", "questions"}, {"answers", "answers"}, {"variables", "variables"}, {"formula", "formula"}};
    for (const auto& [table, word] : tables) {
        const int rows = FirstInteger(QStringLiteral("select count(*) from ") + QLatin1String(table) + QStringLiteral(";"));
        if (rows > 0
            && !dialogs::question(QStringLiteral("Your test have ") + QString::number(rows) + u' ' + QLatin1String(word)
                                      + QStringLiteral(". If you continue with this operation they will be "
                                                       "deleted!\r\n\r\nContinue?"),
                                  MessageKind::Warning))
            return;
    }
    if (!ConfirmMode())
        return;

    int inserted = 0;
    const QString root = Edit3->text().remove(QRegularExpression(QStringLiteral("^\\s+")));
    const QString editable = Edit5->text().trimmed();
    const bool done = RunCloneTransaction(QStringLiteral("Cloning questions.."), [&](engine::Connection& con) {
        for (const char* table : {"answers", "items", "formula", "variables"})
            ExecSQL(QStringLiteral("delete from ") + QLatin1String(table) + QStringLiteral(";"));
        // The captions go in as parameters: whatever they hold is stored as it stands.
        for (int i = 1; i <= *number; ++i)
            inserted += con.execute(QStringLiteral("insert into items (id, caption, editcap) values (:id, :caption, "
                                                   ":editcap);"),
                                    {{QStringLiteral("id"), i},
                                     {QStringLiteral("caption"), root + QString::number(i)},
                                     {QStringLiteral("editcap"), editable}});
    });
    if (done && inserted > 0)
        dialogs::information(QStringLiteral("Successfully cloned ") + QString::number(inserted)
                             + QStringLiteral(" new questions to test!"));
}

bool TForm4::CheckParentAndChildren(int parent, std::vector<int>& children)
{
    if (FirstInteger(QStringLiteral("select count(*) from answers where itemid = ") + QString::number(parent)
                     + QStringLiteral(";"))
        == 0) {
        dialogs::warning(QStringLiteral("Selected Parent question have 0 answers! You can't clone empty Question!"));
        return false;
    }
    children = SelectedChildren();
    if (children.empty()) {
        dialogs::warning(QStringLiteral("If you would like to clone Parent question you have to select children "
                                        "questions on table (click on a cell in the table or select range)!"));
        return false;
    }
    if (std::find(children.begin(), children.end(), parent) != children.end()) {
        dialogs::error(QStringLiteral("You have chosen the same question as a parent and child (item")
                       + QString::number(parent) + QStringLiteral(").\r\n\r\nIt is forbidden!"));
        return false;
    }
    return true;
}

void TForm4::CloneAnswers()
{
    if (combo->currentIndex() < 0) {
        dialogs::warning(QStringLiteral("You must define Parent question!\r\n\r\nClone operation aborted!"));
        return;
    }
    const std::optional<int> parent = NumberAfter(combo->currentText(), QStringLiteral("item"));
    if (!parent) {
        dialogs::warning(kChooseParent);
        return;
    }
    std::vector<int> children;
    if (!CheckParentAndChildren(*parent, children))
        return;
    const engine::ResultSet parentAnswers = Session::current().con.select(
        // Ordered: the children get the parent's answers in the parent's order, which a
        // plain select does not promise.
        QStringLiteral("select * from answers where itemid= :id order by id;"), {{QStringLiteral("id"), *parent}});
    int captionField = 0;
    for (int f = 0; f < parentAnswers.columnCount(); ++f)
        if (parentAnswers.columns[f].name.compare(QLatin1String("caption"), Qt::CaseInsensitive) == 0)
            captionField = f;

    const int replaced = FirstInteger(QStringLiteral("select count(*) from answers where itemid in (") + Joined(children)
                                      + QStringLiteral(");"));
    if (replaced > 0
        && !dialogs::question(QStringLiteral("Starting to update (delete) ") + QString::number(replaced)
                                  + QStringLiteral(" answers!\r\n\r\nContinue?"),
                              MessageKind::Warning)) {
        dialogs::information(kAborted);
        return;
    }
    if (!ConfirmMode())
        return;

    int inserted = 0;
    int deleted = 0;
    const bool done = RunCloneTransaction(QStringLiteral("Cloning answers.."), [&](engine::Connection& con) {
        for (const int child : children) {
            deleted += con.execute(QStringLiteral("delete from answers where itemid= :itemid;"),
                                   {{QStringLiteral("itemid"), child}});
            for (const std::vector<QVariant>& answer : parentAnswers.rows)
                inserted += con.execute(QStringLiteral("insert into answers (itemid, caption) values (:itemid, :caption);"),
                                        {{QStringLiteral("itemid"), child}, {QStringLiteral("caption"), answer[captionField]}});
        }
    });
    if (!done)
        return;
    dialogs::information(QStringLiteral("Cloning of the answers is successfully completed!\r\n\r\nRecords inserted: ")
                         + QString::number(inserted) + QStringLiteral("\r\n\r\nRecords deleted: ")
                         + QString::number(deleted));
    answersChanged_ = true;
}

void TForm4::CloneFormula()
{
    if (combo2->count() == 0) {
        dialogs::warning(QStringLiteral("You can't clone variable because you have 0 variables in test!"));
        return;
    }
    if (combo2->currentIndex() < 0) {
        dialogs::warning(QStringLiteral("Select the variable that you want to clone!"));
        return;
    }
    const std::optional<int> variable = NumberAfter(combo2->currentText(), QStringLiteral("var"));
    if (!variable) {
        dialogs::warning(QStringLiteral("Invalid variable name!\r\n\r\nSelect valid variable from Parent variables combo box!"));
        return;
    }
    const QString v = QString::number(*variable);
    if (FirstInteger(QStringLiteral("select count(*) from formula where varid= ") + v + QStringLiteral(";")) == 0) {
        dialogs::warning(
            QStringLiteral("Selected Parent variable have no defined formula records!\r\n\r\nClone operation aborted!"));
        return;
    }
    if (combo->currentIndex() < 0) {
        dialogs::warning(kChooseParent);
        return;
    }
    const std::optional<int> parent = NumberAfter(combo->currentText(), QStringLiteral("item"));
    if (!parent) {
        dialogs::error(QStringLiteral("Invalid Parent question (error code 43)!\r\n\r\nClone operation aborted!"));
        return;
    }
    const RowSet formulas = SelectToVariant(QStringLiteral("select formula from formula where varid= ") + v
                                            + QStringLiteral(";"));
    bool scoresParent = false;
    for (int r = 0; r < formulas.rows() && !scoresParent; ++r) {
        const std::vector<int> questions = ExtractReferenceNumbers(formulas.text(r, 0), QStringLiteral("if(item"));
        scoresParent = std::find(questions.begin(), questions.end(), *parent) != questions.end();
    }
    if (!scoresParent) {
        dialogs::warning(QStringLiteral("Selected Parent question have 0 formula!\r\n\r\nAction is aborted.."));
        return;
    }
    std::vector<int> children;
    if (!CheckParentAndChildren(*parent, children) || !ConfirmMode())
        return;

    int inserted = 0;
    try {
        WaitWindowScope wait(QStringLiteral("Cloning formula.."));
        inserted = CloneFormulasForItems(QString::number(*parent), v, children);
    } catch (const engine::EngineError& failure) {
        dialogs::error(failure.message());
        dialogs::information(kAborted);
        return;
    }
    if (inserted > 0)
        dialogs::information(QStringLiteral("Cloning of the formula is successfully completed!\r\n\r\nRecords inserted: ")
                             + QString::number(inserted));
    else
        dialogs::warning(QStringLiteral("Cloning formulas failed! Probably because there is no overlap of answers of "
                                        "parents and children!"));
}

bool ShowCloneWindow(CloneMode mode, const dataaware::Dataset* answers, const dataaware::Dataset* variables)
{
    if (!Form4)
        return false;
    Form4->comboMain->setCurrentIndex(static_cast<int>(mode));
    if (!Form4->FormShow(answers, variables))
        return false;
    Form4->exec();
    return Form4->answersChanged();
}

}  // namespace kelvo
