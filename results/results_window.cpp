#include "results/results_window.h"

#include "data/accounts.h"
#include "data/database.h"
#include "data/session.h"
#include "results/export_window.h"
#include "results/find_dialog.h"
#include "results/results_editor_window.h"
#include "results/result_statements.h"
#include "ui/application.h"
#include "ui/dialog_service.h"
#include "ui/help.h"
#include "ui/log_window.h"
#include "ui/wait_window.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QStyleOptionHeader>
#include <QComboBox>
#include <QLineEdit>
#include <QFontDialog>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QScrollBar>
#include <QSet>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>


namespace kelvo {

TForm13* Form13 = nullptr;

namespace {

const QString kNotConnected = QStringLiteral(
    "Error code 197. Main database connection is disabled!\r\n\r\nYou can't view test results!\r\n\r\n"
    "Check status of .mdb database file!");
const QString kSelectFailed = QStringLiteral(
    "Error code 198. General SQL select command error!\r\n\r\nCheck status of .mdb database file!");
const QString kNoIdColumn =
    QStringLiteral("Internal error! Error code: 199. If you get this error please send e-mail to: \r\n\r\n")
    + kSupportAddress;

constexpr int kIconSize = 24;
// Columns fit their header and the values in view, but a long answer does not take the
// whole width: the rest of it is read by widening the column or wrapping.
constexpr int kMostColumnWidth = 240;
constexpr int kCellMargin = 8;

// Tool button images are drawn here rather than shipped: a letter or two in the style
// the button stands for.
QIcon glyphIcon(const QString& glyph, bool bold = false, bool italic = false, bool underline = false)
{
    QPixmap pixmap(kIconSize, kIconSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QFont font = painter.font();
    font.setPixelSize(glyph.size() > 2 ? 9 : glyph.size() > 1 ? 11 : 15);
    font.setBold(bold);
    font.setItalic(italic);
    font.setUnderline(underline);
    painter.setFont(font);
    painter.setPen(QColor(0x20, 0x30, 0x60));
    painter.drawText(pixmap.rect(), Qt::AlignCenter, glyph);
    return QIcon(pixmap);
}

// Four lines of text aligned as the button aligns the cells.
QIcon alignIcon(Qt::Alignment alignment)
{
    QPixmap pixmap(kIconSize, kIconSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(QPen(QColor(0x20, 0x30, 0x60), 2));
    const int widths[] = {18, 12, 18, 10};
    for (int i = 0; i < 4; ++i) {
        const int width = widths[i];
        const int left = alignment == Qt::AlignLeft ? 3 : alignment == Qt::AlignRight ? kIconSize - 3 - width
                                                                                       : (kIconSize - width) / 2;
        const int y = 5 + i * 5;
        painter.drawLine(left, y, left + width, y);
    }
    return QIcon(pixmap);
}

}  // namespace

TForm13::TForm13(QWidget* parent) : QDialog(parent), sortSuffix_(results::kAscendingSuffix.toString())
{
    setObjectName(QStringLiteral("TForm13"));
    setWindowTitle(QStringLiteral("Test results"));
    setMinimumSize(400, 300);
    resize(900, 600);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    buildToolBar();
    buildGrid();
    status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("status"));
    status->setSizeGripEnabled(true);
    statusLabel_ = new QLabel(status);
    statusLabel_->setAccessibleName(QStringLiteral("Status"));
    status->addWidget(statusLabel_, 1);
    layout->addWidget(toolBar);
    layout->addWidget(grid, 1);
    layout->addWidget(status);

    // The window previews the keys released in any of its controls.
    for (QWidget* child : findChildren<QWidget*>())
        child->installEventFilter(this);

    const Session& session = Session::current();
    connect(&session, &Session::rightsChanged, this,
            guardedSlot([this](const AccountRights& rights) { ApplyRights(rights); }));
    connect(&session, &Session::accountRevoked, this, guardedSlot([this] { DisableAccountControls(); }));
    connect(&session, &Session::testOpened, this, guardedSlot([this] { ResetView(); }));
}

void TForm13::ApplyRights(const AccountRights& rights)
{
    toolExport->setEnabled(rights.allows(3));
    bool modify = rights.allows(4);
    if (modify) {
        const RowSet runs = SelectToVariant(QStringLiteral("select count(*) from datac;"));
        modify = !runs.isNull() && runs.integer(0, 0) > 0;
    }
    toolModify->setEnabled(modify);
}

void TForm13::DisableAccountControls()
{
    toolExport->setEnabled(false);
    toolModify->setEnabled(false);
    ResetView();
}

TForm13::~TForm13() = default;

void TForm13::buildToolBar()
{
    toolBar = new QToolBar(this);
    toolBar->setObjectName(QStringLiteral("toolBar"));
    toolBar->setIconSize(QSize(kIconSize, kIconSize));
    toolBar->setAccessibleName(QStringLiteral("Results tools"));
    const auto makeButton = [this](const char* name, const QString& caption, const QIcon& icon, bool checkable) {
        auto* button = new QToolButton(toolBar);
        button->setObjectName(QString::fromLatin1(name));
        button->setText(caption);
        button->setToolTip(caption);
        button->setAccessibleName(caption);
        button->setIcon(icon);
        button->setCheckable(checkable);
        button->setAutoRaise(true);
        toolBar->addWidget(button);
        return button;
    };
    const auto connectClick = [this](QToolButton* button, void (TForm13::*handler)()) {
        connect(button, &QToolButton::clicked, this, guardedSlot([this, handler] { (this->*handler)(); }));
    };

    toolExport = makeButton("toolExport", QStringLiteral("Export data"), style()->standardIcon(QStyle::SP_DialogSaveButton), false);
    toolExport->setEnabled(false);
    toolBar->addSeparator();
    toolCommon = makeButton("toolCommon", QStringLiteral("Show general data"), glyphIcon(QStringLiteral("G")), true);
    toolCommon->setChecked(true);
    toolFields = makeButton("toolFields", QStringLiteral("Show user defined fields"), glyphIcon(QStringLiteral("D")), true);
    toolFields->setEnabled(false);
    toolAnswers = makeButton("toolAnswers", QStringLiteral("Show answers"), glyphIcon(QStringLiteral("A")), true);
    toolAnswers->setChecked(true);
    toolVariables = makeButton("toolVariables", QStringLiteral("Show variables"), glyphIcon(QStringLiteral("V")), true);
    toolVariables->setEnabled(false);
    toolBar->addSeparator();
    toolAsc = makeButton("toolAsc", QStringLiteral("Ascending Sort"), style()->standardIcon(QStyle::SP_ArrowUp), true);
    toolAsc->setChecked(true);
    toolDesc = makeButton("toolDesc", QStringLiteral("Descending Sort"), style()->standardIcon(QStyle::SP_ArrowDown), true);
    auto* sortGroup = new QButtonGroup(this);
    sortGroup->addButton(toolAsc);
    sortGroup->addButton(toolDesc);
    toolBar->addSeparator();
    toolFind = makeButton("toolFind", QStringLiteral("Find"), glyphIcon(QStringLiteral("?")), false);
    toolFind->setProperty("tag", 0);
    toolBar->addSeparator();
    toolWrap = makeButton("toolWrap", QStringLiteral("Wrap text"), glyphIcon(QStringLiteral("ab\ncd")), true);
    toolAlLeft = makeButton("toolAlLeft", QStringLiteral("Align text left"), alignIcon(Qt::AlignLeft), true);
    toolAlLeft->setChecked(true);
    toolAlCenter = makeButton("toolAlCenter", QStringLiteral("Align text center"), alignIcon(Qt::AlignHCenter), true);
    toolAlRight = makeButton("toolAlRight", QStringLiteral("Align text right"), alignIcon(Qt::AlignRight), true);
    auto* alignGroup = new QButtonGroup(this);
    alignGroup->addButton(toolAlLeft);
    alignGroup->addButton(toolAlCenter);
    alignGroup->addButton(toolAlRight);
    toolBar->addSeparator();
    toolFont = makeButton("toolFont", QStringLiteral("Set grid font"), glyphIcon(QStringLiteral("Aa")), false);
    toolBold = makeButton("toolBold", QStringLiteral("Bold"), glyphIcon(QStringLiteral("B"), true), true);
    toolUnderline = makeButton("toolUnderline", QStringLiteral("Underline"), glyphIcon(QStringLiteral("U"), false, false, true), true);
    toolItalics = makeButton("toolItalics", QStringLiteral("Italics"), glyphIcon(QStringLiteral("I"), false, true), true);
    toolBar->addSeparator();
    toolLog = makeButton("toolLog", QStringLiteral("Log form"), glyphIcon(QStringLiteral("Log")), false);
    toolModify = makeButton("toolModify", QStringLiteral("Edit test results"), glyphIcon(QStringLiteral("Ed")), false);
    toolModify->setEnabled(false);

    connectClick(toolExport, &TForm13::toolExportClick);
    connectClick(toolCommon, &TForm13::toolCommonClick);
    connectClick(toolFields, &TForm13::toolFieldsClick);
    connectClick(toolAnswers, &TForm13::toolAnswersClick);
    connectClick(toolVariables, &TForm13::toolVariablesClick);
    connectClick(toolAsc, &TForm13::toolAscClick);
    connectClick(toolDesc, &TForm13::toolAscClick);
    connectClick(toolFind, &TForm13::toolFindClick);
    connectClick(toolWrap, &TForm13::toolWrapClick);
    for (QToolButton* button : {toolAlLeft, toolAlCenter, toolAlRight})
        connectClick(button, &TForm13::toolAlignClick);
    connectClick(toolFont, &TForm13::toolFontClick);
    for (QToolButton* button : {toolBold, toolUnderline, toolItalics})
        connectClick(button, &TForm13::toolFontStyleClick);
    connectClick(toolLog, &TForm13::toolLogClick);
    connectClick(toolModify, &TForm13::toolModifyClick);
}

void TForm13::buildGrid()
{
    grid = new QTableView(this);
    grid->setObjectName(QStringLiteral("grid"));
    grid->setAccessibleName(QStringLiteral("Test results"));
    model_ = new results::ResultGridModel(grid);
    delegate_ = new results::ResultCellDelegate(grid);
    grid->setModel(model_);
    grid->setItemDelegate(delegate_);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    grid->setSelectionBehavior(QAbstractItemView::SelectItems);
    grid->setShowGrid(true);
    grid->setWordWrap(false);
    grid->setCornerButtonEnabled(false);
    // The corner above the ids is the id column's header: it shows its name and sorts.
    cornerHeader_ = grid->findChild<QAbstractButton*>(QString(), Qt::FindDirectChildrenOnly);
    if (cornerHeader_)
        cornerHeader_->installEventFilter(this);
    grid->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    grid->horizontalHeader()->setDefaultSectionSize(90);
    grid->horizontalHeader()->setHighlightSections(false);
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    grid->verticalHeader()->setDefaultSectionSize(QFontMetrics(grid->font()).height() + 6);
    grid->verticalHeader()->setDefaultAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // The run id is shown by the vertical header, which stays in view when scrolling.
    connect(model_, &QAbstractItemModel::modelReset, grid, [this] {
        if (model_->columnCount() > 0)
            grid->setColumnHidden(0, true);
    });

    connect(grid->horizontalHeader(), &QHeaderView::sectionDoubleClicked, this,
            guardedSlot([this](int section) { SortByColumn(model_->grid().header(section)); }));
    connect(grid->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { scheduleRowGrowth(); });
    connect(grid->horizontalScrollBar(), &QScrollBar::valueChanged, this, [this] { scheduleRowGrowth(); });
    connect(grid->horizontalHeader(), &QHeaderView::sectionResized, this, [this] { scheduleRowGrowth(); });
    grid->viewport()->installEventFilter(this);
}

QString TForm13::statusText() const { return statusLabel_->text(); }

void TForm13::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        guarded([&] { FormShow(); });
}

void TForm13::FormShow()
{
    if (!Session::current().con.isOpen()) {
        dialogs::error(kNotConnected);
        // The dialog's own event loop has not started yet: close once it has.
        QMetaObject::invokeMethod(this, [this] { reject(); }, Qt::QueuedConnection);
        return;
    }
    const WaitWindowScope wait(QStringLiteral("Retrieving data.."));
    // Editing results is offered only while runs are stored: runs recorded since the
    // account's rights were applied (the test window is taken from the main window)
    // must count, so the rights are applied afresh.
    ApplyPermissions();
    toolFields->setEnabled(TableExists(QStringLiteral("dataf")));
    toolVariables->setEnabled(TableExists(QStringLiteral("datav1")));
    for (QToolButton* button : {toolFields, toolVariables})
        if (button->isEnabled())
            button->setChecked(true);
    queryList_.clear();
    if (toolCommon->isChecked())
        toolCommonClick();
    if (toolFields->isChecked())
        toolFieldsClick();
    if (toolAnswers->isChecked())
        toolAnswersClick();
    if (toolVariables->isChecked())
        toolVariablesClick();
}

void TForm13::ResetView()
{
    ClearGrid();
    statusLabel_->clear();
    queryList_.clear();
    toolFields->setChecked(false);
    toolVariables->setChecked(false);
}

void TForm13::ClearGrid() { model_->clear(); }

QStringList TForm13::resultTableStatements(const QString& prefix) const
{
    QStringList statements;
    for (const QString& name : Session::current().tableNames)
        if (name.startsWith(prefix))
            statements << QStringLiteral("select * from ") + name + QStringLiteral(" order by id ") + sortSuffix_;
    return statements;
}

void TForm13::toggleSection(const QToolButton* button, const QString& prefix, const QStringList& statements)
{
    if (button->isChecked()) {
        queryList_ << statements;
    } else {
        for (qsizetype i = queryList_.size() - 1; i >= 0; --i)
            if (queryList_[i].startsWith(prefix))
                queryList_.removeAt(i);
    }
    RefreshGrid();
}

void TForm13::toolCommonClick()
{
    toggleSection(toolCommon, QStringLiteral("select * from datac"),
                  {QStringLiteral("select * from datac ") + generalWhere_ + QStringLiteral(" order by id ") + sortSuffix_});
}

void TForm13::toolFieldsClick()
{
    toggleSection(toolFields, QStringLiteral("select * from dataf"),
                  {QStringLiteral("select * from dataf ") + fieldsWhere_ + QStringLiteral(" order by id ") + sortSuffix_});
}

void TForm13::toolAnswersClick()
{
    toggleSection(toolAnswers, QStringLiteral("select * from datai"), resultTableStatements(QStringLiteral("datai")));
}

void TForm13::toolVariablesClick()
{
    toggleSection(toolVariables, QStringLiteral("select * from datav"), resultTableStatements(QStringLiteral("datav")));
}

void TForm13::toolAscClick()
{
    sortSuffix_ = (toolAsc->isChecked() ? results::kAscendingSuffix : results::kDescendingSuffix).toString();
    RefreshGrid();
}

void TForm13::ApplySortSuffix()
{
    for (QString& entry : queryList_)
        entry = results::withSortSuffix(entry, sortSuffix_);
}

void TForm13::RefreshGrid()
{
    ClearGrid();
    if (queryList_.isEmpty()) {
        statusLabel_->clear();
        return;
    }
    ApplySortSuffix();
    const engine::Connection& connection = Session::current().con;
    results::MergedGrid merged;
    for (qsizetype i = 0; i < queryList_.size(); ++i) {
        const QString& entry = queryList_[i];
        results::GridSource source;
        try {
            source = results::GridSource::describe(connection, entry);
            if (i == 0)
                merged.setFirst(connection, source);
            else
                merged.merge(source);
        } catch (const std::exception&) {
            dialogs::error(kSelectFailed);
            break;
        }
        if (!source.firstFieldIsId())
            dialogs::warning(kNoIdColumn);
    }
    // The count always names the rows shown, whichever section decides them; a count of
    // general rows beside the rows of another section misled.
    statusLabel_->setText(QStringLiteral("Record count: ") + QString::number(merged.rowCount()));
    model_->setGrid(std::move(merged));
    sizeColumnsToContents();
    scheduleRowGrowth();
}

void TForm13::sizeColumnsToContents()
{
    QHeaderView* header = grid->horizontalHeader();
    const results::CellLook& look = delegate_->look();
    const QFontMetrics metrics(look.applyTo(grid->font()));
    const int rowHeight = std::max(1, grid->verticalHeader()->defaultSectionSize());
    const int shownRows = std::min(model_->rowCount(), grid->viewport()->height() / rowHeight + 1);
    const results::MergedGrid& cells = model_->grid();
    QSet<QString> measured;  // a column repeats a few texts
    for (int column = 0; column < model_->columnCount(); ++column) {
        int width = header->sectionSizeHint(column);
        measured.clear();
        for (int row = 0; row < shownRows; ++row) {
            const QString text = cells.text(row, column);
            if (text.isEmpty() || measured.contains(text))
                continue;
            measured.insert(text);
            width = std::max(width, metrics.horizontalAdvance(look.padded(text)) + kCellMargin);
        }
        grid->setColumnWidth(column, std::min(width, kMostColumnWidth));
    }
}

void TForm13::SortByColumn(const QString& name)
{
    if (name.isEmpty() || queryList_.isEmpty())
        return;
    for (qsizetype i = 0; i < queryList_.size(); ++i) {
        results::GridSource source;
        try {
            source = results::GridSource::describe(Session::current().con, queryList_[i]);
        } catch (const std::exception&) {
            dialogs::error(kSelectFailed);
            return;
        }
        const bool holdsColumn = std::any_of(source.fields.begin(), source.fields.end(), [&](const engine::FieldInfo& field) {
            return field.name.compare(name, Qt::CaseInsensitive) == 0;
        });
        if (holdsColumn) {
            const QString sorted = results::orderedByColumn(queryList_[i], name, sortSuffix_);
            queryList_.removeAt(i);
            queryList_.prepend(sorted);
            break;
        }
    }
    RefreshGrid();
}

void TForm13::applyLook()
{
    grid->viewport()->update();
    scheduleRowGrowth();
}

void TForm13::toolWrapClick()
{
    results::CellLook look = delegate_->look();
    look.wrap = toolWrap->isChecked();
    delegate_->setLook(look);
    if (!look.wrap)  // rows go back to one line
        grid->verticalHeader()->setDefaultSectionSize(grid->verticalHeader()->defaultSectionSize());
    applyLook();
}

void TForm13::toolAlignClick()
{
    results::CellLook look = delegate_->look();
    look.alignment = toolAlLeft->isChecked()     ? results::CellLook::Alignment::Left
                     : toolAlCenter->isChecked() ? results::CellLook::Alignment::Center
                                                 : results::CellLook::Alignment::Right;
    delegate_->setLook(look);
    applyLook();
}

void TForm13::toolFontStyleClick()
{
    results::CellLook look = delegate_->look();
    look.bold = toolBold->isChecked();
    look.underline = toolUnderline->isChecked();
    look.italic = toolItalics->isChecked();
    delegate_->setLook(look);
    applyLook();
}

void TForm13::toolFontClick()
{
    results::CellLook look = delegate_->look();
    bool confirmed = false;
    const QFont chosen = QFontDialog::getFont(&confirmed, look.applyTo(grid->font()), this, toolFont->text());
    if (!confirmed)
        return;
    look.bold = chosen.bold();
    look.italic = chosen.italic();
    look.underline = chosen.underline();
    // The style belongs to the cells; the headers keep the plain font.
    grid->setFont(results::CellLook().applyTo(chosen));
    grid->verticalHeader()->setDefaultSectionSize(QFontMetrics(grid->font()).height() + 6);
    toolBold->setChecked(look.bold);
    toolUnderline->setChecked(look.underline);
    toolItalics->setChecked(look.italic);
    delegate_->setLook(look);
    applyLook();
}

void TForm13::showSubWindow(QDialog& window)
{
    window.exec();
    // The stored runs may have changed there: the cells shown are read again.
    model_->grid().forgetCells();
    grid->viewport()->update();
}

void TForm13::toolExportClick()
{
    TForm14 exportWindow(this);
    showSubWindow(exportWindow);
}

void TForm13::toolModifyClick()
{
    if (!Session::current().con.isOpen())
        return;
    TForm15 editor(this);
    showSubWindow(editor);
    // Edited, deleted and re-scored runs show at once.
    RefreshGrid();
}

void TForm13::toolLogClick()
{
    if (Form7)
        showSubWindow(*Form7);
}

void TForm13::toolFindClick()
{
    TForm17 find(*this, this);
    find.exec();
    findColumn_ = find.combo->currentText();
    findText_ = find.edit->text();
    toolFind->setProperty("tag", find.radio->checkedId());
}

void TForm13::keyReleaseEvent(QKeyEvent* event)
{
    guarded([&] { FormKeyUp(event); });
    QDialog::keyReleaseEvent(event);
}

bool TForm13::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyRelease) {
        bool handled = false;
        guarded([&] { handled = FormKeyUp(static_cast<QKeyEvent*>(event)); });
        // A shortcut is seen once: it does not travel on to the window itself.
        if (handled)
            return true;
    }
    if (watched == grid->viewport() && event->type() == QEvent::Resize)
        scheduleRowGrowth();
    if (watched == cornerHeader_ && model_->columnCount() > 0) {
        if (event->type() == QEvent::Paint) {
            paintCornerHeader();
            return true;
        }
        if (event->type() == QEvent::MouseButtonDblClick) {
            guarded([&] { SortByColumn(model_->grid().header(0)); });
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TForm13::paintCornerHeader()
{
    QPainter painter(cornerHeader_);
    QStyleOptionHeader option;
    option.initFrom(cornerHeader_);
    option.rect = cornerHeader_->rect();
    option.position = QStyleOptionHeader::OnlyOneSection;
    option.text = model_->grid().header(0);
    option.textAlignment = Qt::AlignCenter;
    cornerHeader_->style()->drawControl(QStyle::CE_Header, &option, &painter, cornerHeader_);
}

bool TForm13::FormKeyUp(QKeyEvent* event)
{
    if (event->modifiers().testFlag(Qt::ControlModifier)) {
        if (event->key() == Qt::Key_F) {
            toolFind->click();
            return true;
        }
        if (event->key() == Qt::Key_S) {
            toolExport->click();
            return true;
        }
    } else if (event->key() == Qt::Key_F1) {
        ShowHelpTopic(QStringLiteral("16"));
        return true;
    }
    return false;
}

void TForm13::scheduleRowGrowth()
{
    if (!delegate_->look().wrap || rowGrowthPending_)
        return;
    rowGrowthPending_ = true;
    QTimer::singleShot(0, this, guardedSlot([this] {
        rowGrowthPending_ = false;
        growVisibleRows();
    }));
}

void TForm13::growVisibleRows()
{
    if (!delegate_->look().wrap || model_->rowCount() == 0)
        return;
    const int height = grid->viewport()->height();
    const int width = grid->viewport()->width();
    const int firstColumn = std::max(0, grid->columnAt(0));
    int lastColumn = grid->columnAt(width - 1);
    if (lastColumn < 0)
        lastColumn = model_->columnCount() - 1;
    QStyleOptionViewItem option;
    option.font = grid->font();
    for (int row = std::max(0, grid->rowAt(0)); row < model_->rowCount() && grid->rowViewportPosition(row) < height; ++row) {
        int needed = 0;
        for (int column = firstColumn; column <= lastColumn; ++column) {
            if (grid->isColumnHidden(column))
                continue;
            option.rect = QRect(0, 0, grid->columnWidth(column), grid->rowHeight(row));
            needed = std::max(needed, delegate_->sizeHint(option, model_->index(row, column)).height());
        }
        if (needed > grid->rowHeight(row))
            grid->setRowHeight(row, needed);
    }
}

}  // namespace kelvo
