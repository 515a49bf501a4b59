// The Data page of the test editor: the data fields a respondent fills in before the
// questions, and the rules a field is stored and deleted by.
#include "editor/editor_window.h"

#include "data/database.h"
#include "dataaware/data_grid.h"
#include "dataaware/dataset.h"
#include "dataaware/navigator.h"
#include "dataaware/navigator_shortcuts.h"
#include "editor/page_controls.h"
#include "model/messages.h"

#include <QPushButton>
#include <QVBoxLayout>

namespace kelvo {

namespace {

using dataaware::Dataset;
using dataaware::GridColumn;
using dataaware::NoticeKind;
using dataaware::Verdict;

const QStringList kFieldTypes = {QStringLiteral("string"), QStringLiteral("integer"), QStringLiteral("float"),
                                 QStringLiteral("boolean")};
constexpr int kMaxDataFields = 254;

// Whether the results already hold a column for data field `id`, whose type is then fixed.
bool ResultColumnExists(TForm3& editor, const QVariant& id)
{
    if (!TableExists(QStringLiteral("dataf")))
        return false;
    editor.tmpTable.open(Session::current().con, QStringLiteral("dataf"));
    return editor.tmpTable.findField(QStringLiteral("data") + id.toString()) != nullptr;
}

Verdict CheckDataField(TForm3& editor, Dataset& fields)
{
    if (fields.rowCount() > kMaxDataFields)
        return Verdict::refuse(QStringLiteral("You have reached the maximum number of user-defined fields (254)!"),
                               NoticeKind::Error);
    if (fields.value(QStringLiteral("id")).isNull()) {
        if (const int id = FirstFreeNumber(QStringLiteral("select id from userf order by 1;"), 0); id != -1)
            fields.setValue(QStringLiteral("id"), id);
    }
    const QVariant id = fields.value(QStringLiteral("id"));
    if (id.isNull())
        return Verdict::refuse(QStringLiteral("Internal error! Error code: 265."), NoticeKind::Error);

    QString type = FieldText(fields, QStringLiteral("ftype")).trimmed().toLower();
    if (type.isEmpty())
        type = kFieldTypes.front();
    fields.setValue(QStringLiteral("ftype"), type);
    if (!kFieldTypes.contains(type))
        return Verdict::refuse(QStringLiteral("Column Field type is illegal!\r\n\r\nChoose Field type from combo box "
                                              "in Field type Column!\r\n\r\nThe entry is canceled"));
    if (type != CellText(fields.storedValue(QStringLiteral("ftype"))) && ResultColumnExists(editor, id))
        return Verdict::refuse(QStringLiteral("This field already exist in table. You can't change existing field "
                                              "type!\r\n\r\nIf you want to change the field type you should first "
                                              "delete this field from table!"));

    const auto firstFreePosition = [&] {
        if (const int free = FirstFreeNumber(QStringLiteral("select posit from userf order by 1;"), 0); free != -1)
            fields.setValue(QStringLiteral("posit"), free);
    };
    const QString position = FieldText(fields, QStringLiteral("posit")).trimmed();
    if (position.isEmpty()) {
        firstFreePosition();
    } else {
        QVariantMap parameters {{QStringLiteral("p"), position}};
        QString sql = QStringLiteral("select count(*) from userf where posit = :p");
        if (fields.state() == dataaware::DatasetState::Edit) {
            sql += QStringLiteral(" and id <> :id");
            parameters.insert(QStringLiteral("id"), id);
        }
        if (CountOf(sql + u';', parameters) > 0) {
            firstFreePosition();
            dialogs::warning(QStringLiteral("Column Position must be unique!"));
        }
    }

    const QString caption = FieldText(fields, QStringLiteral("caption")).trimmed();
    fields.setValue(QStringLiteral("caption"), caption);
    if (caption.isEmpty())
        return Verdict::refuse(QStringLiteral("Column Text must be defined (not empty)!\r\n\r\nThe entry is canceled"));
    return Verdict::proceed();
}

}  // namespace

void TForm3::buildDataPage()
{
    quserf = MakePageDataset(this, "quserf", QStringLiteral("select * from userf order by id;"), QStringLiteral("userf"));

    auto* layout = new QVBoxLayout(Sheet5);
    nav4 = MakeNavigator(*quserf, Sheet5, "nav4", QStringLiteral("Data fields navigator"));
    btnHelp6 = MakeHelpButton(Sheet5, "btnHelp6", QStringLiteral("10"));
    AddToolRow(*layout, {nav4, btnHelp6});

    dbg4 = MakeDataGrid(
        *quserf, Sheet5, "dbg4", QStringLiteral("Data fields"),
        {GridColumn::editable(QStringLiteral("caption"), QStringLiteral("Text")),
         GridColumn::picked(QStringLiteral("ftype"), QStringLiteral("Field type"), kFieldTypes),
         GridColumn::editable(QStringLiteral("posit"), QStringLiteral("Position")),
         GridColumn::numberedName(QStringLiteral("id"), QStringLiteral("Name"), QStringLiteral("data"))});
    layout->addWidget(dbg4, 1);
    AppendBelowLastRow(*dbg4);
    new dataaware::NavigatorShortcuts(*dbg4, *nav4);

    quserf->setBeforePost([this] { return CheckDataField(*this, *quserf); });
    quserf->setBeforeDelete([this] {
        if (!dialogs::question(QStringLiteral("You have started an action to delete user-defined data field.\r\n\r\nIf "
                                              "this data field is present in any formula, any such formula will also "
                                              "be deleted!\r\n\r\nDelete the chosen field?")))
            return Verdict::abort();
        DeleteFormulasReferencing(quserf->value(QStringLiteral("id")).toInt(), QStringLiteral("data"));
        return Verdict::proceed();
    });
}

}  // namespace kelvo
