// Every statement the program sends, run in the program's order on a real file, with
// the effect each caller relies on.

#include "tests/engine/engine_fixture.h"

#include <QDateTime>

namespace kelvo::engine::testing {
namespace {

constexpr const char* kNull = "<null>";

struct StatementCase {
    const char* sql;
    bool isQuery;
    int expectedCount;             // affected rows, or rows returned
    const char* firstCell = nullptr;  // text of cell [0, 0]; kNull for a database Null
    QVariantMap parameters = {};
};

QString cellText(const QVariant& cell) { return cell.isNull() ? QString::fromLatin1(kNull) : cell.toString(); }

// Settings and screen-text rows the file starts with (a selection of them).
const std::vector<StatementCase>& programStatements()
{
    static const std::vector<StatementCase> cases{
        // creation: settings rows, keys, the sample question
        {"insert into testd (id,v,d) values (-29,'true','Convert start value to null');", false, 1},
        {"insert into testd (id,v,d) values (-28,'false','Save unfinished test');", false, 1},
        {"insert into testd (id,v,d) values (-25,'false','Aposterior analysis');", false, 1},
        {"insert into testd (id,v,d) values (-22,'0','Custom fields Panel align ItemIndex');", false, 1},
        {"insert into testd (id,v,d) values (-21,'0','Parse client editable answer');", false, 1},
        {"insert into testd (id,v,d) values (-19,'true','Enable keyboard');", false, 1},
        {"insert into testd (id,v,d) values (-14,'false','User identification on (true) or off (false)');", false, 1},
        {"insert into testd (id,v,d) values (-12,'3600','Test time (s)');", false, 1},
        {"insert into testd (id,v,d) values (-11,'0','(Control type ItemIndex)');", false, 1},
        {"insert into testd (id,v,d) values (-10,'true','Status Bar visible (true) or not (false)');", false, 1},
        {"insert into testd (id,v,d) values (-5,'Arial;clBlack;12;0;0;0;0;','Items Font: "
         "Name;Color;Size;Bold;Italic;Underline;StrikeOut;');",
         false, 1},
        {"insert into testd (id,v,d) values (-4,null,'Instruction full path');", false, 1},
        {"insert into testd (id,v,d) values (-2,'false','Allow multiple answers (true or false)');", false, 1},
        {"insert into testd (id,v,d) values (-1,'2.0','Kelvo Test Version info');", false, 1},
        {"insert into testd (id,v,d) values (0,'false','Test Lock status. True=test is locked, False test is "
         "Unlock');",
         false, 1},
        {"insert into testd (id,v,d) values (3,'Instructions','Button text on custom fields panel');", false, 1},
        {"insert into testd (id,v,d) values (4,'Start','Button text on instruction panel');", false, 1},
        {"insert into testd (id,v,d) values (5,'Prior','Button text on button for Prior questions');", false, 1},
        {"insert into testd (id,v,d) values (6,'Next','Button text on button for Next questions');", false, 1},
        {"insert into testd (id,v,d) values (7,'Abort test? You will loose all test result! Are you sure?','Warning "
         "text for abort test before time');",
         false, 1},
        {"insert into testd (id,v,d) values (8,'This is last question in test! End test?','Warning on last question "
         "in Test');",
         false, 1},
        {"insert into testd (id,v,d) values (9,'Test has finished. Thank you for participation in test!','Text for "
         "information message at the end of test');",
         false, 1},
        {"insert into keyb (id,k) values (1,'1');", false, 1},
        {"insert into keyb (id,k) values (2,'2');", false, 1},
        {"insert into keyb (id,k) values (3,'3');", false, 1},
        {"insert into keyb (id,k) values (10,'a');", false, 1},
        {"insert into keyb (id,k) values (30,'u');", false, 1},
        {"insert into items (id, caption) values (1, 'This is first question in your test. Press ENTER here or "
         "double click to update questions..');",
         false, 1},
        {"insert into answers (itemid, caption) values (1, 'This is 1. answer on first question your test..');", false,
         1},
        {"insert into answers (itemid, caption) values (1, 'This is 2. answer on first question your test..');", false,
         1},
        {"update testd set d = '' where id < 1;", false, 15},
        {"select id from answers where itemid = 1 order by id;", true, 2, "1"},
        {"select count(*) from testd where id=0;", true, 1, "1"},
        // main window and opening
        {"select v from testd where id = 0;", true, 1, "false"},
        {"select k from keyb where id between 1 and 3 order by id;", true, 3, "1"},
        {"select v from testd where id = -19;", true, 1, "true"},
        {"select usr, pas from users where per0 = true;", true, 1, "quorv"},
        {"select usr, pas from users where usr = 'quorv' and pas = 'quorv' and act = true;", true, 1, "quorv"},
        {"select * from users where usr= 'quorv' and pas= 'quorv' and act = true;", true, 1, "1"},
        {"select count(*) from datac;", true, 1, "0"},
        {"update testd set v = 'true' where id = -14;", false, 1},
        {"update testd set v = 'false' where id = -14;", false, 1},
        {"update users set usr = 'admin', pas= 'secret' where per0 = true;", false, 1},
        {"update users set usr = 'quorv', pas= 'quorv' where per0 = true;", false, 1},
        // validation, result tables and locking
        {"insert into items (id, caption) values (2, 'Second question');", false, 1},
        {"select count(*) from items;", true, 1, "2"},
        {"SELECT DISTINCT items.id, answers.itemid FROM items LEFT JOIN answers ON items.id = answers.itemid ORDER BY "
         "1;",
         true, 2, "1"},
        {"select count(*) from variables;", true, 1, "0"},
        {"select count(*) from formula", true, 1, "0"},
        {"select count(id) from answers group by itemid order by 1 desc;", true, 1, "2"},
        {"select max(id) from items;", true, 1, "2"},
        {"select max(id) from variables;", true, 1, kNull},
        {"select max(id) from userf;", true, 1, kNull},
        {"create table datai1 ( id integer primary key not null, unique (id), check (id > 0) );", false, 0},
        {"alter table datai1 add item1 longtext;", false, 0},
        {"alter table datai1 add item2 longtext;", false, 0},
        {"insert into variables (id, caption, cumul, start, decnum) values (1, 'score', true, 0, 2);", false, 1},
        {"insert into formula (varid, formula) values (1, 'if(item1=1,1,0)');", false, 1},
        {"create table datav1 ( id integer primary key not null, unique (id), check (id > 0) );", false, 0},
        {"alter table datav1 add var1 float;", false, 0},
        {"insert into userf (id, posit, caption, ftype) values (1, 1, 'Name', 'string');", false, 1},
        {"insert into userf (id, posit, caption, ftype) values (2, 2, 'Age', 'integer');", false, 1},
        {"insert into userf (id, posit, caption, ftype) values (3, 3, 'Agree', 'boolean');", false, 1},
        {"create table dataf ( id integer primary key not null, unique (id), check (id > 0) );", false, 0},
        {"alter table dataf add data1 varchar(100);", false, 0},
        {"alter table dataf add data2 integer;", false, 0},
        {"alter table dataf add data3 yesno;", false, 0},
        {"select id from items order by id;", true, 2, "1"},
        {"select id from variables order by id;", true, 1, "1"},
        {"select id, ftype from userf order by id;", true, 3, "1"},
        {"update testd set v = 'true' where id=0;", false, 1},
        {"update testd set v='false' where id=0;", false, 1},
        // settings
        {"select id, v from testd where id < 1;", true, 15, "-29"},
        {"update testd set v = 'true' where id = -3;", false, 0},
        {"update testd set v = 'false' where id = -10;", false, 1},
        {"update testd set v = 2 where id = -11;", false, 1},
        {"select v from testd where id = -11;", true, 1, "2"},
        {"update testd set v = 3600 where id = -12;", false, 1},
        {"update testd set v = '1' where id = -21;", false, 1},
        {"update testd set v = 0 where id = -22;", false, 1},
        // test window
        {"select id, caption, editcap from items where id = :id;", true, 1, "1", {{"id", 1}}},
        {"select caption from answers where itemid = :itemid order by id;", true, 2,
         "This is 1. answer on first question your test..", {{"itemid", 1}}},
        {"select id, caption from items order by id;", true, 2, "1"},
        {"select id, v, d from testd;", true, 22, "-29"},
        {"select id, posit, caption, ftype from userf order by posit;", true, 3, "1"},
        {"select id, decnum, start from variables order by id;", true, 1, "1"},
        {"select autoid, varid, formula from formula order by varid, autoid;", true, 1, "1"},
        {"select id, k from keyb order by id;", true, 5, "1"},
        {"select v from testd where id between 5 and 6 order by id;", true, 2, "Prior"},
        {"select v from testd where id=-22;", true, 1, "0"},
        {"select v from testd where id=-5;", true, 1, "Arial;clBlack;12;0;0;0;0;"},
        {"select v from testd where id=-4;", true, 1, kNull},
        {"select v from testd where id=3;", true, 1, "Instructions"},
        {"select v from testd where id = 4;", true, 1, "Start"},
        {"select v from testd where id = -2;", true, 1, "false"},
        {"select v from testd where id = -10;", true, 1, "false"},
        {"select v from testd where id = 8;", true, 1, "This is last question in test! End test?"},
        // recording a run
        {"select max(id) from datac;", true, 1, kNull},
        {"insert into datac (id, test_date, username, finished) values (1,'2026-12-10','quorv',false);", false, 1},
        {"update datac set test_date='2026-12-10',test_time='00:05:23',blank_answers=0,last_answer=2,go_back=1,"
         "correction_answers=0,username='quorv',finished=true where id=1;",
         false, 1},
        {"insert into datai1 ( id, item1, item2) values ( 1, 'This is 1. answer on first question your test..', "
         "null);",
         false, 1},
        {"insert into dataf  ( id, data1, data2, data3) values ( 1, 'Ann', 42, true);", false, 1},
        {"insert into datav1 (id, var1) values (1, 1.5);", false, 1},
        {"insert into datac (id, test_date, username, finished) values (2,'2026-12-11','quorv',false);", false, 1},
        {"insert into datai1 ( id, item1, item2) values ( 2, 'first line\r\nsecond; line', 'It''s');", false, 1},
        {"insert into dataf  ( id, data1, data2, data3) values ( 2, null, null, false);", false, 1},
        {"insert into datav1 (id, var1) values (2, null);", false, 1},
        {"select item1 from datai1 where id = 2;", true, 1, "first line\r\nsecond; line"},
        {"select var1 from datav1 where id = 2;", true, 1, kNull},
        {"select count(id) from datac where id between 2 and 1;", true, 1, "2"},
        {"update datac set modified = true where id = 2;", false, 1},
        {"update datac set aposterior = true where id = 2;", false, 1},
        {"delete from datac where id=2;", false, 1},
        {"select id from userf where ftype in ('integer','float');", true, 1, "2"},
        {"select id from userf;", true, 3, "1"},
        {"select id from variables;", true, 1, "1"},
        {"select cumul from variables where id= 1", true, 1, "true"},
        {"select formula from formula where varid= 1 order by autoid;", true, 1, "if(item1=1,1,0)"},
        {"select id, start from variables order by id;", true, 1, "1"},
        {"select v from testd where id = 9;", true, 1, "Test has finished. Thank you for participation in test!"},
        {"select v from testd where id = 7;", true, 1, "Abort test? You will loose all test result! Are you sure?"},
        {"select v from testd where id=-28;", true, 1, "false"},
        // formulas, cloning and the editor
        {"select id, editcap from items order by 1;", true, 2, "1"},
        {"SELECT itemid, count(itemid) from answers group by itemid order by itemid;", true, 1, "1"},
        {"select autoID, formula from formula order by autoid;", true, 1, "1"},
        {"select autoid, formula from formula order by varid, autoid;", true, 1, "1"},
        {"select varid, formula, autoid from formula order by varid, autoid;", true, 1, "1"},
        {"select id from items order by 1;", true, 2, "1"},
        {"select id from variables order by 1;", true, 1, "1"},
        {"select autoID, formula from formula where varid= 1 order by autoid;", true, 1, "1"},
        {"select count(*) from answers where itemid = 1;", true, 1, "2"},
        {"select count(*) from formula where varid= 1;", true, 1, "1"},
        {"insert into formula (varid, formula) values (1, 'if(item2=1,2,0)');", false, 1},
        {"delete from formula where autoid in (2);", false, 1},
        {"delete from formula where varid = 5;", false, 0},
        {"select * from answers where itemid= :id;", true, 2, "1", {{"id", 1}}},
        {"insert into answers (itemid, caption) values (:itemid, :caption);", false, 1,
         nullptr, {{"itemid", 2}, {"caption", "It's a clone"}}},
        {"delete from answers where itemid= :itemid;", false, 1, nullptr, {{"itemid", 2}}},
        {"alter table datai1 drop item2;", false, 0},
        {"delete from datac where id=1;", false, 1},
        {"delete from datac where id=1;", false, 0},
    };
    return cases;
}

class ProgramStatements : public EngineFileTest {};

TEST_F(ProgramStatements, RunInTheProgramsOrderWithTheirEffects)
{
    Connection connection;
    createTestFile(connection);
    for (const StatementCase& c : programStatements()) {
        SCOPED_TRACE(c.sql);
        if (c.isQuery) {
            const ResultSet rows = connection.select(QString::fromUtf8(c.sql), c.parameters);
            ASSERT_EQ(rows.rowCount(), c.expectedCount);
            if (c.firstCell) {
                EXPECT_EQ(cellText(rows.rows[0][0]).toStdString(), c.firstCell);
            }
        } else {
            EXPECT_EQ(connection.execute(QString::fromUtf8(c.sql), c.parameters), c.expectedCount);
        }
    }
}

TEST_F(ProgramStatements, RecordedRunReadsBackWithItsTypes)
{
    Connection connection;
    createTestFile(connection);
    connection.execute("insert into datac (id, test_date, username, finished) values (1,'2026-12-10','quorv',false);");
    connection.execute("update datac set test_date='2026-12-10 14:03:00',test_time='00:05:23',blank_answers=0,"
                       "finished=true where id=1;");
    const ResultSet run = connection.select("select id, test_date, test_time, finished, modified, os, username "
                                            "from datac;");
    ASSERT_EQ(run.rowCount(), 1);
    const auto& row = run.rows[0];
    EXPECT_EQ(row[0].typeId(), QMetaType::Int);
    EXPECT_EQ(row[1].toDateTime(), QDateTime(QDate(2026, 12, 10), QTime(14, 3)));
    EXPECT_EQ(row[2].toDateTime(), QDateTime(QDate(1899, 12, 30), QTime(0, 5, 23)));
    EXPECT_EQ(row[3].typeId(), QMetaType::Bool);
    EXPECT_EQ(row[3].toString(), "true");
    EXPECT_EQ(row[4].toString(), "false");  // the column default
    EXPECT_EQ(row[5].toInt(), 1);
    EXPECT_EQ(row[6].toString(), "quorv");
    const std::vector<FieldClass> expected{FieldClass::Integer, FieldClass::Date,    FieldClass::Date,
                                           FieldClass::Boolean, FieldClass::Boolean, FieldClass::Integer,
                                           FieldClass::Text};
    for (size_t c = 0; c < expected.size(); ++c)
        EXPECT_EQ(run.columns[c].type, expected[c]) << run.columns[c].name.toStdString();
    // Stored as ISO text, whatever form the statement wrote.
    const ResultSet stored = connection.select("select test_date || '', test_time || '' from datac;");
    EXPECT_EQ(stored.rows[0][0].toString(), "2026-12-10 14:03:00");
    EXPECT_EQ(stored.rows[0][1].toString(), "1899-12-30 00:05:23");
}

// A statement kept prepared gives what execute gives, across a failure, a change of the
// table's columns and another opening.
TEST_F(ProgramStatements, PreparedInsertsMatchExecuteAcrossFailuresSchemaChangesAndReopening)
{
    Connection connection;
    createTestFile(connection);
    const QString insert = QStringLiteral("insert into datac (id, test_date, username, finished) values (:v0, :v1, :v2, :v3);");
    EXPECT_EQ(connection.executePrepared(insert, {{"v0", 1}, {"v1", "2026-12-10"}, {"v2", "ann"}, {"v3", true}}), 1);
    // The key exists: the failure leaves the statement usable and the file unlocked.
    EXPECT_THROW(connection.executePrepared(insert, {{"v0", 1}, {"v1", "2026-12-11"}, {"v2", "bob"}, {"v3", false}}),
                 EngineError);
    {
        Connection other;
        other.setConnectionString(connectionString(testFile()));
        other.open();
        EXPECT_EQ(other.execute("update datac set go_back = 4 where id = 1;"), 1);
    }
    EXPECT_EQ(connection.executePrepared(insert, {{"v0", 2}, {"v1", QVariant()}, {"v2", "O'Brien"}, {"v3", "-1"}}), 1);

    connection.execute("alter table datac add flag yesno;");
    const QString flagged = QStringLiteral("insert into datac (id, flag) values (:v0, :v1);");
    EXPECT_EQ(connection.executePrepared(flagged, {{"v0", 3}, {"v1", "true"}}), 1);
    EXPECT_EQ(connection.executePrepared(insert, {{"v0", 4}, {"v1", "2026-12-12 08:30:00"}, {"v2", "cy"}, {"v3", 0}}), 1);

    connection.open();
    EXPECT_EQ(connection.executePrepared(insert, {{"v0", 5}, {"v1", "2026-12-13"}, {"v2", "dee"}, {"v3", 1}}), 1);

    const ResultSet rows = connection.select(
        "select id, test_date || '', username, finished, go_back, flag from datac order by id;");
    ASSERT_EQ(rows.rowCount(), 5);
    const QString null = QString::fromLatin1(kNull);
    const std::vector<std::vector<QString>> expected{
        {"1", "2026-12-10 00:00:00", "ann", "true", "4", null},
        {"2", null, "O'Brien", "true", null, null},
        {"3", null, null, "false", null, "true"},
        {"4", "2026-12-12 08:30:00", "cy", "false", null, null},
        {"5", "2026-12-13 00:00:00", "dee", "true", null, null},
    };
    for (int r = 0; r < rows.rowCount(); ++r)
        for (int c = 0; c < rows.columnCount(); ++c)
            EXPECT_EQ(cellText(rows.rows[r][c]), expected[r][c]) << "row " << r << " column " << c;
}

}  // namespace
}  // namespace kelvo::engine::testing
