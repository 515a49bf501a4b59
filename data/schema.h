#pragma once
// What a new test file holds before its author touches it: the nine tables, the
// database password, and the default rows (administrator account, settings and screen
// texts, shortcut keys, one sample question). The result tables are added when the
// test is first locked.

#include <QString>
#include <QStringList>

#include <vector>

namespace kelvo {

namespace engine { class Connection; }

// Every connection to a test file carries this password.
inline const QString kDatabasePassword = QStringLiteral("Qv7Lm2Xp_9Rt4Hw8Kd3N");

// The account every new test starts with; its name is also its password.
inline const QString kDefaultAdministrator = QStringLiteral("quorv");

// The nine CREATE TABLE statements, in the order they run.
const QStringList& schemaStatements();

// Sets the password on the new, passwordless file.
QString setPasswordStatement();

// The administrator account, all flags on.
QString administratorAccountStatement();

// The sample question and its two answers, in the order they run.
const QStringList& sampleQuestionStatements();

// Empties the descriptions of the settings rows and the lock flag (rows below 1).
QString clearSettingDescriptionsStatement();

struct ShortcutKey {
    int id;      // the answer number the key selects; 1 to 3 also press the main buttons
    QString key;
};

// Ids 1 to 9 the digits "1" to "9", ids 10 to 30 the letters "a" to "u".
const std::vector<ShortcutKey>& defaultShortcutKeys();

// Writes the tables and the password into a new, empty file open exclusively on
// `connection`. A failing statement throws engine::EngineError.
void writeSchema(engine::Connection& connection);

// Writes the default rows, in their order. A failing statement throws
// engine::EngineError.
void writeDefaultRows(engine::Connection& connection);

}  // namespace kelvo
