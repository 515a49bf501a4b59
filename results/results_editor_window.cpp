#include "results/results_editor_window.h"

#include "data/accounts.h"
#include "data/database.h"
#include "data/session.h"
#include "dataaware/data_grid.h"
#include "dataaware/dataset.h"
#include "dataaware/navigator.h"
#include "dataaware/navigator_shortcuts.h"
#include "results/posterior_analysis_window.h"
#include "ui/application.h"
#include "ui/dialog_service.h"
#include "ui/help.h"

#include <QComboBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace kelvo {

using dataaware::GridColumn;
using dataaware::NavigatorButton;
using dataaware::Verdict;

namespace {

constexpr int kColumnWidth = 100;
constexpr int kShownMemoLength = 255;

const QString kDeleteQuestion = QStringLiteral(
    "If you delete this record all test results (general data, fields, answers, variables) will be deleted!\r\n\r\n"
    "You will not be to able undo this action!\r\n\r\nDelete record?");

// The range of question or variable numbers a block table holds: " 255 - 508" for k = 2.
QString BlockRange(const QString& tableName)
{
    if (tableName.size() < 6 || tableName[5] < QLatin1Char('1') || tableName[5] > QLatin1Char('9'))
        return QString();
    const int k = tableName.mid(5).toInt();
    return QLatin1Char(' ') + QString::number(254 * k - 253) + QStringLiteral(" - ") + QString::number(254 * k);
}

QString DateTimeText(const QVariant& value)
{
    if (value.isNull())
        return QString();
    const QDateTime moment = value.toDateTime();
    return moment.isValid() ? QLocale().toString(moment, QLocale::ShortFormat) : value.toString();
}

QString ShortMemoText(const QVariant& value)
{
    const QString text = value.toString();
    return text.size() > kShownMemoLength ? text.left(kShownMemoLength) + QStringLiteral("..") : text;
}

}  // namespace

TForm15::TForm15(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("Form15"));
    setWindowTitle(QStringLiteral("Posterior analysis"));
    setMinimumSize(400, 300);
    query = new dataaware::Dataset(this);
    query->setObjectName(QStringLiteral("query"));
    query->setMessageHandler(ShowNotice);

    auto* layout = new QVBoxLayout(this);
    auto* tools = new QHBoxLayout;
    combo = new QComboBox(this);
    combo->setObjectName(QStringLiteral("combo"));
    combo->setAccessibleName(QStringLiteral("Result table"));
    helpBtn = new QPushButton(QStringLiteral("Help"), this);
    helpBtn->setObjectName(QStringLiteral("helpBtn"));
    helpBtn->setAutoDefault(false);
    nav = new dataaware::Navigator(*query, this);
    nav->setObjectName(QStringLiteral("nav"));
    nav->setAccessibleName(QStringLiteral("Results navigator"));
    nav->setDeleteConfirmation([] { return dialogs::question(kDeleteQuestion, MessageKind::Warning); });
    aposterior = new QToolButton(this);
    aposterior->setObjectName(QStringLiteral("aposterior"));
    aposterior->setText(QStringLiteral("Posterior"));
    aposterior->setToolTip(QStringLiteral("Aposterior analysis"));
    aposterior->setAccessibleName(QStringLiteral("Posterior"));
    for (QWidget* tool : std::initializer_list<QWidget*>{combo, helpBtn, nav, aposterior})
        tools->addWidget(tool);
    tools->addStretch();
    layout->addLayout(tools);

    dbg = new dataaware::DataGrid(*query, this);
    dbg->setObjectName(QStringLiteral("dbg"));
    dbg->setAccessibleName(QStringLiteral("Result table rows"));
    dbg->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    dbg->horizontalHeader()->setStretchLastSection(false);
    dbg->setEditTriggers(QAbstractItemView::NoEditTriggers);
    layout->addWidget(dbg, 1);
    new dataaware::NavigatorShortcuts(*dbg, *nav);
    status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("status"));
    status->setSizeGripEnabled(false);
    layout->addWidget(status);

    connect(query, &dataaware::Dataset::removed, this, [this] {
        status->showMessage(QStringLiteral("Record count: ") + QString::number(query->recordCount()));
    });
    connect(combo, &QComboBox::activated, this, guardedSlot([this](int) { comboChange(); }));
    connect(aposterior, &QToolButton::clicked, this, guardedSlot([this] { aposteriorClick(); }));
    connect(helpBtn, &QPushButton::clicked, this, guardedSlot([this] { helpBtnClick(); }));
    guarded([this] { FormCreate(); });
}

TForm15::~TForm15() = default;

QString TForm15::TableDisplayName(const QString& tableName)
{
    if (tableName.startsWith(QLatin1String("datac")))
        return QStringLiteral("general data");
    if (tableName.startsWith(QLatin1String("dataf")))
        return QStringLiteral("data fields");
    if (tableName.startsWith(QLatin1String("datai")))
        return QStringLiteral("answers") + BlockRange(tableName);
    if (tableName.startsWith(QLatin1String("datav")))
        return QStringLiteral("variables") + BlockRange(tableName);
    return tableName;
}

void TForm15::FormCreate()
{
    aposterior->setEnabled(IsTestLocked() && FirstInteger(QStringLiteral("select count(id) from variables;")) != 0);
    FillTableCombo();

    // A run is recorded only by taking the test: no result table gets a row typed in.
    query->setBeforeInsert([] { return Verdict::abort(); });
    // Deleting a run removes it from every result table, in the transaction of the
    // delete itself: the run goes from all of them or from none.
    query->setBeforeDelete([this] {
        const QString id = query->value(QStringLiteral("id")).toString();
        if (id.isEmpty())
            return Verdict::proceed();
        for (const QString& table : gDataTables)
            if (table.compare(query->table(), Qt::CaseInsensitive) != 0)
                ExecSQL(QStringLiteral("delete from ") + table + QStringLiteral(" where id = ") + id + QLatin1Char(';'));
        return Verdict::proceed();
    });
    // An edited data field marks its run, together with the edit.
    query->setBeforePost([this] {
        const QVariant id = query->value(QStringLiteral("id"));
        if (!id.isNull())
            ExecSQL(QStringLiteral("update datac set modified = true where id = ") + id.toString() + QLatin1Char(';'));
        return Verdict::proceed();
    });
}

void TForm15::FillTableCombo()
{
    combo->clear();
    gDataTables.clear();
    for (const QString& name : Session::current().tableNames)
        if (name.startsWith(QLatin1String("data"))) {
            gDataTables << name;
            combo->addItem(TableDisplayName(name));
        }
}

void TForm15::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    guarded([this] { FormShow(); });
}

void TForm15::FormShow()
{
    query->setConnection(&Session::current().con);
    if (combo->count() > 0 && !query->isActive()) {
        combo->setCurrentIndex(0);
        OpenTable(gDataTables.front());
    }
}

void TForm15::comboChange()
{
    const int index = combo->currentIndex();
    if (index >= 0 && index < gDataTables.size())
        OpenTable(gDataTables[index]);
}

QString TForm15::currentTable() const { return query->table(); }

void TForm15::OpenTable(const QString& table)
{
    query->close();
    dbg->setColumns({});
    const bool editable = table == QLatin1String("dataf");
    query->setConnection(&Session::current().con);
    query->setStatement(QStringLiteral("select * from ") + table + QLatin1Char(';'));
    query->setTable(table, {QStringLiteral("id")});
    query->open();
    query->last();

    std::vector<GridColumn> columns;
    for (const engine::FieldInfo& field : query->fields()) {
        GridColumn column = GridColumn::editable(field.name, field.name);
        // The run's id is never typed over, in any table.
        column.readOnly = !editable || field.name.compare(QLatin1String("id"), Qt::CaseInsensitive) == 0;
        if (table == QLatin1String("datac") && field.type == engine::FieldClass::Date)
            column.format = DateTimeText;
        else if (table.startsWith(QLatin1String("datai")) && field.type == engine::FieldClass::Memo)
            column.format = ShortMemoText;
        columns.push_back(std::move(column));
    }
    dbg->setColumns(std::move(columns));
    dbg->setEditTriggers(editable ? QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                                        | QAbstractItemView::AnyKeyPressed
                                  : QAbstractItemView::NoEditTriggers);
    dataaware::NavigatorButtons buttons = NavigatorButton::First | NavigatorButton::Prior | NavigatorButton::Next
                               | NavigatorButton::Last | NavigatorButton::Delete | NavigatorButton::Refresh;
    if (editable)
        buttons |= NavigatorButton::Edit | NavigatorButton::Post | NavigatorButton::Cancel;
    nav->setVisibleButtons(buttons);
    for (int c = 0; c < dbg->model()->columnCount(); ++c)
        dbg->setColumnWidth(c, kColumnWidth);
    status->showMessage(QStringLiteral("Record count: ") + QString::number(query->recordCount()));
}

void TForm15::aposteriorClick()
{
    if (!query->isActive() || query->fieldIndex(QStringLiteral("id")) < 0 || query->value(QStringLiteral("id")).isNull())
        return;
    if (FirstInteger(QStringLiteral("select count(*) from variables;")) == 0
        || FirstInteger(QStringLiteral("select count(*) from formula;")) == 0) {
        dialogs::information(QStringLiteral("The selected operation can not be achieved because of this test is not "
                                            "defined by any one formula (or variable)!"));
        return;
    }
    TForm19 analysis(this);
    const QString id = query->value(QStringLiteral("id")).toString();
    analysis.eStart->setText(id);
    analysis.eStop->setText(id);
    analysis.exec();
    if (analysis.gPosteriorDone)
        nav->press(NavigatorButton::Refresh);
}

void TForm15::helpBtnClick() { ShowHelpTopic(QStringLiteral("36")); }

}  // namespace kelvo
