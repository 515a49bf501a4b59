#pragma once
// The export routines: a SELECT rewritten into the export statement of a file type and
// run on the connection, or saved as recordset XML.

#include "engine/connection.h"

#include <QString>

namespace kelvo::engine {

// File types 0 to 16: Access, Excel 3.0, 4.0, 5.0, 8.0, Lotus WK1, WK3, WK4, dBase III,
// IV, 5, Paradox 3.x, 4.x, 5.x, Text, HTML, recordset XML.
inline constexpr int kExportFileTypes = 17;

// Splits `sql` into its field list and its source at the first FROM that has white
// space on both sides; returns what ExportTable returns. Throws "Incomplete parameters."
// when the connection, the SQL or the file name is missing.
int ExportQuery(Connection* connection, const QString& sql, const QString& fileName, const QString& tableName,
                int fileType);

// Builds and runs the export statement of the type; the number of records written.
// Throws "ExportTable: Fileformat not supported." for type 7 and types from 16 on.
int ExportTable(Connection* connection, const QString& source, const QString& fields, const QString& tableName,
                int fileType, const QString& fileName);

// Opens the SELECT and saves its rows as recordset XML; the number of records.
int SaveSelectToFile(Connection* connection, const QString& sql, const QString& fileName);

// The statement ExportTable runs, for the types that have one.
QString exportStatementText(const QString& source, const QString& fields, const QString& tableName, int fileType,
                            const QString& fileName);

}  // namespace kelvo::engine
