// Opening, creating and compacting files: bad input gives a clear message and leaves
// the file as it was; exclusive and shared opening across connections and processes.

#include "engine/connection_string.h"
#include "tests/engine/engine_fixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QThread>

#include <sqlite3.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <unistd.h>

namespace kelvo::engine::testing {
namespace {

// The test program doubles as a second process that uses a file: with
// KELVO_ENGINE_HOLD it opens the file exclusively, says "held" and keeps it until its
// input closes; with KELVO_ENGINE_OPEN it opens the file shared, runs KELVO_ENGINE_SQL
// and says "ok <count>" or "error: <message>".
int runAsSecondProcessWhenAsked()
{
    const QString holdPath = qEnvironmentVariable("KELVO_ENGINE_HOLD");
    const QString openPath = qEnvironmentVariable("KELVO_ENGINE_OPEN");
    if (holdPath.isEmpty() && openPath.isEmpty())
        return 0;
    int argc = 1;
    char name[] = "engine-helper";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    int status = 0;
    {
        Connection connection;
        try {
            if (!holdPath.isEmpty()) {
                connection.setConnectionString(connectionString(holdPath, QString::fromLatin1(kTestPassword), true));
                connection.open();
                std::printf("held\n");
                std::fflush(stdout);
                char buffer[64];
                while (::read(0, buffer, sizeof buffer) > 0) {
                }
            } else {
                connection.setConnectionString(connectionString(openPath));
                connection.open();
                const QString sql = qEnvironmentVariable("KELVO_ENGINE_SQL");
                const int count = sql.isEmpty() ? 0 : connection.execute(sql);
                std::printf("ok %d\n", count);
            }
        } catch (const EngineError& e) {
            std::printf("error: %s\n", e.what());
            status = 2;
        }
        std::fflush(stdout);
    }
    std::_Exit(status);
}

[[maybe_unused]] const int secondProcess = runAsSecondProcessWhenAsked();

std::unique_ptr<QProcess> startSecondProcess(const char* variable, const QString& path, const QString& sql = {})
{
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(variable), path);
    if (!sql.isEmpty())
        environment.insert(QStringLiteral("KELVO_ENGINE_SQL"), sql);
    process->setProcessEnvironment(environment);
    process->start(QCoreApplication::applicationFilePath(), {});
    return process;
}

QString finishedOutput(QProcess& process)
{
    process.closeWriteChannel();
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// Runs `sql` on `path` (made when missing) as another SQLite program would, past the
// engine.
void runOutsideTheEngine(const QString& path, const char* sql)
{
    sqlite3* db = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    ASSERT_EQ(sqlite3_open_v2(QFile::encodeName(path).constData(), &db, flags, nullptr), SQLITE_OK);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
}

class FileOpening : public EngineFileTest {
public:
    // The test file with one question, closed.
    void makeTestFile()
    {
        Connection connection;
        createTestFile(connection);
        connection.execute("insert into items (id, caption) values (1, 'First');");
    }

    QStringList folderEntries() const
    {
        return QDir(folder_.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
};

TEST_F(FileOpening, BadFilesFailAtConnectWithAClearMessageAndStayUnchanged)
{
    struct Case {
        const char* what;
        std::function<void(FileOpening&)> prepare;
        QString password;
        const char* messagePart;
    };
    const QString password = QString::fromLatin1(kTestPassword);
    const std::vector<Case> cases{
        {"missing file", [](FileOpening&) {}, password, "does not exist"},
        {"text file named .mdb",
         [](FileOpening& t) {
             QFile file(t.testFile());
             ASSERT_TRUE(file.open(QIODevice::WriteOnly));
             for (int i = 0; i < 200; ++i)
                 file.write("This is a plain text file, not a database.\n");
         },
         password, "not a database"},
        {"empty file",
         [](FileOpening& t) {
             QFile file(t.testFile());
             ASSERT_TRUE(file.open(QIODevice::WriteOnly));
         },
         password, "empty"},
        {"truncated database",
         [](FileOpening& t) {
             t.makeTestFile();
             QFile file(t.testFile());
             ASSERT_TRUE(file.resize(file.size() / 2));
         },
         password, "damaged"},
        {"wrong password", [](FileOpening& t) { t.makeTestFile(); }, QStringLiteral("wrong"), "Not a valid password"},
        {"no password given", [](FileOpening& t) { t.makeTestFile(); }, QString(), "Not a valid password"},
        {"password record dropped",
         [](FileOpening& t) {
             t.makeTestFile();
             runOutsideTheEngine(t.testFile(), "DROP TABLE kelvo_password");
         },
         password, "password of"},
        {"password record emptied",
         [](FileOpening& t) {
             t.makeTestFile();
             runOutsideTheEngine(t.testFile(), "DELETE FROM kelvo_password");
         },
         password, "is missing"},
        {"database of another program",
         [](FileOpening& t) { runOutsideTheEngine(t.testFile(), "CREATE TABLE items (id INTEGER)"); }, password,
         "is missing"},
        {"read-only file",
         [](FileOpening& t) {
             t.makeTestFile();
             ASSERT_TRUE(QFile::setPermissions(t.testFile(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
         },
         password, "read-only"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir fresh;
        folder_.swap(fresh);
        c.prepare(*this);
        const bool existed = QFileInfo::exists(testFile());
        const QByteArray before = fileBytes(testFile());
        const QStringList entries = folderEntries();
        Connection connection;
        connection.setConnectionString(connectionString(testFile(), c.password));
        try {
            connection.open();
            ADD_FAILURE() << "opened";
        } catch (const EngineError& e) {
            EXPECT_TRUE(e.message().contains(QLatin1String(c.messagePart), Qt::CaseInsensitive))
                << e.message().toStdString();
        }
        EXPECT_FALSE(connection.isOpen());
        EXPECT_EQ(QFileInfo::exists(testFile()), existed);
        EXPECT_EQ(fileBytes(testFile()), before);
        EXPECT_EQ(folderEntries(), entries);
        QFile::setPermissions(testFile(), QFile::ReadOwner | QFile::WriteOwner);
    }
}

TEST_F(FileOpening, ExclusiveOpeningKeepsOtherConnectionsOut)
{
    makeTestFile();
    const QByteArray before = fileBytes(testFile());
    {
        Connection holder;
        holder.setConnectionString(connectionString(testFile(), QString::fromLatin1(kTestPassword), true));
        holder.open();
        Connection other;
        other.setConnectionString(connectionString(testFile()));
        try {
            other.open();
            ADD_FAILURE() << "opened beside an exclusive connection";
        } catch (const EngineError& e) {
            EXPECT_TRUE(e.message().contains(QLatin1String("already in use"))) << e.message().toStdString();
        }
        EXPECT_FALSE(other.isOpen());
        // The holder itself works on.
        EXPECT_EQ(holder.select("select caption from items").rows[0][0].toString(), "First");

        auto process = startSecondProcess("KELVO_ENGINE_OPEN", testFile());
        const QString answer = finishedOutput(*process);
        EXPECT_TRUE(answer.startsWith(u"error:") && answer.contains(u"already in use")) << answer.toStdString();
    }
    EXPECT_EQ(fileBytes(testFile()), before);

    auto holderProcess = startSecondProcess("KELVO_ENGINE_HOLD", testFile());
    ASSERT_TRUE(holderProcess->waitForReadyRead(30000));
    ASSERT_EQ(QString::fromUtf8(holderProcess->readLine()).trimmed(), "held");
    Connection other;
    other.setConnectionString(connectionString(testFile()));
    try {
        other.open();
        ADD_FAILURE() << "opened beside an exclusive process";
    } catch (const EngineError& e) {
        EXPECT_TRUE(e.message().contains(QLatin1String("already in use"))) << e.message().toStdString();
    }
    finishedOutput(*holderProcess);
    EXPECT_EQ(fileBytes(testFile()), before);
    other.open();  // free again once the holder has gone
    EXPECT_TRUE(other.isOpen());
}

TEST_F(FileOpening, SharedOpeningLetsConnectionsAndProcessesWorkTogether)
{
    makeTestFile();
    Connection first;
    Connection second;
    first.setConnectionString(connectionString(testFile()));
    second.setConnectionString(connectionString(testFile()));
    first.open();
    second.open();
    EXPECT_EQ(second.execute("insert into items (id, caption) values (2, 'Second')"), 1);
    EXPECT_EQ(first.select("select id from items").rowCount(), 2);

    // A writer in another process waits for this one's transaction instead of failing.
    first.beginTransaction();
    first.execute("insert into items (id, caption) values (3, 'Third')");
    auto process = startSecondProcess("KELVO_ENGINE_OPEN", testFile(),
                                      QStringLiteral("insert into items (id, caption) values (4, 'Fourth')"));
    ASSERT_TRUE(process->waitForStarted());
    QThread::msleep(700);
    first.commit();
    EXPECT_EQ(finishedOutput(*process), "ok 1");
    EXPECT_EQ(second.select("select id from items").rowCount(), 4);
}

TEST_F(FileOpening, PathsMayHoldAnyCharacter)
{
    const QString odd = pathOf(QStringLiteral("odd ;#?%20 b=c 'č'.mdb"));
    createDatabase(odd, QStringLiteral("pw"));
    Connection connection;
    connection.setConnectionString(connectionString(odd, QStringLiteral("pw"), true));
    connection.open();
    EXPECT_EQ(connection.filePath(), odd);
    connection.execute("create table t ( id counter primary key, v varchar(10) )");
    EXPECT_EQ(connection.execute("insert into t (v) values ('x')"), 1);
    connection.close();
    EXPECT_EQ(folderEntries(), QStringList{QFileInfo(odd).fileName()});
}

// A file name travels into the connection string in quotes where a plain value would be
// read as more keys or lose its blanks, and the engine opens exactly that file.
TEST_F(FileOpening, ConnectionStringsCarryAnyFileNameWhole)
{
    const QString decoy = pathOf("other.mdb");
    createDatabase(decoy, QStringLiteral("pw"));
    const QString templateText = QStringLiteral("Data Source=C:\\db2.mdb;Provider=Microsoft.Jet.OLEDB.4.0;Jet "
                                                "OLEDB:Engine Type=5;Jet OLEDB:Database Password=pw;");
    const QString names[] = {"a;Mode=Share Deny None;b.mdb", "a;Data Source=other.mdb", "a;Provider=x;.mdb",
                             "ends in a blank.mdb ", " starts with one.mdb", "\"double\" and 'single'.mdb",
                             "'quoted whole'", "plain.mdb"};
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        const QString path = pathOf(name);
        createDatabase(path, QStringLiteral("pw"));
        for (const bool exclusive : {false, true}) {
            QString text = withoutMode(withDataSource(templateText, path));
            if (exclusive)
                text += QStringLiteral("Mode=Share Deny Read|Share Deny Write;");
            const ConnectionSettings settings = parseConnectionString(text);
            EXPECT_EQ(settings.dataSource, path);
            EXPECT_EQ(settings.password, "pw");
            EXPECT_EQ(settings.exclusive, exclusive);
            EXPECT_EQ(parseConnectionString(withoutMode(text)).dataSource, path);
            EXPECT_FALSE(parseConnectionString(withoutMode(text)).exclusive);
            Connection connection;
            connection.setConnectionString(text);
            connection.open();
            EXPECT_EQ(connection.filePath(), path);
            connection.execute(exclusive ? "create table opened_exclusively (id integer)"
                                         : "create table opened_shared (id integer)");
        }
        EXPECT_EQ(withDataSource(withDataSource(templateText, path), decoy), withDataSource(templateText, decoy));
    }
    EXPECT_EQ(withDataSource(templateText, pathOf("plain.mdb")),
              QString(templateText).replace("C:\\db2.mdb", pathOf("plain.mdb")));
    Connection decoyConnection;
    decoyConnection.setConnectionString(withDataSource(templateText, decoy));
    decoyConnection.open();
    EXPECT_TRUE(decoyConnection.tableNames().isEmpty());
}

// Opening and reading change nothing in a file, whatever journal mode it was left in by
// another program: a file refused after a look at its tables stays as it was. The
// program's own mode comes with the first write.
TEST_F(FileOpening, OnlyTheFirstWriteSetsTheJournalMode)
{
    makeTestFile();
    runOutsideTheEngine(testFile(), "PRAGMA journal_mode = WAL");
    const QByteArray before = fileBytes(testFile());
    ASSERT_EQ(before.mid(18, 2), QByteArray("\x02\x02"));
    const QStringList entries = folderEntries();
    for (const bool exclusive : {false, true}) {
        SCOPED_TRACE(exclusive);
        Connection connection;
        connection.setConnectionString(connectionString(testFile(), QString::fromLatin1(kTestPassword), exclusive));
        connection.open();
        EXPECT_EQ(connection.tableNames().size(), 9);
        EXPECT_EQ(connection.select("select count(*) from items").rows[0][0].toInt(), 1);
        connection.close();
        EXPECT_EQ(fileBytes(testFile()), before);
        EXPECT_EQ(folderEntries(), entries);
    }
    {
        Connection connection;
        connection.setConnectionString(connectionString(testFile()));
        connection.open();
        EXPECT_EQ(connection.execute("insert into items (id, caption) values (2, 'Second');"), 1);
    }
    EXPECT_EQ(fileBytes(testFile()).mid(18, 2), QByteArray("\x01\x01"));
    EXPECT_EQ(folderEntries(), entries);
    Connection connection;
    connection.setConnectionString(connectionString(testFile()));
    connection.open();
    EXPECT_EQ(connection.select("select count(*) from items").rows[0][0].toInt(), 2);
}

TEST_F(FileOpening, OpeningNeverCreatesAFile)
{
    Connection connection;
    connection.setConnectionString(connectionString(pathOf("missing.mdb")));
    EXPECT_THROW(connection.open(), EngineError);
    connection.setConnectionString(connectionString(QString()));
    EXPECT_THROW(connection.open(), EngineError);
    EXPECT_TRUE(folderEntries().isEmpty());
    EXPECT_THROW(connection.select("select 1"), EngineError);
}

TEST_F(FileOpening, DatabasePasswordIsCheckedAtEveryOpeningAndChangedOnlyExclusively)
{
    makeTestFile();
    Connection connection;
    auto opens = [&](const QString& password) {
        connection.setConnectionString(connectionString(testFile(), password));
        try {
            connection.open();
            return true;
        } catch (const EngineError&) {
            return false;
        }
    };
    EXPECT_TRUE(opens(QString::fromLatin1(kTestPassword)));
    EXPECT_FALSE(opens(QStringLiteral("qv7lm2xp_9rt4hw8kd3n")));  // letter case counts

    ASSERT_TRUE(opens(QString::fromLatin1(kTestPassword)));
    EXPECT_THROW(connection.execute("ALTER DATABASE PASSWORD other Qv7Lm2Xp_9Rt4Hw8Kd3N;"), EngineError);

    connection.setConnectionString(connectionString(testFile(), QString::fromLatin1(kTestPassword), true));
    connection.open();
    EXPECT_THROW(connection.execute("ALTER DATABASE PASSWORD other wrongold;"), EngineError);
    EXPECT_THROW(connection.execute("ALTER DATABASE PASSWORD other null;"), EngineError);
    connection.execute("ALTER DATABASE PASSWORD null Qv7Lm2Xp_9Rt4Hw8Kd3N;");
    EXPECT_TRUE(opens(QString()));
    EXPECT_TRUE(opens(QStringLiteral("anything")));  // a file without password opens with any

    connection.setConnectionString(connectionString(testFile(), QString::fromLatin1(kTestPassword), true));
    connection.open();
    connection.execute("ALTER DATABASE PASSWORD [2047_Kavor_Plim_1963] null");
    EXPECT_FALSE(opens(QString::fromLatin1(kTestPassword)));
    EXPECT_TRUE(opens(QStringLiteral("2047_Kavor_Plim_1963")));
    EXPECT_FALSE(connection.tableNames().contains(QStringLiteral("kelvo_password")));
}

TEST_F(FileOpening, CreatingAFileNeverReplacesOneAndLeavesNothingOnFailure)
{
    createDatabase(testFile(), QStringLiteral("secret"));
    Connection connection;
    connection.setConnectionString(connectionString(testFile(), QString()));
    EXPECT_THROW(connection.open(), EngineError);
    connection.setConnectionString(connectionString(testFile(), QStringLiteral("secret")));
    connection.open();
    EXPECT_TRUE(connection.tableNames().isEmpty());
    connection.close();

    const QByteArray before = fileBytes(testFile());
    EXPECT_THROW(createDatabase(testFile(), QString()), EngineError);
    EXPECT_EQ(fileBytes(testFile()), before);
    EXPECT_THROW(createDatabase(pathOf("no/such/folder/new.mdb"), QString()), EngineError);
    EXPECT_EQ(folderEntries(), QStringList{"test.mdb"});
}

TEST_F(FileOpening, CompactionWritesAWholeSmallerCopyAndKeepsTheSource)
{
    {
        Connection connection;
        createTestFile(connection);
        connection.execute("insert into items (id, caption) values (1, 'First');");
        Transaction bulk(connection);
        for (int i = 0; i < 300; ++i)
            connection.execute(QStringLiteral("insert into answers (itemid, caption) values (1, '%1')")
                                   .arg(QString(200, QChar(u'a' + i % 26))));
        bulk.commit();
        connection.execute("delete from answers where id > 2");
    }
    const QByteArray source = fileBytes(testFile());
    const QString dest = pathOf("tmp_test.mdb");
    compactDatabase(testFile(), dest, QString::fromLatin1(kTestPassword));
    EXPECT_EQ(fileBytes(testFile()), source);
    EXPECT_LT(QFileInfo(dest).size(), source.size());
    EXPECT_EQ(folderEntries(), (QStringList{"test.mdb", "tmp_test.mdb"}));

    Connection compacted;
    compacted.setConnectionString(connectionString(dest, QStringLiteral("wrong")));
    EXPECT_THROW(compacted.open(), EngineError);  // the password came along
    compacted.setConnectionString(connectionString(dest));
    compacted.open();
    EXPECT_EQ(compacted.select("select count(*) from answers").rows[0][0].toInt(), 2);
    compacted.execute("insert into answers (itemid, caption) values (1, 'after')");
    EXPECT_GT(compacted.select("select max(id) from answers").rows[0][0].toInt(), 300);
    compacted.close();

    const QByteArray compactedBytes = fileBytes(dest);
    EXPECT_THROW(compactDatabase(testFile(), dest, QString::fromLatin1(kTestPassword)), EngineError);
    EXPECT_EQ(fileBytes(dest), compactedBytes);
    EXPECT_THROW(compactDatabase(testFile(), pathOf("other.mdb"), QStringLiteral("wrong")), EngineError);
    EXPECT_THROW(compactDatabase(pathOf("missing.mdb"), pathOf("other.mdb"), QString()), EngineError);
    EXPECT_EQ(folderEntries(), (QStringList{"test.mdb", "tmp_test.mdb"}));
}

}  // namespace
}  // namespace kelvo::engine::testing
