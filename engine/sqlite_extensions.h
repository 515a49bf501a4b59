#pragma once
// What the engine adds to every SQLite connection: the case-insensitive text collation
// and the functions that the translated statements call.

struct sqlite3;

namespace kelvo::engine {

// Replaces SQLite's ASCII-only NOCASE by one that folds the case of every letter, so
// that text columns compare, sort and stay unique without regard to case; registers
// the value normalisers for Boolean and date columns, a LIKE of the same folding and
// Jet's StrComp, whose compare 0 tells letter case apart (passwords).
// Returns an SQLite result code.
int installExtensions(sqlite3* db);

}  // namespace kelvo::engine
