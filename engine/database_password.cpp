#include "engine/database_password.h"

#include "engine/connection.h"
#include "engine/sqlite_call.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

#include <sqlite3.h>

namespace kelvo::engine {
namespace {

QString digestOf(const QString& salt, const QString& password)
{
    return QString::fromLatin1(
        QCryptographicHash::hash((salt + u':' + password).toUtf8(), QCryptographicHash::Sha256).toHex());
}

bool passwordTableExists(sqlite3* db)
{
    NativeStatement st(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1");
    st.bindText(1, QString(kPasswordTable));
    return st.step();
}

struct StoredDigest {
    QString salt;
    QString digest;
};

std::optional<StoredDigest> storedDigest(sqlite3* db)
{
    if (!passwordTableExists(db))
        return std::nullopt;
    NativeStatement st(db, QStringLiteral("SELECT salt, digest FROM %1 LIMIT 1").arg(kPasswordTable));
    if (!st.step())
        return std::nullopt;
    StoredDigest stored{st.columnText(0), st.columnText(1)};
    if (stored.digest.isEmpty())
        return std::nullopt;
    return stored;
}

}  // namespace

void writeDatabasePassword(sqlite3* db, const std::optional<QString>& password)
{
    runNative(db, QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (salt TEXT NOT NULL, digest TEXT NOT NULL)")
                      .arg(kPasswordTable));
    runNative(db, QStringLiteral("DELETE FROM %1").arg(kPasswordTable));
    QString salt;
    QString digest;
    if (password && !password->isEmpty()) {
        quint64 random[2];
        QRandomGenerator::system()->fillRange(random);
        salt = QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(random), sizeof random).toHex());
        digest = digestOf(salt, *password);
    }
    NativeStatement st(db, QStringLiteral("INSERT INTO %1 (salt, digest) VALUES (?1, ?2)").arg(kPasswordTable));
    st.bindText(1, salt);
    st.bindText(2, digest);
    st.step();
}

bool hasDatabasePassword(sqlite3* db) { return storedDigest(db).has_value(); }

bool databasePasswordMissing(sqlite3* db)
{
    if (!passwordTableExists(db))
        return true;
    NativeStatement st(db, QStringLiteral("SELECT count(*) FROM %1").arg(kPasswordTable));
    return !st.step() || sqlite3_column_int(st.handle(), 0) == 0;
}

bool databasePasswordMatches(sqlite3* db, const QString& given)
{
    const auto stored = storedDigest(db);
    return !stored || digestOf(stored->salt, given) == stored->digest;
}

}  // namespace kelvo::engine
