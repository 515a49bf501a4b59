#include "engine/connection.h"

#include "engine/connection_string.h"
#include "engine/database_password.h"
#include "engine/export/export_support.h"
#include "engine/sqlite_call.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <fcntl.h>
#include <unistd.h>

namespace kelvo::engine {
namespace {

[[noreturn]] void fail(const QString& message) { throw EngineError(message.toStdString()); }

// A short hidden name beside `target` for the file being written (SQLite creates it).
exporting::TemporaryBeside temporaryBeside(const QString& target)
{
    return {std::filesystem::path(QFile::encodeName(QFileInfo(target).absoluteFilePath()).toStdString()),
            exporting::TemporaryBeside::Reserve::NameOnly};
}

QString pathText(const exporting::TemporaryBeside& temporary) { return QFile::decodeName(temporary.path().c_str()); }

const QString kJournalSuffix = QStringLiteral("-journal");

void removeWithJournal(const QString& path)
{
    QFile::remove(path);
    QFile::remove(path + kJournalSuffix);
}

// Gives `from` the name `to` unless a file of that name appeared meanwhile.
bool renameWithoutReplacing(const QString& from, const QString& to)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return false;
    // File systems without RENAME_NOREPLACE: a hard link fails as well when `to` exists.
    if (::link(source.constData(), target.constData()) == 0) {
        ::unlink(source.constData());
        return true;
    }
    if (errno == EEXIST || QFileInfo::exists(to))
        return false;
    return ::rename(source.constData(), target.constData()) == 0;
}

void syncFile(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

void requireFreeTarget(const QString& path)
{
    if (path.trimmed().isEmpty())
        fail(QStringLiteral("No file name is given."));
    const QFileInfo info(path);
    if (info.exists() || info.isSymLink())
        fail(QStringLiteral("The file \"%1\" already exists.").arg(path));
    if (!info.absoluteDir().exists())
        fail(QStringLiteral("The folder of \"%1\" does not exist.").arg(path));
    // SQLite writes its journal beside the file under the file's name with "-journal"
    // added: a name that leaves no room for it could be created but never written.
    const long longestName = ::pathconf(QFile::encodeName(info.absolutePath()).constData(), _PC_NAME_MAX);
    const qsizetype nameBytes = QFile::encodeName(info.fileName()).size();
    if (longestName > 0 && nameBytes + kJournalSuffix.size() > longestName)
        fail(QStringLiteral("The name of the file \"%1\" is too long: it has %2 bytes, and a test file's name can have "
                            "at most %3, since the database writes its journal beside it under the name with "
                            "\"-journal\" added.")
                 .arg(path)
                 .arg(nameBytes)
                 .arg(longestName - static_cast<long>(kJournalSuffix.size())));
}

class NativeDatabase {
public:
    // A failure names `shownAs`, the file the person chose.
    NativeDatabase(const QString& path, const QString& shownAs)
    {
        const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db_,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_EXCLUSIVE, nullptr);
        if (rc != SQLITE_OK)
            fail(QStringLiteral("The file \"%1\" could not be created: %2").arg(shownAs, describeFailure(db_, rc)));
        sqlite3_extended_result_codes(db_, 1);
    }
    ~NativeDatabase() { sqlite3_close_v2(db_); }
    NativeDatabase(const NativeDatabase&) = delete;
    NativeDatabase& operator=(const NativeDatabase&) = delete;
    sqlite3* handle() const { return db_; }

private:
    sqlite3* db_ = nullptr;
};

// Gives the compacted copy at `path` the password when it carries none, in one
// transaction: a source whose password was removed comes out protected again.
void protectWithPassword(const QString& path, const QString& password)
{
    if (password.isEmpty())
        return;
    sqlite3* opened = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &opened, SQLITE_OPEN_READWRITE, nullptr);
    const std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(opened, sqlite3_close_v2);
    if (rc != SQLITE_OK)
        fail(QStringLiteral("The compacted file \"%1\" could not be opened: %2").arg(path, describeFailure(db.get(), rc)));
    sqlite3_extended_result_codes(db.get(), 1);
    if (hasDatabasePassword(db.get()))
        return;
    runNative(db.get(), QStringLiteral("BEGIN IMMEDIATE"));
    writeDatabasePassword(db.get(), password);
    runNative(db.get(), QStringLiteral("COMMIT"));
}

QString connectionStringFor(const QString& path, const QString& password)
{
    return QStringLiteral("Data Source=%1;Jet OLEDB:Database Password=%2;")
        .arg(connectionStringValue(path), connectionStringValue(password));
}

}  // namespace

void createDatabase(const QString& path, const QString& password)
{
    requireFreeTarget(path);
    const exporting::TemporaryBeside reserved = temporaryBeside(path);
    const QString temporary = pathText(reserved);
    try {
        {
            NativeDatabase file(temporary, path);
            runNative(file.handle(), QStringLiteral("PRAGMA journal_mode = DELETE"));
            // "KLVO": marks the file as a test of this program for tools that read it.
            runNative(file.handle(), QStringLiteral("PRAGMA application_id = 1263289935"));
            runNative(file.handle(), QStringLiteral("BEGIN"));
            writeDatabasePassword(file.handle(), password);
            runNative(file.handle(), QStringLiteral("COMMIT"));
        }
        if (!renameWithoutReplacing(temporary, path))
            fail(QStringLiteral("The file \"%1\" could not be created (%2).")
                     .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    } catch (...) {
        removeWithJournal(temporary);
        throw;
    }
}

void compactDatabase(const QString& sourcePath, const QString& destPath, const QString& password)
{
    if (!QFileInfo::exists(sourcePath))
        fail(QStringLiteral("The file \"%1\" does not exist.").arg(sourcePath));
    requireFreeTarget(destPath);
    const exporting::TemporaryBeside reserved = temporaryBeside(destPath);
    const QString temporary = pathText(reserved);
    try {
        {
            Connection source;
            source.setConnectionString(connectionStringFor(sourcePath, password));
            source.open();
            source.vacuumInto(temporary);
        }
        protectWithPassword(temporary, password);
        syncFile(temporary);
        if (!renameWithoutReplacing(temporary, destPath))
            fail(QStringLiteral("The compacted file \"%1\" could not be written (%2).")
                     .arg(destPath, QString::fromLocal8Bit(std::strerror(errno))));
    } catch (const EngineError& e) {
        removeWithJournal(temporary);
        // The person chose the compacted file's name, not the hidden one written first.
        throw EngineError(e.message().replace(temporary, destPath).toStdString());
    } catch (...) {
        removeWithJournal(temporary);
        throw;
    }
}

}  // namespace kelvo::engine
