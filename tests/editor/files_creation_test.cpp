// Creating a test with the editor's New button, then reading the file it made.
#include "model/settings_rows.h"
#include "tests/editor/editor_fixture.h"

#include <QSqlQueryModel>

#include <QDir>
#include <QFileInfo>

#include <csignal>
#include <cstdlib>
#include <set>
#include <sys/resource.h>
#include <unistd.h>

using namespace kelvo;
using kelvo::testing::EditorFixture;

namespace {

const QString kExists = QStringLiteral(
    "You can't create new Kelvo test on existing Access files!\r\n\r\nIf you want to open existing Kelvo test you "
    "should click on \"Open\" button!");

class NewButton : public EditorFixture {};

TEST_F(NewButton, AFreshPathWithBlanksQuotesAndAccentsGetsEveryTableRowKeyAndAccount)
{
    const QString path = dir.filePath(QStringLiteral("my 'first' \"Test\" ÄÖÜ čšž.mdb"));
    ClickNew(path);
    ASSERT_EQ(script.lastText(), kCreated) << script.texts().join(" | ").toStdString();
    EXPECT_EQ(script.shown().back().kind, MessageKind::Information);

    // The editor keeps the new test open, logged in as the default administrator.
    EXPECT_EQ(Session::current().testFile, path);
    EXPECT_TRUE(Form1->con.isOpen());
    EXPECT_EQ(Session::current().user, "quorv");
    EXPECT_EQ(Session::current().password, "quorv");
    ASSERT_TRUE(Session::current().permissions.has_value());
    EXPECT_EQ(*Session::current().permissions, QStringList(6, QStringLiteral("true")));
    EXPECT_TRUE(Form3->btnLock->isEnabled());
    EXPECT_TRUE(AdministratorPageShown());
    EXPECT_TRUE(Form3->btnNew->isEnabled());
    EXPECT_EQ(Form3->openDialog.fileName, path);
    // A new test starts unlocked, its pages open for editing.
    EXPECT_EQ(Form3->btnLock->property("tag").toInt(), 1);
    EXPECT_EQ(Form3->btnLock->text(), "&Unlocked");
    EXPECT_TRUE(Form3->btnLock->isChecked());
    EXPECT_TRUE(Form3->PageControl->isEnabled());
    EXPECT_EQ(SelectToVariant("select v from testd where id = 0;").text(0, 0), "false");
    EXPECT_EQ(Form3->qitems->rowCount(), 1);
    Form1->con.close();

    // Without the password the file does not open.
    engine::Connection wrong;
    EXPECT_THROW(OpenDirectly(wrong, path, QStringLiteral("another")), engine::EngineError);

    engine::Connection file;
    OpenDirectly(file, path);
    const QStringList tables = file.tableNames();
    EXPECT_EQ(std::set<QString>(tables.begin(), tables.end()),
              (std::set<QString>{"items", "answers", "variables", "formula", "userf", "keyb", "testd", "users", "datac"}));

    const engine::ResultSet users = file.select("select usr, pas, act, per0, per1, per2, per3, per4, per5 from users;");
    ASSERT_EQ(users.rowCount(), 1);
    EXPECT_EQ(users.rows[0][0].toString(), "quorv");
    EXPECT_EQ(users.rows[0][1].toString(), "quorv");
    for (int c = 2; c < 9; ++c)
        EXPECT_TRUE(users.rows[0][static_cast<std::size_t>(c)].toBool()) << c;

    const engine::ResultSet settings = file.select("select id, v, d from testd order by id;");
    ASSERT_EQ(settings.rowCount(), static_cast<int>(settingRows().size()));
    for (std::size_t i = 0; i < settingRows().size(); ++i) {
        const SettingRow& expected = settingRows()[i];
        const auto& row = settings.rows[i];
        const int id = settingNumber(expected.id);
        EXPECT_EQ(row[0].toInt(), id);
        EXPECT_EQ(row[1].isNull(), expected.defaultValue.isNull()) << id;
        EXPECT_EQ(row[1].toString(), expected.defaultValue.toString()) << id;
        EXPECT_EQ(row[2].toString(), id < 1 ? QString() : expected.description) << id;
    }

    const engine::ResultSet keys = file.select("select id, k from keyb order by id;");
    ASSERT_EQ(keys.rowCount(), 30);
    EXPECT_EQ(keys.rows[0][1].toString(), "1");
    EXPECT_EQ(keys.rows[8][1].toString(), "9");
    EXPECT_EQ(keys.rows[9][1].toString(), "a");
    EXPECT_EQ(keys.rows[29][1].toString(), "u");

    const engine::ResultSet items = file.select("select id, caption from items;");
    ASSERT_EQ(items.rowCount(), 1);
    EXPECT_EQ(items.rows[0][0].toInt(), 1);
    const engine::ResultSet answers = file.select("select itemid, caption from answers order by id;");
    ASSERT_EQ(answers.rowCount(), 2);
    EXPECT_EQ(answers.rows[0][1].toString(), "This is 1. answer on first question your test..");
    EXPECT_EQ(answers.rows[1][1].toString(), "This is 2. answer on first question your test..");
    EXPECT_EQ(file.select("select count(*) from datac;").rows[0][0].toInt(), 0);
}

TEST_F(NewButton, ANameTypedWithoutExtensionGetsMdb)
{
    ClickNew(dir.filePath("plain"));
    EXPECT_EQ(script.lastText(), kCreated);
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("plain.mdb")));
    EXPECT_EQ(Session::current().testFile, dir.filePath("plain.mdb"));
}

// A path may hold what a connection string is made of (";", "key=") and end in a blank:
// the test made is exactly the file named, and it opens again.
TEST_F(NewButton, AnyNameTheFileSystemAllowsMakesAndOpensThatFile)
{
    const QString names[] = {"a;Mode=Share Deny None;b.mdb", "a;Data Source=other.mdb", "ends in a blank.mdb "};
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        const QString path = dir.filePath(name);
        ClickNew(path);
        EXPECT_EQ(script.lastText(), kCreated) << script.texts().join(" | ").toStdString();
        EXPECT_EQ(Session::current().testFile, path);
        EXPECT_EQ(Form1->con.filePath(), path);
        script.clear();
        ClickOpen(path);
        EXPECT_TRUE(script.shown().empty()) << script.texts().join(" | ").toStdString();
        EXPECT_EQ(Session::current().testFile, path);
        EXPECT_EQ(SelectToVariant("select count(*) from items;").integer(0, 0), 1);
        script.clear();
    }
    QStringList made = QDir(dir.path()).entryList(QDir::Files);
    made.sort();
    EXPECT_EQ(made, (QStringList{"a;Data Source=other.mdb", "a;Mode=Share Deny None;b.mdb", "ends in a blank.mdb "}));
}

TEST_F(NewButton, AnExistingFileIsRefusedAndLeftAlone)
{
    const QString path = dir.filePath("other.mdb");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("a file of another program");
    }
    ClickNew(path);
    ASSERT_EQ(script.shown().size(), 1u);
    EXPECT_EQ(script.shown()[0].kind, MessageKind::Warning);
    EXPECT_EQ(script.lastText(), kExists);
    EXPECT_EQ(Bytes(path), "a file of another program");
    EXPECT_FALSE(Form1->con.isOpen());
}

TEST_F(NewButton, CancellingTheDialogOrChoosingBlanksDoesNothing)
{
    Form3->btnNew->click();  // no answer queued: the dialog is cancelled
    ClickNew(QStringLiteral("   "));
    EXPECT_TRUE(script.shown().empty());
    EXPECT_FALSE(Form1->con.isOpen());
}

TEST_F(NewButton, PathsUpTo259CharactersAreAcceptedLongerOnesRefusedWithTheirLength)
{
    // A folder deep enough that the file name brings the path to the length wanted.
    QString folder = dir.path();
    while (folder.size() < 200)
        folder += QStringLiteral("/") + QString(40, QLatin1Char('d'));
    ASSERT_TRUE(QDir().mkpath(folder));
    const auto pathOfLength = [&](int length) {
        const QString start = folder + QStringLiteral("/");
        return start + QString(length - start.size() - 4, QLatin1Char('n')) + QStringLiteral(".mdb");
    };

    const QString tooLong = pathOfLength(260);
    ClickNew(tooLong);
    ASSERT_EQ(script.shown().size(), 1u);
    EXPECT_EQ(script.shown()[0].kind, MessageKind::Error);
    EXPECT_EQ(script.lastText(),
              "In the Windows API (with some exceptions), the maximum length for a path is MAX_PATH, which is defined "
              "as 260 characters!\r\n\r\nThe length of the path of your file: 260\r\n\r\nReduce the length of the "
              "path of your file!");
    EXPECT_FALSE(QFileInfo::exists(tooLong));

    script.clear();
    const QString longest = pathOfLength(259);
    ClickNew(longest);
    EXPECT_EQ(script.lastText(), kCreated);
    EXPECT_TRUE(QFileInfo::exists(longest));
}

// The file is made under a short hidden name beside the chosen one, so a long name that
// the path limit lets through is created, and nothing else is left in the folder.
TEST_F(NewButton, ALongNameWithinThePathLimitIsCreatedWithNothingBesideIt)
{
    char pattern[] = "/tmp/kXXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const QString folder = QString::fromLatin1(pattern);
    const QString name = QString(236, QLatin1Char('n')) + QStringLiteral(".mdb");
    const QString path = folder + QStringLiteral("/") + name;
    ASSERT_LE(path.size(), 259);

    ClickNew(path);
    EXPECT_EQ(script.lastText(), kCreated) << script.texts().join(QStringLiteral(" | ")).toStdString();
    EXPECT_EQ(Session::current().testFile, path);
    EXPECT_EQ(SelectToVariant("select count(*) from items;").integer(0, 0), 1);
    Form1->con.close();
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList{name});
    QDir(folder).removeRecursively();
}

// SQLite writes its journal beside the test under the test's name with "-journal" added:
// a name without room for it is refused before anything is created, since the file could
// never be written, and the longest name with room is created and written.
TEST_F(NewButton, ANameWithoutRoomForTheJournalIsRefusedAndTheLongestWithRoomIsCreated)
{
    // A short folder, so that the path limit lets such names through.
    const QString folder = QStringLiteral("/tmp/");
    const QString unique = QStringLiteral("kelvo%1-").arg(::getpid());
    const auto nameOf = [&](int bytes) { return unique + QString(bytes - unique.size() - 4, QLatin1Char('j')) + ".mdb"; };

    const QString refused = folder + nameOf(248);
    ClickNew(refused);
    ASSERT_EQ(script.shown().size(), 1u);
    EXPECT_EQ(script.shown()[0].kind, MessageKind::Error);
    EXPECT_TRUE(script.lastText().startsWith("Error in creating .mdb file!")) << script.lastText().toStdString();
    EXPECT_TRUE(script.lastText().endsWith("The name of the file \"" + refused
                                           + "\" is too long: it has 248 bytes, and a test file's name can have at "
                                             "most 247, since the database writes its journal beside it under the name "
                                             "with \"-journal\" added."))
        << script.lastText().toStdString();
    EXPECT_TRUE(QDir(folder).entryList({unique + "*", "." + unique + "*"}, QDir::Files | QDir::Hidden).isEmpty());

    script.clear();
    const QString longest = folder + nameOf(247);
    ClickNew(longest);
    EXPECT_EQ(script.lastText(), kCreated) << script.texts().join(QStringLiteral(" | ")).toStdString();
    EXPECT_EQ(SelectToVariant("select count(*) from keyb;").integer(0, 0), 30);
    Form1->con.close();
    EXPECT_EQ(QDir(folder).entryList({unique + "*"}, QDir::Files | QDir::Hidden), QStringList{nameOf(247)});
    QFile::remove(longest);
}

TEST_F(NewButton, AFolderThatCannotBeWrittenLeavesNoFileAndThePreviousTestOpen)
{
    const QString previous = NewTest(QStringLiteral("previous.mdb"));
    const QString locked = dir.filePath("locked");
    ASSERT_TRUE(QDir().mkpath(locked));
    ASSERT_TRUE(QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    const QString path = locked + QStringLiteral("/new.mdb");

    ClickNew(path);
    QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    ASSERT_FALSE(script.shown().empty());
    EXPECT_EQ(script.shown().back().kind, MessageKind::Error);
    EXPECT_TRUE(script.lastText().startsWith("Error in creating .mdb file!")
                || script.lastText().startsWith("Failed to create a new Kelvo database!"))
        << script.lastText().toStdString();
    for (const QString& text : script.texts())
        EXPECT_NE(text, kCreated);
    EXPECT_EQ(QDir(locked).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList());
    EXPECT_TRUE(Form3->btnNew->isEnabled());
    // The test that was open before is still the open one.
    EXPECT_TRUE(Form1->con.isOpen());
    EXPECT_EQ(Session::current().testFile, previous);
    EXPECT_EQ(SelectToVariant("select count(*) from items;").integer(0, 0), 1);
}

// Files may grow only to `bytes` while it lives, as on a disk that is nearly full.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    void (*previousHandler_)(int) = nullptr;
};

TEST_F(NewButton, ADiskThatFillsWhileTheTablesAndRowsAreWrittenLeavesNoFileAndReportsFailure)
{
    const QString previous = NewTest(QStringLiteral("previous.mdb"));
    const QString path = dir.filePath("full.mdb");
    {
        // Room for the empty database, not for its tables and rows.
        const FileSizeLimit limit(16 * 1024);
        ClickNew(path);
    }
    ASSERT_FALSE(script.shown().empty());
    EXPECT_EQ(script.lastText(),
              "Failed to create a new Kelvo database!\r\n\r\nIf you often get this message you have to create a new "
              "Kelvo database from a template (Open button)!");
    for (const QString& text : script.texts())
        EXPECT_NE(text, kCreated);
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_FALSE(QFileInfo::exists(path + "-journal"));
    EXPECT_EQ(Session::current().testFile, previous);
    EXPECT_TRUE(Form1->con.isOpen());
    EXPECT_EQ(Form3->qitems->rowCount(), 1);
}

}  // namespace
