#pragma once
// A table opened by name on a connection, listing its fields with their names and
// classes: what the column routines and the record builders look up before they write.

#include "engine/connection.h"

#include <QString>

#include <vector>

namespace kelvo {

class TableDataset {
public:
    // Reads the fields of `table` on `connection`; throws engine::EngineError when the
    // table is missing. The dataset stays open on that table until the next open.
    void open(engine::Connection& connection, const QString& table);
    void close();
    bool isOpen() const { return open_; }
    QString tableName() const { return tableName_; }
    const std::vector<engine::FieldInfo>& fields() const { return fields_; }
    // Field names compare without regard to case, as the database's do; null when absent.
    const engine::FieldInfo* findField(const QString& name) const;

private:
    bool open_ = false;
    QString tableName_;
    std::vector<engine::FieldInfo> fields_;
};

}  // namespace kelvo
