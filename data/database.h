#pragma once
// The database routines every module uses on the session's one connection.

#include "model/values.h"

namespace kelvo {

class TableDataset;

// --- database routines on the session's connection -----------------------------------

// Runs one SELECT. On a database failure shows error 45 and gives the Null row set.
RowSet SelectToVariant(const QString& sql);
// The first cell of a one-value SELECT (a count, a largest id) as a number; 0 when it is
// Null or no row comes back.
int FirstInteger(const QString& sql);
// Runs one statement that returns no rows; a failure raises to the caller. Always true.
bool ExecSQL(const QString& sql);
// Builds and runs one INSERT into the table of `dataSet`. False, silently, when the lists
// are empty or differ in length or a field is not in the table; false after error 54
// when the statement fails.
bool InsertRecord(const TableDataset& dataSet, const QStringList& fieldNames,
                  const QVariantList& values);
// Builds and runs one UPDATE of the rows whose `keyField` equals `keyValue`. 0 without
// running anything when the lists are empty or differ or a field is missing; with
// `checkExists` 0 when more than one row matches and `allowMany` is false, otherwise
// the number of matching rows; without the check 1. A failure raises to the caller.
int UpdateRecord(const TableDataset& dataSet, const QString& keyField, const QString& keyValue,
                 const QStringList& fieldNames, const QVariantList& values, bool allowMany,
                 bool checkExists);
// Adds a column unless it exists (error 73); "boolean" becomes yesno and "string"
// varchar(100). Leaves the session's columnTable open on `table`. Failures raise.
bool AddColumn(const QString& table, const QString& field, const QString& fieldType);
// Drops a column that exists (otherwise error 74). Failures raise.
bool DropColumn(const QString& table, const QString& field);
// Whether the open file has the table (letter case ignored); false without an open
// test. Failures raise.
bool TableExists(const QString& name);
// "null" stands for no password. The file must be open exclusively. Shows error 114
// and gives false on failure.
bool ChangeDatabasePassword(const QString& oldPassword, const QString& newPassword);
// The first k >= 1 missing from column `col` of the ascending rows of `selectSql`: 1
// without rows, -1 when `col` is beyond the columns.
int FirstFreeNumber(const QString& selectSql, int col);
// Whether the test has at least one question.
bool ItemsExist();

// A file beside the open test that does not exist yet: its folder and name, `suffix`,
// a number from 2 when needed, and the extension of `extSource`.
QString UniqueFileName(const QString& extSource, const QString& suffix);

}  // namespace kelvo
