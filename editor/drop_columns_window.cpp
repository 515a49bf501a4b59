#include "editor/drop_columns_window.h"

#include "data/database.h"
#include "data/session.h"
#include "editor/editor_controls.h"
#include "editor/editor_window.h"
#include "model/messages.h"
#include "model/values.h"
#include "ui/application.h"
#include "ui/help.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <set>

namespace kelvo {

namespace {

struct ColumnKind {
    QString prefix;       // of the result column
    QString tablePrefix;  // of the result tables holding it, empty for dataf
    QString countSql;     // whether its question, variable or field still exists
    QString mustDelete;   // what the author has to delete first
    QString tab;          // the editor page where that is done
};

const std::vector<ColumnKind>& ColumnKinds()
{
    static const std::vector<ColumnKind> kinds = {
        {QStringLiteral("item"), QStringLiteral("datai"), QStringLiteral("select count(*) from items where id = "),
         QStringLiteral("question"), QStringLiteral("Questions")},
        {QStringLiteral("var"), QStringLiteral("datav"), QStringLiteral("select count(*) from  variables where id = "),
         QStringLiteral("variable"), QStringLiteral("Variables")},
        {QStringLiteral("data"), QString(), QStringLiteral("select count(*) from userf where id = "),
         QStringLiteral("field"), QStringLiteral("Fields")},
    };
    return kinds;
}

// The kind of `column` and its number; nullptr when it is no result column.
const ColumnKind* KindOf(const QString& column, int& number)
{
    for (const ColumnKind& kind : ColumnKinds()) {
        if (!column.startsWith(kind.prefix, Qt::CaseInsensitive))
            continue;
        bool ok = false;
        number = column.mid(kind.prefix.size()).toInt(&ok);
        return ok && number > 0 ? &kind : nullptr;
    }
    return nullptr;
}

bool StillExists(const ColumnKind& kind, int number)
{
    const RowSet count = SelectToVariant(kind.countSql + QString::number(number) + QStringLiteral(";"));
    return !count.isNull() && count.integer(0, 0) > 0;
}

QLabel* Warning(QWidget* parent, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setStyleSheet(QStringLiteral("color: red; font-weight: bold;"));
    label->setWordWrap(true);
    return label;
}

}  // namespace

QString ResultTableOfColumn(const QString& column)
{
    int number = 0;
    const ColumnKind* kind = KindOf(column, number);
    if (!kind)
        return {};
    if (kind->tablePrefix.isEmpty())
        return QStringLiteral("dataf");
    return kind->tablePrefix + QString::number(ColumnBlock(number));
}

TForm9::TForm9(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TForm9"));
    setWindowTitle(QStringLiteral("Drop columns"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Warning(this, QStringLiteral("Be carefull! There is no undo if you delete selected column!")));
    layout->addWidget(Warning(this, QStringLiteral("Export your data before deleting! ")));
    layout->addWidget(Warning(
        this, QStringLiteral("After deleting column and before locking test you must perform Compact and Repair operation!")));
    auto* label = new QLabel(QStringLiteral("Choose column which you won't to delete"), this);
    combo = new QComboBox(this);
    combo->setObjectName(QStringLiteral("combo"));
    combo->setAccessibleName(QStringLiteral("Column"));
    label->setBuddy(combo);
    layout->addWidget(label);
    layout->addWidget(combo);
    auto* buttons = new QHBoxLayout;
    btnDrop = MakeButton(this, "btnDrop", QStringLiteral("Delete"));
    btnHelp = MakeButton(this, "btnHelp", QStringLiteral("Help"));
    buttons->addStretch();
    buttons->addWidget(btnDrop);
    buttons->addWidget(btnHelp);
    layout->addLayout(buttons);
    btnDrop->setEnabled(Session::current().con.isOpen());
    connect(btnDrop, &QPushButton::clicked, this, guardedSlot([this] { btnDropClick(); }));
    connect(btnHelp, &QPushButton::clicked, this, guardedSlot([] { ShowHelpTopic(QStringLiteral("26")); }));
}

void TForm9::showEvent(QShowEvent* event)
{
    guarded([this] { FillColumns(); });
    QDialog::showEvent(event);
}

void TForm9::FillColumns()
{
    combo->clear();
    if (!Session::current().con.isOpen())
        return;
    const engine::Connection& con = Session::current().con;
    const auto offer = [&](const QString& table) {
        for (const engine::FieldInfo& field : con.tableFields(table)) {
            int number = 0;
            const ColumnKind* kind = KindOf(field.name, number);
            if (kind && ResultTableOfColumn(field.name) == table && !StillExists(*kind, number))
                combo->addItem(field.name);
        }
    };
    for (const ColumnKind& kind : ColumnKinds()) {
        if (kind.tablePrefix.isEmpty()) {
            if (TableExists(QStringLiteral("dataf")))
                offer(QStringLiteral("dataf"));
            continue;
        }
        for (int k = 1; TableExists(kind.tablePrefix + QString::number(k)); ++k)
            offer(kind.tablePrefix + QString::number(k));
    }
    combo->setCurrentIndex(-1);
}

void TForm9::btnDropClick()
{
    const QString column = combo->currentText();
    int number = 0;
    const ColumnKind* kind = KindOf(column, number);
    if (combo->currentIndex() < 0 || !kind) {
        dialogs::warning(QStringLiteral("You must select a field (column) you want to delete!"));
        return;
    }
    if (StillExists(*kind, number)) {
        dialogs::warning(QStringLiteral("Before deleting the column you have to delete the ") + kind->mustDelete
                         + QStringLiteral(": ") + column + QStringLiteral("\r\n\r\n1. Go to the \"") + kind->tab
                         + QStringLiteral("\" tab and manually delete this ") + kind->mustDelete
                         + QStringLiteral("!\r\n\r\n2. Then repeat this action!"));
        return;
    }
    if (!dialogs::question(QStringLiteral("Delete column: ") + column)
        || !dialogs::question(QStringLiteral("Deleting all data in column: ") + column
                              + QStringLiteral("\r\n\r\nContinue?"))) {
        dialogs::information(QStringLiteral("Operation aborted.."));
        return;
    }

    btnDrop->setEnabled(false);
    bool dropped = false;
    try {
        dropped = DropColumn(ResultTableOfColumn(column), column);
    } catch (const engine::EngineError&) {
        // Told below in the window's own words.
    }
    if (dropped)
        dialogs::information(QStringLiteral("Column: ") + column + QStringLiteral(" is successfully deleted!"));
    else
        dialogs::error(QStringLiteral("Error 97. The program failed to delete a field: ") + column);
    btnDrop->setEnabled(true);
    FillColumns();

    if (dialogs::question(QStringLiteral("After deleting column and before locking test you must perform Compact and "
                                         "Repair operation!\r\n\r\nWould you like to do it right now?"))
        && Form3)
        Form3->Speed8->click();
}

void ShowDropColumnsWindow(QWidget* owner)
{
    TForm9 window(owner);
    window.exec();
}

}  // namespace kelvo
