#include "data/table_dataset.h"

namespace kelvo {

void TableDataset::open(engine::Connection& connection, const QString& table)
{
    close();
    fields_ = connection.tableFields(table);
    tableName_ = table;
    open_ = true;
}

void TableDataset::close()
{
    open_ = false;
    tableName_.clear();
    fields_.clear();
}

const engine::FieldInfo* TableDataset::findField(const QString& name) const
{
    for (const engine::FieldInfo& field : fields_)
        if (field.name.compare(name, Qt::CaseInsensitive) == 0)
            return &field;
    return nullptr;
}

}  // namespace kelvo
