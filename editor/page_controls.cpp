#include "editor/page_controls.h"

#include "editor/editor_controls.h"

#include "data/database.h"
#include "data/session.h"
#include "dataaware/data_grid.h"
#include "dataaware/dataset.h"
#include "dataaware/navigator.h"
#include "model/messages.h"
#include "ui/application.h"
#include "ui/dialog_service.h"
#include "ui/help.h"

#include <QBoxLayout>
#include <QKeyEvent>
#include <QPushButton>

namespace kelvo {

namespace {

class AppendOnDown : public QObject {
public:
    explicit AppendOnDown(dataaware::DataGrid& grid) : QObject(&grid), grid_(grid) { grid.installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return QObject::eventFilter(watched, event);
        const auto* key = static_cast<QKeyEvent*>(event);
        dataaware::Dataset& rows = grid_.dataset();
        if (key->key() != Qt::Key_Down || key->modifiers() != Qt::NoModifier
            || rows.state() != dataaware::DatasetState::Browse || !rows.canModify()
            || rows.currentIndex() + 1 < rows.rowCount())
            return QObject::eventFilter(watched, event);
        rows.guard([&] { rows.append(); });
        return true;
    }

private:
    dataaware::DataGrid& grid_;
};

}  // namespace

void AppendBelowLastRow(dataaware::DataGrid& grid) { new AppendOnDown(grid); }

void BindPageDataset(dataaware::Dataset& dataset, const QString& selectSql, const QString& table,
                     const QStringList& keyFields)
{
    dataset.setConnection(&Session::current().con);
    dataset.setStatement(selectSql);
    dataset.setTable(table, keyFields);
    dataset.setMessageHandler(ShowNotice);
    dataset.setExceptionHandler([](std::exception_ptr exception) { reportEscapedException(exception); });
}

dataaware::Dataset* MakePageDataset(QObject* owner, const char* name, const QString& selectSql, const QString& table)
{
    auto* dataset = new dataaware::Dataset(owner);
    dataset->setObjectName(QLatin1String(name));
    BindPageDataset(*dataset, selectSql, table, {QStringLiteral("id")});
    return dataset;
}

dataaware::Navigator* MakeNavigator(dataaware::Dataset& dataset, QWidget* page, const char* name,
                                    const QString& accessibleName)
{
    auto* navigator = new dataaware::Navigator(dataset, page);
    navigator->setObjectName(QLatin1String(name));
    navigator->setAccessibleName(accessibleName);
    return navigator;
}

dataaware::DataGrid* MakeDataGrid(dataaware::Dataset& dataset, QWidget* page, const char* name,
                                  const QString& accessibleName, std::vector<dataaware::GridColumn> columns)
{
    auto* grid = new dataaware::DataGrid(dataset, page);
    grid->setObjectName(QLatin1String(name));
    grid->setAccessibleName(accessibleName);
    grid->setColumns(std::move(columns));
    return grid;
}

int CountOf(const QString& sql, const QVariantMap& parameters)
{
    const engine::ResultSet rows = Session::current().con.select(sql, parameters);
    return rows.rowCount() > 0 && !rows.rows.front().empty() ? rows.rows.front().front().toInt() : 0;
}

void AddToolRow(QBoxLayout& layout, std::initializer_list<QWidget*> tools)
{
    auto* row = new QHBoxLayout;
    for (QWidget* tool : tools)
        row->addWidget(tool);
    row->addStretch();
    layout.addLayout(row);
}

QPushButton* MakeHelpButton(QWidget* parent, const char* name, const QString& topic)
{
    QPushButton* button = MakeButton(parent, name, QStringLiteral("Help"));
    QObject::connect(button, &QPushButton::clicked, button, guardedSlot([topic] { ShowHelpTopic(topic); }));
    return button;
}

QString DeleteFormulasStatement(const std::vector<StoredFormula>& formulas)
{
    QStringList ids;
    for (const StoredFormula& formula : formulas)
        ids << QString::number(formula.autoid);
    return QStringLiteral("delete from formula where autoid in (") + ids.join(QLatin1Char(',')) + QStringLiteral(");");
}

int DeleteFormulasReferencing(int id, const QString& prefix)
{
    const std::vector<StoredFormula> formulas = FindFormulasReferencing(id, prefix);
    if (!formulas.empty())
        ExecSQL(DeleteFormulasStatement(formulas));
    return static_cast<int>(formulas.size());
}

QString FieldText(const dataaware::Dataset& dataset, const QString& field)
{
    return CellText(dataset.value(field));
}

}  // namespace kelvo
