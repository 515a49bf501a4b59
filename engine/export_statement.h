#pragma once
// The statement forms that export the rows of a SELECT into a file of another format:
//   SELECT fields INTO [table] IN "path" "ISAM;" FROM source
//   SELECT fields INTO [Excel 8.0;Database=file].[sheet] FROM source
// (the ISAM part empty for an Access database).

#include <QString>

#include <optional>

namespace kelvo::engine {

struct ExportStatement {
    QString fields;     // the select list
    QString source;     // everything after FROM
    QString tableName;  // the table or sheet that receives the rows
    QString inPath;     // a file or a folder, as the ISAM takes it
    QString isam;       // e.g. "dBASE 5.0;", empty for an Access database
};

// The parts of an export statement; nothing when `sql` is no export statement.
std::optional<ExportStatement> recognizeExportStatement(const QString& sql);

}  // namespace kelvo::engine
