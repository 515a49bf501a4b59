#pragma once
// The program killed at a chosen step of its work. A test runs this test program again
// as a child with the step named in its environment; the child does the work as a
// person would and dies (SIGKILL, nothing cleaned up) the moment it reaches the step.
// The test then looks at what the child left behind.
//
// A step is written "<event>:<file name pattern>:<n>":
//   box:<text>:1         a message box whose text begins with <text> is shown
//   write:<regex>:<n>    before the n-th write into a file whose name matches <regex>
//   sync:<regex>:<n>     right after the n-th sync of such a file
//   delete:<regex>:<n>   right after the n-th removal of such a file (a journal removed
//                        is a transaction committed)
// Writes, syncs and removals are those of SQLite, seen through a file layer of this
// header's own that the child puts under every connection.

#include "data/schema.h"
#include "engine/connection.h"
#include "model/messages.h"
#include "model/values.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QString>

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace kelvo::testing {

inline constexpr char kKillStepVariable[] = "KELVO_KILL_STEP";
inline constexpr char kKillFileVariable[] = "KELVO_KILL_FILE";  // the test file the child works on

struct KillStep {
    QString event;  // empty: none named
    QString pattern;
    int count = 1;

    static KillStep parse(const QString& text)
    {
        const qsizetype first = text.indexOf(QLatin1Char(':'));
        const qsizetype last = text.lastIndexOf(QLatin1Char(':'));
        if (first < 0 || last <= first)
            return {};
        return {text.left(first), text.mid(first + 1, last - first - 1), text.mid(last + 1).toInt()};
    }
    QString text() const { return event + QLatin1Char(':') + pattern + QLatin1Char(':') + QString::number(count); }
};

[[noreturn]] inline void DieNow()
{
    ::kill(::getpid(), SIGKILL);
    ::_exit(99);  // never reached
}

// The child's side: the file layer that counts SQLite's writes, syncs and removals and
// kills the process at the named one.
class KillingFileLayer {
public:
    static void arm() { instance().armed_ = true; }

    static void install(const KillStep& step)
    {
        KillingFileLayer& layer = instance();
        layer.step_ = step;
        layer.names_.setPattern(step.pattern);
        layer.real_ = sqlite3_vfs_find(nullptr);
        layer.vfs_ = *layer.real_;
        layer.vfs_.zName = "kelvo_killing";
        layer.vfs_.szOsFile = static_cast<int>(sizeof(File)) + layer.real_->szOsFile;
        layer.vfs_.pNext = nullptr;
        layer.vfs_.xOpen = &Open;
        layer.vfs_.xDelete = &Delete;
        layer.Forward();
        sqlite3_vfs_register(&layer.vfs_, 1);
    }

private:
    struct File {
        sqlite3_file base;
        sqlite3_file* real;
        bool watched;
    };

    static KillingFileLayer& instance()
    {
        static KillingFileLayer layer;
        return layer;
    }

    static sqlite3_file* real(sqlite3_file* file) { return reinterpret_cast<File*>(file)->real; }

    bool watches(const char* path) const
    {
        return path && names_.match(QFileInfo(QString::fromUtf8(path)).fileName()).hasMatch();
    }
    // Counts an event of the named kind on a watched file; true when it is the one.
    bool reached(const char* event)
    {
        return armed_ && step_.event == QLatin1String(event) && ++seen_ == step_.count;
    }

    static int Open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags)
    {
        KillingFileLayer& layer = instance();
        File* own = reinterpret_cast<File*>(file);
        own->real = reinterpret_cast<sqlite3_file*>(own + 1);
        own->watched = layer.watches(name);
        own->base.pMethods = nullptr;
        const int rc = layer.real_->xOpen(layer.real_, name, own->real, flags, outFlags);
        if (own->real->pMethods)
            own->base.pMethods = &layer.methods_;
        return rc;
    }

    static int Delete(sqlite3_vfs*, const char* name, int syncDir)
    {
        KillingFileLayer& layer = instance();
        const int rc = layer.real_->xDelete(layer.real_, name, syncDir);
        if (layer.watches(name) && layer.reached("delete"))
            DieNow();
        return rc;
    }

    // Every method hands the call to the real file; writes and syncs are counted first.
    void Forward()
    {
        methods_.xClose = [](sqlite3_file* f) {
            sqlite3_file* r = real(f);
            const int rc = r->pMethods->xClose(r);
            f->pMethods = nullptr;
            return rc;
        };
        methods_.xRead = [](sqlite3_file* f, void* b, int n, sqlite3_int64 o) {
            return real(f)->pMethods->xRead(real(f), b, n, o);
        };
        methods_.xWrite = [](sqlite3_file* f, const void* b, int n, sqlite3_int64 o) {
            if (reinterpret_cast<File*>(f)->watched && instance().reached("write"))
                DieNow();
            return real(f)->pMethods->xWrite(real(f), b, n, o);
        };
        methods_.xTruncate = [](sqlite3_file* f, sqlite3_int64 s) { return real(f)->pMethods->xTruncate(real(f), s); };
        methods_.xSync = [](sqlite3_file* f, int flags) {
            const int rc = real(f)->pMethods->xSync(real(f), flags);
            if (reinterpret_cast<File*>(f)->watched && instance().reached("sync"))
                DieNow();
            return rc;
        };
        methods_.xFileSize = [](sqlite3_file* f, sqlite3_int64* s) { return real(f)->pMethods->xFileSize(real(f), s); };
        methods_.xLock = [](sqlite3_file* f, int l) { return real(f)->pMethods->xLock(real(f), l); };
        methods_.xUnlock = [](sqlite3_file* f, int l) { return real(f)->pMethods->xUnlock(real(f), l); };
        methods_.xCheckReservedLock = [](sqlite3_file* f, int* r) {
            return real(f)->pMethods->xCheckReservedLock(real(f), r);
        };
        methods_.xFileControl = [](sqlite3_file* f, int op, void* a) {
            return real(f)->pMethods->xFileControl(real(f), op, a);
        };
        methods_.xSectorSize = [](sqlite3_file* f) { return real(f)->pMethods->xSectorSize(real(f)); };
        methods_.xDeviceCharacteristics = [](sqlite3_file* f) {
            return real(f)->pMethods->xDeviceCharacteristics(real(f));
        };
        // Version 1: no shared memory and no memory mapping, as the engine keeps a
        // rollback journal and reads through the file.
        methods_.iVersion = 1;
    }

    KillStep step_;
    QRegularExpression names_;
    bool armed_ = false;
    int seen_ = 0;
    sqlite3_vfs* real_ = nullptr;
    sqlite3_vfs vfs_{};
    sqlite3_io_methods methods_{};
};

// The child's side, for the step its environment names. Made before any connection
// opens (the file layer stands under the connections opened after it); counts nothing
// until armed, so that what the child does to get ready is not counted.
class KillStepInChild {
public:
    KillStepInChild() : step_(KillStep::parse(qEnvironmentVariable(kKillStepVariable)))
    {
        if (!step_.event.isEmpty() && step_.event != QLatin1String("box"))
            KillingFileLayer::install(step_);
    }
    // The test file to work on; empty when this process is no child.
    QString file() const { return qEnvironmentVariable(kKillFileVariable); }
    // From here on the step kills: a box is watched for in `script`.
    void arm(DialogScript& script)
    {
        if (step_.event == QLatin1String("box"))
            script.onShown([prefix = step_.pattern](const ShownMessage& message) {
                if (message.text.startsWith(prefix))
                    DieNow();
            });
        else if (!step_.event.isEmpty())
            KillingFileLayer::arm();
    }

private:
    KillStep step_;
};

// The parent's side: runs the disabled test `childTest` of this program ("Suite.DISABLED_Name")
// on `file` with `step` named. True when the child was killed at the step, false when
// it ran to its end without reaching it; a child that failed otherwise fails the test.
inline bool RunKilledAt(const QString& childTest, const QString& file, const KillStep& step, const QString& scratch)
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QDir().mkpath(scratch);
    // The child's own temporary folders and data stand inside the test's, so that what
    // a killed child leaves is removed with them.
    environment.insert(QStringLiteral("TMPDIR"), scratch);
    environment.insert(QStringLiteral("XDG_DATA_HOME"), scratch);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QString::fromLatin1(kKillStepVariable), step.text());
    environment.insert(QString::fromLatin1(kKillFileVariable), file);
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=") + childTest, QStringLiteral("--gtest_also_run_disabled_tests")});
    if (!child.waitForStarted(5000) || !child.waitForFinished(60000)) {
        child.kill();
        child.waitForFinished(5000);
        ADD_FAILURE() << "the child did not end: " << step.text().toStdString();
        return false;
    }
    const QByteArray output = child.readAll();
    if (child.exitStatus() == QProcess::CrashExit)
        return true;
    EXPECT_EQ(child.exitCode(), 0) << step.text().toStdString() << "\n" << output.toStdString();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
    return false;
}

// What a killed child left is looked at through connections of the test's own.
inline std::unique_ptr<engine::Connection> OpenFile(const QString& path, const QString& password = kDatabasePassword)
{
    auto connection = std::make_unique<engine::Connection>();
    connection->setConnectionString(
        QStringLiteral("Data Source=%1;Jet OLEDB:Database Password=%2;").arg(path, password));
    connection->open();
    return connection;
}

// The file opens with the program's password and refuses any other.
inline void ExpectOnlyItsPasswordOpens(const QString& path)
{
    EXPECT_THROW(OpenFile(path, QStringLiteral("guess")), engine::EngineError) << "opens with any password";
    EXPECT_NO_THROW(OpenFile(path));
}

// Every row of `tables` (all of the file's when none are named), one line per row.
inline QStringList Contents(engine::Connection& connection, QStringList tables = {})
{
    if (tables.isEmpty())
        tables = connection.tableNames();
    QStringList lines;
    for (const QString& table : tables) {
        const engine::ResultSet rows = connection.select(QStringLiteral("select * from %1 order by 1;").arg(table));
        for (const auto& row : rows.rows) {
            QStringList cells;
            for (const QVariant& cell : row)
                cells << (cell.isNull() ? QStringLiteral("<null>") : CellText(cell));
            lines << table + QLatin1Char(':') + cells.join(QLatin1Char('|'));
        }
    }
    return lines;
}

inline QStringList ContentsOf(const QString& path, const QStringList& tables = {})
{
    return Contents(*OpenFile(path), tables);
}

}  // namespace kelvo::testing
