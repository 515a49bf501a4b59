#include "engine/sqlite_call.h"

#include "engine/connection.h"
#include "engine/date_text.h"

#include <QDateTime>

#include <sqlite3.h>

namespace kelvo::engine {
namespace {

// The part of SQLite's message after "... failed: ", e.g. "users.usr".
QString detailOf(const QString& message)
{
    const qsizetype colon = message.indexOf(QLatin1StringView(": "));
    return colon < 0 ? message : message.mid(colon + 2);
}

}  // namespace

QString describeFailure(sqlite3* db, int rc)
{
    const QString message = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
    switch (rc) {
    case SQLITE_CONSTRAINT_UNIQUE:
    case SQLITE_CONSTRAINT_PRIMARYKEY:
        return QStringLiteral("The change was not made because it would create a duplicate value in a key or "
                              "unique field (%1).")
            .arg(detailOf(message));
    case SQLITE_CONSTRAINT_NOTNULL:
        return QStringLiteral("The field %1 cannot hold a Null value; enter a value.").arg(detailOf(message));
    case SQLITE_CONSTRAINT_CHECK:
        return QStringLiteral("One or more values are prohibited by the validation rule of the table (%1).")
            .arg(detailOf(message));
    case SQLITE_CONSTRAINT_FOREIGNKEY:
        return QStringLiteral("The record cannot be added or changed because a related record is required "
                              "(the value of the key is missing in the table it refers to).");
    case SQLITE_BUSY:
    case SQLITE_BUSY_SNAPSHOT:
    case SQLITE_LOCKED:
        return QStringLiteral("The database file is in use by another user or program (it is locked); try again "
                              "later.");
    case SQLITE_READONLY_DBMOVED:
        return QStringLiteral("The database file was moved or replaced (for instance compacted) by another "
                              "connection; open it again.");
    case SQLITE_READONLY:
        return QStringLiteral("The database file is read-only; it cannot be changed.");
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return QStringLiteral("The database file is damaged or is not a database.");
    case SQLITE_FULL:
        return QStringLiteral("The disk is full; the change was not written.");
    default:
        break;
    }
    if ((rc & 0xff) == SQLITE_CONSTRAINT)
        return QStringLiteral("The change violates a rule of the table (%1).").arg(detailOf(message));
    if ((rc & 0xff) == SQLITE_IOERR)
        return QStringLiteral("The database file could not be read or written (%1).").arg(message);
    return message;
}

NativeStatement::NativeStatement(sqlite3* db, const QString& sqliteText) : db_(db)
{
    const QByteArray utf8 = sqliteText.toUtf8();
    const int rc = sqlite3_prepare_v2(db, utf8.constData(), static_cast<int>(utf8.size()), &stmt_, nullptr);
    if (rc != SQLITE_OK) {
        const QString why = describeFailure(db, sqlite3_extended_errcode(db));
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
        throw EngineError(why.toStdString());
    }
    if (!stmt_)
        throw EngineError("The statement is empty.");
}

NativeStatement::~NativeStatement() { sqlite3_finalize(stmt_); }

void NativeStatement::bindText(int index, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(stmt_, index, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
}

void NativeStatement::bindValue(int index, const QVariant& value)
{
    if (!value.isValid() || value.isNull()) {
        sqlite3_bind_null(stmt_, index);
        return;
    }
    switch (value.typeId()) {
    case QMetaType::Bool:
        sqlite3_bind_int(stmt_, index, value.toBool() ? 1 : 0);
        return;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::UChar:
    case QMetaType::Long:
    case QMetaType::ULong:
        sqlite3_bind_int64(stmt_, index, value.toLongLong());
        return;
    case QMetaType::Double:
    case QMetaType::Float:
        sqlite3_bind_double(stmt_, index, value.toDouble());
        return;
    case QMetaType::QDateTime:
        bindText(index, value.toDateTime().toString(kStoredDateFormat));
        return;
    case QMetaType::QDate:
        bindText(index, value.toDate().startOfDay().toString(kStoredDateFormat));
        return;
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        sqlite3_bind_blob(stmt_, index, bytes.constData(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
        return;
    }
    default:
        bindText(index, value.toString());
    }
}

bool NativeStatement::step()
{
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    throw EngineError(describeFailure(db_, sqlite3_extended_errcode(db_)).toStdString());
}

int NativeStatement::columnCount() const { return sqlite3_column_count(stmt_); }

QString NativeStatement::columnText(int column) const
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return QString::fromUtf8(text, sqlite3_column_bytes(stmt_, column));
}

void runNative(sqlite3* db, const QString& sqliteText)
{
    NativeStatement st(db, sqliteText);
    while (st.step()) {
    }
}

QString quotedLiteral(const QString& text)
{
    QString doubled = text;
    doubled.replace(u'\'', QLatin1StringView("''"));
    return u'\'' + doubled + u'\'';
}

}  // namespace kelvo::engine
