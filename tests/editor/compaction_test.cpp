// Compact and repair of the open test from the editor's Administrator page.
#include "tests/editor/editor_fixture.h"
#include "tests/support/kill_points.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlQueryModel>

#include <set>

using namespace kelvo;
using kelvo::testing::EditorFixture;
using kelvo::testing::ContentsOf;
using kelvo::testing::ExpectOnlyItsPasswordOpens;
using kelvo::testing::KillStep;

namespace {

const QString kAskOthers = QStringLiteral(
    "All other users should be disconnected from Kelvo Access file before execute Compact and Repair "
    "operation!\r\n\r\nAre all other users disconnected?");
const QString kCompacted = QStringLiteral("Successfully Compact and Repair Kelvo .mdb database");

class Compaction : public EditorFixture {
protected:
    // Many runs written and most of them deleted again leave free pages behind.
    static void LeaveFreePages()
    {
        const QString padding = QString(2000, QLatin1Char('x'));
        engine::Transaction transaction(Form1->con);
        for (int id = 1; id <= 300; ++id)
            ExecSQL(QStringLiteral("insert into datac (id, username) values (%1, 'u%1');").arg(id));
        for (int id = 1; id <= 200; ++id)
            ExecSQL(QStringLiteral("insert into items (id, caption) values (%1, %2);").arg(id + 1).arg(SqlQuote(padding)));
        ExecSQL("delete from items where id > 20;");
        ExecSQL("delete from datac where id > 10;");
        transaction.commit();
    }

    // The Compact button stands on the Administrator page, which is usable while the test
    // is unlocked for editing.
    void Compact(bool yes = true)
    {
        if (!Form3->PageControl->isEnabled())
            Form3->ShowLockLook(true);
        script.answerQuestion(yes);
        Form3->Speed8->click();
    }
};

TEST_F(Compaction, TheTestBecomesSmallerOrEqualKeepsEveryRowAndItsPasswordAndABackupStays)
{
    const QString path = NewTest(QStringLiteral("big test.mdb"));
    LeaveFreePages();
    Form1->con.close();
    const qint64 sizeBefore = QFileInfo(path).size();
    const QStringList before = ContentsOf(path);
    Form1->con.open();

    Compact();
    const QString backup = dir.filePath("big test_backup.mdb");
    EXPECT_EQ(script.texts(),
              (QStringList{kAskOthers,
                           "Kelvo will try to Compact and Repair Access database file! If something goes wrong your "
                           "\"old\" Access database file is saved in: "
                               + backup,
                           kCompacted}));
    // The test is open again, shared, and the editor shows it.
    EXPECT_TRUE(Form1->con.isOpen());
    EXPECT_EQ(Session::current().testFile, path);
    EXPECT_FALSE(Form1->con.connectionString().contains("Mode="));
    EXPECT_EQ(Form3->qitems->rowCount(), 20);

    Form1->con.close();
    EXPECT_LT(QFileInfo(path).size(), sizeBefore);
    EXPECT_EQ(ContentsOf(path), before);
    EXPECT_EQ(ContentsOf(backup), before);
    engine::Connection wrong;
    EXPECT_THROW(OpenDirectly(wrong, path, QStringLiteral("guess")), engine::EngineError);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("tmp_big test.mdb")));

    // A second compaction keeps the first backup and numbers its own.
    Form1->con.open();
    script.clear();
    Compact();
    EXPECT_EQ(script.lastText(), kCompacted);
    EXPECT_TRUE(QFileInfo::exists(backup));
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("big test_backup2.mdb")));
    Form1->con.close();
    EXPECT_EQ(ContentsOf(path), before);
}

TEST_F(Compaction, WithoutAnOpenTestOrWithoutYesNothingHappens)
{
    Form3->ShowLockLook(true);
    Form3->Speed8->click();
    EXPECT_EQ(script.lastText(),
              "There is no active (open) database connection!\r\n\r\nIf you want to Compact & Repair database you "
              "have to be connected with some Kelvo.mdb Access database file!");
    script.clear();

    const QString path = NewTest();
    Form1->con.close();
    const QByteArray before = Bytes(path);
    Form1->con.open();
    Compact(false);
    EXPECT_EQ(script.texts(), QStringList{kAskOthers});
    Form1->con.close();
    EXPECT_EQ(Bytes(path), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"t.mdb"});
}

TEST_F(Compaction, ATemporaryNameThatCannotBeFreedAbortsBeforeAnythingChanges)
{
    const QString path = NewTest();
    const QString temp = dir.filePath("tmp_t.mdb");
    ASSERT_TRUE(QDir().mkpath(temp + "/inside"));
    Form1->con.close();
    const QByteArray before = Bytes(path);
    Form1->con.open();

    Compact();
    EXPECT_EQ(script.lastText(), "Kelvo couldn't delete file: " + temp
                                     + "\r\n\r\nYou have to delete this file in Windows explorer or other "
                                       "program!\r\n\r\nCompact and Repair operation is aborted!");
    EXPECT_TRUE(Form1->con.isOpen());
    Form1->con.close();
    EXPECT_EQ(Bytes(path), before);
}

TEST_F(Compaction, AFolderThatCannotBeWrittenLeavesTheTestUntouchedAndSaysSo)
{
    const QString folder = dir.filePath("shared");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString path = NewTest(QStringLiteral("shared/t.mdb"));
    LeaveFreePages();
    Form1->con.close();
    const QByteArray before = Bytes(path);
    Form1->con.open();
    ASSERT_TRUE(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));

    Compact();
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    for (const QString& text : script.texts())
        EXPECT_NE(text, kCompacted);
    ASSERT_GE(script.shown().size(), 2u);
    EXPECT_NE(script.shown().back().kind, MessageKind::Information) << script.lastText().toStdString();
    EXPECT_EQ(Bytes(path), before);
    EXPECT_FALSE(QFileInfo::exists(folder + "/tmp_t.mdb"));
    // A test that cannot be written to is not left open with its account logged in.
    EXPECT_FALSE(Form1->con.isOpen());
    EXPECT_FALSE(Session::current().permissions.has_value());
}

// A test whose password was removed (as a compaction cut short by an older version
// left it) opens with any password; compacting it gives it its password again, and the
// compaction after that works too.
TEST_F(Compaction, ATestWithoutItsPasswordGetsItBack)
{
    const QString path = NewTest();
    Form1->con.close();
    {
        engine::Connection exclusive;
        exclusive.setConnectionString(QStringLiteral("Data Source=%1;Jet OLEDB:Database Password=%2;Mode=Share Deny "
                                                     "Read|Share Deny Write;")
                                          .arg(path, kDatabasePassword));
        exclusive.open();
        exclusive.execute(QStringLiteral("ALTER DATABASE PASSWORD null %1;").arg(kDatabasePassword));
    }
    const QStringList before = ContentsOf(path);
    Form1->con.open();

    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE(round);
        script.clear();
        Compact();
        EXPECT_EQ(script.lastText(), kCompacted) << script.texts().join(" | ").toStdString();
        EXPECT_TRUE(Form1->con.isOpen());
        Form1->con.close();
        ExpectOnlyItsPasswordOpens(path);
        EXPECT_EQ(ContentsOf(path), before);
        Form1->con.open();
    }
}

// The child's side of the test below, run only in a process of its own: opens the test
// its environment names and compacts it, killed at the step named there.
TEST_F(Compaction, DISABLED_CompactsTheGivenTestUntilKilled)
{
    kelvo::testing::KillStepInChild kill;
    if (kill.file().isEmpty())
        GTEST_SKIP() << "run by the kill test in a process of its own";
    ClickOpen(kill.file());
    ASSERT_TRUE(Form1->con.isOpen()) << script.texts().join(" | ").toStdString();
    script.clear();
    kill.arm(script);
    Compact();
    EXPECT_EQ(script.lastText(), kCompacted) << script.texts().join(" | ").toStdString();
}

// Killed at any step of a compaction, the program leaves the old test or the compacted
// one, whole and with its password, and the next compaction works.
TEST_F(Compaction, KilledAtAnyStepLeavesTheTestWholeWithItsPassword)
{
    const QString original = NewTest();
    LeaveFreePages();
    Form1->con.close();
    const QStringList before = ContentsOf(original);

    // The compacted copy is the only other file SQLite writes: the backup is a plain copy.
    const QString copy = QStringLiteral("^(?!t\\.mdb).*");
    const struct {
        KillStep step;
        bool reached;  // whether a sound compaction passes the step
    } cases[] = {
        {{"box", "All other users should be disconnected", 1}, true},
        {{"box", "Kelvo will try to Compact", 1}, true},
        {{"write", copy, 1}, true},  // the copy begun
        {{"write", copy, 4}, true},  // the copy half written
        {{"sync", copy, 1}, true},   // the copy whole, not yet in the test's place
        {{"delete", "t\\.mdb-journal", 1}, false},  // a change to the test itself committed
        {{"box", "Successfully Compact and Repair", 1}, true},
    };
    const qint64 originalSize = QFileInfo(original).size();
    std::set<bool> compactedByTheChild;
    int number = 0;
    for (const auto& [step, reached] : cases) {
        SCOPED_TRACE(step.text().toStdString());
        const QString folder = dir.filePath(QStringLiteral("case%1").arg(++number));
        ASSERT_TRUE(QDir().mkpath(folder));
        const QString path = folder + QStringLiteral("/t.mdb");
        ASSERT_TRUE(QFile::copy(original, path));

        const bool killed = kelvo::testing::RunKilledAt(
            QStringLiteral("Compaction.DISABLED_CompactsTheGivenTestUntilKilled"), path, step,
            dir.filePath(QStringLiteral("child%1").arg(number)));
        if (reached) {
            EXPECT_TRUE(killed) << "the step was never reached";
        }
        ExpectOnlyItsPasswordOpens(path);
        EXPECT_EQ(ContentsOf(path), before);
        compactedByTheChild.insert(QFileInfo(path).size() < originalSize);

        // The next compaction, in this process, finds the test as it should be.
        script.clear();
        ClickOpen(path);
        ASSERT_TRUE(Form1->con.isOpen()) << script.texts().join(" | ").toStdString();
        script.clear();
        Compact();
        EXPECT_EQ(script.lastText(), kCompacted) << script.texts().join(" | ").toStdString();
        Form1->con.close();
        ExpectOnlyItsPasswordOpens(path);
        EXPECT_EQ(ContentsOf(path), before);
    }
    // Some kills left the old test, some the compacted one.
    EXPECT_EQ(compactedByTheChild, (std::set<bool>{false, true}));
}

}  // namespace
