#pragma once
// The database password lives in the file, in a table of the engine's own that the
// table list leaves out. Only a salted digest is kept. It keeps casual users from
// opening a test with another program of ours; it is not encryption: the data are
// readable by any SQLite tool.

#include <QString>

#include <optional>

struct sqlite3;

namespace kelvo::engine {

inline constexpr QLatin1StringView kPasswordTable{"kelvo_password"};

// Creates the table and stores the password (empty or nothing: none).
void writeDatabasePassword(sqlite3* db, const std::optional<QString>& password);

// Whether the file has a password at all.
bool hasDatabasePassword(sqlite3* db);

// Whether the file lacks the password record altogether (a file of another program, or
// one whose record was dropped), as opposed to a password removed on purpose.
bool databasePasswordMissing(sqlite3* db);

// Whether `given` opens the file: always for a file without password.
bool databasePasswordMatches(sqlite3* db, const QString& given);

}  // namespace kelvo::engine
