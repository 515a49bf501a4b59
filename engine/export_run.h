#pragma once
// Runs an export statement: the plain SELECT on the connection, its rows handed to the
// writer of the format that the ISAM names.

#include "engine/connection.h"
#include "engine/export/export_table.h"
#include "engine/export_statement.h"

namespace kelvo::engine {

// The file an export statement writes: the IN path itself, or for the ISAMs that take
// a folder, the table name in it with the format's extension.
QString exportTargetFile(const ExportStatement& statement);

// Throws when `target`, however its path is spelled, is the open test file.
void refuseOpenTestFile(const Connection& connection, const QString& target);

// The rows written, as the statement's affected rows. Throws EngineError: "Could not
// find installable ISAM." for an ISAM that no writer stands for, the writer's message
// when the data do not fit the format; the open test file is never a target.
int runExportStatement(Connection& connection, const ExportStatement& statement);

// The rows of a SELECT in the recordset XML form; the number of records.
int saveSelectAsRecordsetXml(const Connection& connection, const QString& sql, const QString& fileName);

// The rows of a result in the writers' table, each column of the kind its cells hold.
exporting::Table exportTableOf(const ResultSet& result);

}  // namespace kelvo::engine
