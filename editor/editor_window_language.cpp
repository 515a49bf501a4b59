// The Language page of the test editor: the texts the test window shows, rows 1 to 13
// of testd, typed into a grid as the author wants them shown.
#include "editor/editor_window.h"

#include "dataaware/data_grid.h"
#include "dataaware/dataset.h"
#include "editor/page_controls.h"

#include <QHeaderView>
#include <QVBoxLayout>

namespace kelvo {

using dataaware::GridColumn;
using dataaware::Verdict;

void TForm3::buildLanguagePage()
{
    qtestd = MakePageDataset(this, "qtestd", QStringLiteral("select * from testd where id >0 order by id; "),
                             QStringLiteral("testd"));
    // The rows are the test window's; the author changes their texts only.
    qtestd->setBeforeInsert([] { return Verdict::abort(); });
    qtestd->setBeforeDelete([] { return Verdict::abort(); });

    GridColumn description = GridColumn::editable(QStringLiteral("d"), QStringLiteral("Description"));
    description.readOnly = true;
    description.shaded = true;
    dbg5 = MakeDataGrid(*qtestd, Sheet7, "dbg5", QStringLiteral("Screen texts"),
                        {description, GridColumn::editable(QStringLiteral("v"), QStringLiteral("Value"))});
    dbg5->horizontalHeader()->setStretchLastSection(true);
    auto* layout = new QVBoxLayout(Sheet7);
    layout->addWidget(dbg5);
}

}  // namespace kelvo
