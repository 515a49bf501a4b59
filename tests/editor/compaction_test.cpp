// Compact and repair of the open test from the editor's Administrator page.
#include "tests/editor/editor_fixture.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlQueryModel>

using namespace kelvo;
using kelvo::testing::EditorFixture;

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

    static QStringList Contents(engine::Connection& connection)
    {
        QStringList lines;
        for (const QString& table : connection.tableNames()) {
            const engine::ResultSet rows = connection.select(QStringLiteral("select * from %1;").arg(table));
            for (const auto& row : rows.rows) {
                QStringList cells;
                for (const QVariant& cell : row)
                    cells << (cell.isNull() ? QStringLiteral("<null>") : CellText(cell));
                lines << table + QLatin1Char(':') + cells.join(QLatin1Char('|'));
            }
        }
        return lines;
    }

    QStringList ContentsOf(const QString& path)
    {
        engine::Connection connection;
        OpenDirectly(connection, path);
        return Contents(connection);
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

}  // namespace
