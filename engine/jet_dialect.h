#pragma once
// Translation of the statements the program writes (Jet SQL) into SQLite statements.
// The translation works on tokens; see README, "The engine layer over SQLite".

#include "engine/connection.h"

#include <functional>
#include <optional>

namespace kelvo::engine {

struct TranslatedStatement {
    enum class Kind { Query, Change, Schema, DatabasePassword };
    Kind kind = Kind::Change;
    QString sqliteText;
    // ALTER DATABASE PASSWORD new old: nothing stands for the keyword null (no password).
    std::optional<QString> newPassword;
    std::optional<QString> oldPassword;
};

// The columns of a table as the open file has them, empty when there is no such table.
using ColumnLookup = std::function<std::vector<FieldInfo>(const QString& table)>;

// One statement, with or without a closing ";". Throws EngineError when the text is
// not one statement the engine understands.
TranslatedStatement translateStatement(const QString& jetText, const ColumnLookup& columns);

// The class of a column by its declared SQLite type (as the translation writes it).
FieldClass fieldClassOfDeclaredType(const QString& declaredType);

// Names of the SQL functions the translation calls; the connection registers them.
inline constexpr const char* kBooleanFunction = "kelvo_bool";
inline constexpr const char* kDateFunction = "kelvo_date";

}  // namespace kelvo::engine
