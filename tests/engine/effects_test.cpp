// The effects the program relies on beyond plain reading and writing: ids, cascades,
// constraint failures, Booleans, text without case, BETWEEN, the table list.

#include "tests/engine/engine_fixture.h"

#include <QSqlError>
#include <QSqlQueryModel>
#include <QSqlRecord>
#include <QSqlTableModel>

namespace kelvo::engine::testing {
namespace {

class EngineEffects : public EngineFileTest {
protected:
    void SetUp() override
    {
        EngineFileTest::SetUp();
        createTestFile(connection);
        connection.execute("insert into items (id, caption) values (1, 'First');");
        connection.execute("insert into items (id, caption) values (2, 'Second');");
        connection.execute("insert into answers (itemid, caption) values (1, 'a1');");
        connection.execute("insert into answers (itemid, caption) values (1, 'a2');");
        connection.execute("insert into answers (itemid, caption) values (2, 'b1');");
        connection.execute("insert into variables (id, caption) values (1, 'v');");
        connection.execute("insert into formula (varid, formula) values (1, 'item1');");
        connection.execute("insert into keyb (id, k) values (10, 'a');");
    }

    std::vector<int> ids(const char* sql)
    {
        std::vector<int> out;
        for (const auto& row : connection.select(sql).rows)
            out.push_back(row[0].toInt());
        return out;
    }

    Connection connection;
};

TEST_F(EngineEffects, CountersGiveAscendingIdsThatAreNeverReused)
{
    EXPECT_EQ(ids("select id from answers order by id"), (std::vector<int>{1, 2, 3}));
    connection.execute("delete from answers where id = 3");
    connection.execute("insert into answers (itemid, caption) values (2, 'b2');");
    EXPECT_EQ(ids("select id from answers order by id"), (std::vector<int>{1, 2, 4}));
    EXPECT_EQ(ids("select autoid from users"), (std::vector<int>{1}));
}

TEST_F(EngineEffects, DeletingAParentDeletesItsChildren)
{
    EXPECT_EQ(connection.execute("delete from items where id = 1;"), 1);
    EXPECT_EQ(ids("select id from answers order by id"), (std::vector<int>{3}));
    EXPECT_EQ(connection.execute("delete from variables where id = 1"), 1);
    EXPECT_EQ(connection.select("select count(*) from formula").rows[0][0].toInt(), 0);
}

TEST_F(EngineEffects, ViolatedRulesFailWithAReadableMessageAndChangeNothing)
{
    struct Case {
        const char* sql;
        const char* messagePart;
    };
    const Case cases[] = {
        {"insert into items (id, caption) values (1, 'again');", "duplicate value"},
        {"insert into items (id, caption) values (0, 'zero');", "validation rule"},
        {"insert into items (id) values (3);", "cannot hold a Null value"},
        {"insert into items (caption) values ('no id');", "cannot hold a Null value"},
        {"insert into answers (itemid, caption) values (99, 'orphan');", "related record is required"},
        {"insert into keyb (id, k) values (11, 'A');", "duplicate value"},
        {"insert into keyb (id, k) values (11, '!');", "validation rule"},
        {"insert into users (usr, pas) values ('QUORV', 'x');", "duplicate value"},
        {"update items set id = 1 where id = 2;", "duplicate value"},
        {"insert into users (usr, pas, act) values ('bob', 'x', 'maybe');", "not a yes/no value"},
        {"insert into datac (id, test_date) values (5, 'yesterday');", "not a date"},
        {"insert into nosuchtable (id) values (1);", "no such table"},
        {"select nosuchcolumn from items;", "no such column"},
        {"select 'unterminated from items;", "unterminated text"},
        {"select id from items; delete from items;", "Characters found after end of SQL statement"},
        {"create table bad ( id currency2 );", "unknown data type"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sql);
        try {
            const QString sql = QString::fromLatin1(c.sql);
            if (sql.startsWith(u"select"))
                connection.select(sql);
            else
                connection.execute(sql);
            ADD_FAILURE() << "no failure";
        } catch (const EngineError& e) {
            EXPECT_TRUE(e.message().contains(QLatin1String(c.messagePart), Qt::CaseInsensitive))
                << e.message().toStdString();
        }
    }
    EXPECT_EQ(ids("select id from items order by id"), (std::vector<int>{1, 2}));
    EXPECT_EQ(connection.select("select count(*) from users").rows[0][0].toInt(), 1);
    EXPECT_EQ(connection.select("select count(*) from keyb").rows[0][0].toInt(), 1);
}

TEST_F(EngineEffects, BooleansAreStoredAsOneOrZeroAndReadAsBool)
{
    struct Case {
        const char* written;
        int stored;
    };
    const Case cases[] = {{"true", 1},  {"True", 1},   {"-1", 1},     {"'true'", 1}, {"'TRUE'", 1}, {"1", 1},
                          {"false", 0}, {"False", 0},  {"'false'", 0}, {"0", 0}};
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.written);
        const QString user = QStringLiteral("u%1").arg(++n);
        connection.execute(QStringLiteral("insert into users (usr, pas, per3) values ('%1', 'p', %2)").arg(user, c.written));
        connection.execute(QStringLiteral("update users set per4 = %1 where usr = '%2'").arg(c.written, user));
        const ResultSet raw = connection.select(
            QStringLiteral("select per3 + 0, typeof(per3), per4 + 0 from users where usr = '%1'").arg(user));
        EXPECT_EQ(raw.rows[0][0].toInt(), c.stored);
        EXPECT_EQ(raw.rows[0][1].toString(), "integer");
        EXPECT_EQ(raw.rows[0][2].toInt(), c.stored);
        const ResultSet typed = connection.select(QStringLiteral("select per3 from users where usr = '%1'").arg(user));
        EXPECT_EQ(typed.columns[0].type, FieldClass::Boolean);
        EXPECT_EQ(typed.rows[0][0].typeId(), QMetaType::Bool);
        EXPECT_EQ(typed.rows[0][0].toString(), c.stored ? "true" : "false");
    }
    // Bound values and defaults take the same form.
    connection.execute("insert into users (usr, pas, per5) values (:u, 'p', :flag)", {{"u", "bound"}, {"flag", true}});
    const ResultSet bound = connection.select("select per5, act, per0 from users where usr = 'bound'");
    EXPECT_EQ(bound.rows[0][0].toString(), "true");
    EXPECT_EQ(bound.rows[0][1].toString(), "true");
    EXPECT_EQ(bound.rows[0][2].toString(), "false");
    EXPECT_EQ(connection.select("select usr from users where per3 = true").rowCount(), 7);
}

TEST_F(EngineEffects, TextComparesSortsAndIsUniqueWithoutCase)
{
    connection.execute("insert into items (id, caption) values (3, 'čaša');");
    connection.execute("insert into items (id, caption) values (4, 'Apple');");
    connection.execute("insert into items (id, caption) values (5, 'banana');");
    EXPECT_EQ(connection.select("select id from items where caption = 'ČAŠA'").rowCount(), 1);
    EXPECT_EQ(connection.select("select id from items where caption like 'Č%'").rowCount(), 1);
    EXPECT_EQ(connection.select("select id from items where caption like 'ap_le'").rowCount(), 1);
    EXPECT_EQ(ids("select id from items where id > 3 order by caption"), (std::vector<int>{4, 5}));
    EXPECT_EQ(connection.select("select distinct caption from items where caption in ('APPLE', 'apple')").rowCount(),
              1);
    EXPECT_EQ(connection.select("select usr from users where usr = 'QuOrV'").rowCount(), 1);
    EXPECT_THROW(connection.execute("insert into users (usr, pas) values ('QUORV', 'x');"), EngineError);

    // StrComp with compare 0 tells letter case apart, as a password must be compared.
    const auto strComp = [&](const char* call) { return connection.select(QString("select ") + call).rows[0][0]; };
    EXPECT_EQ(strComp("strcomp('quorv', 'quorv', 0)").toInt(), 0);
    EXPECT_EQ(strComp("strcomp('QUORV', 'quorv', 0)").toInt(), -1);
    EXPECT_EQ(strComp("strcomp('quorv', 'QUORV', 0)").toInt(), 1);
    EXPECT_EQ(strComp("strcomp('QUORV', 'quorv', 1)").toInt(), 0);
    EXPECT_EQ(strComp("strcomp('ČAŠA', 'čaša')").toInt(), 0);
    EXPECT_TRUE(strComp("strcomp(null, 'a', 0)").isNull());
    EXPECT_EQ(connection.select("select usr from users where strcomp(pas, 'QUORV', 0) = 0").rowCount(), 0);
    EXPECT_EQ(connection.select("select usr from users where usr = 'QUORV' and strcomp(pas, 'quorv', 0) = 0")
                  .rowCount(),
              1);
}

TEST_F(EngineEffects, BetweenGivesTheSameRowsWhicheverBoundIsLarger)
{
    for (int id = 3; id <= 6; ++id)
        connection.execute(QStringLiteral("insert into items (id, caption) values (%1, 'q')").arg(id));
    EXPECT_EQ(ids("select id from items where id between 2 and 4 order by id"), (std::vector<int>{2, 3, 4}));
    EXPECT_EQ(ids("select id from items where id between 4 and 2 order by id"), (std::vector<int>{2, 3, 4}));
    EXPECT_EQ(ids("select id from items where id not between 5 and 2 order by id"), (std::vector<int>{1, 6}));
    EXPECT_EQ(ids("select id from items where (id between 9 and 7) or caption = 'q' and id between 4 and 3"),
              (std::vector<int>{3, 4}));
    EXPECT_EQ(connection.select("select id from items where id between :hi and :lo", {{"hi", 6}, {"lo", 5}}).rowCount(),
              2);
    // The keyboard rule of the schema lets letters and digits through.
    EXPECT_EQ(connection.execute("insert into keyb (id, k) values (1, '1')"), 1);
    EXPECT_EQ(connection.execute("insert into keyb (id, k) values (26, 'Q')"), 1);
}

TEST_F(EngineEffects, TableListAndFieldClassesLeaveOutTheEnginesOwnTables)
{
    EXPECT_EQ(connection.tableNames(),
              (QStringList{"answers", "datac", "formula", "items", "keyb", "testd", "userf", "users", "variables"}));
    struct Expected {
        const char* table;
        std::vector<FieldClass> classes;
    };
    const Expected tables[] = {
        {"answers", {FieldClass::Counter, FieldClass::Integer, FieldClass::Text}},
        {"items", {FieldClass::Integer, FieldClass::Memo, FieldClass::Text}},
        {"variables",
         {FieldClass::Integer, FieldClass::Text, FieldClass::Boolean, FieldClass::Float, FieldClass::Integer}},
        {"datac",
         {FieldClass::Integer, FieldClass::Date, FieldClass::Date, FieldClass::Integer, FieldClass::Integer,
          FieldClass::Integer, FieldClass::Integer, FieldClass::Text, FieldClass::Boolean, FieldClass::Boolean,
          FieldClass::Boolean, FieldClass::Integer}},
    };
    for (const Expected& t : tables) {
        SCOPED_TRACE(t.table);
        const auto fields = connection.tableFields(QString::fromLatin1(t.table));
        ASSERT_EQ(fields.size(), t.classes.size());
        for (size_t i = 0; i < fields.size(); ++i)
            EXPECT_EQ(fields[i].type, t.classes[i]) << fields[i].name.toStdString();
    }
    EXPECT_TRUE(isQuotedFieldClass(FieldClass::Date));
    EXPECT_FALSE(isQuotedFieldClass(FieldClass::Boolean));
    EXPECT_THROW(connection.tableFields("nosuchtable"), EngineError);

    connection.execute("alter table items add extra yesno");
    EXPECT_EQ(connection.tableFields("items").back().type, FieldClass::Boolean);
    connection.execute("alter table items drop extra;");
    EXPECT_EQ(connection.tableFields("items").size(), 3u);
    const ResultSet joined = connection.select("select answers.id, items.caption, count(*) from answers left join "
                                               "items on items.id = answers.itemid group by answers.id, items.caption");
    EXPECT_EQ(joined.columns[0].type, FieldClass::Counter);
    EXPECT_EQ(joined.columns[1].type, FieldClass::Memo);
    EXPECT_EQ(joined.columns[2].type, FieldClass::Integer);
}

TEST_F(EngineEffects, LiteralsKeepWhatTheyHold)
{
    connection.execute("insert into items (id, caption) values (3, 'It''s true; select -- \"x\" [y] #z#');");
    connection.execute("insert into items (id, caption) values (4, \"double \"\"quoted\"\"\");");
    EXPECT_EQ(connection.select("select caption from items where id = 3").rows[0][0].toString(),
              "It's true; select -- \"x\" [y] #z#");
    EXPECT_EQ(connection.select("select caption from items where id = 4").rows[0][0].toString(), "double \"quoted\"");
    // SQLite ends a statement text at a NUL: one inside a literal must neither cut the
    // statement short nor be lost.
    const QString withNul = QStringLiteral("a") + QChar(0) + QStringLiteral("b") + QChar(0);
    connection.execute("insert into items (id, caption) values (5, '" + withNul + "');");
    EXPECT_EQ(connection.select("select caption from items where id = 5").rows[0][0].toString(), withNul);
    EXPECT_EQ(connection.select("select id from items where caption = '" + withNul + "'").rowCount(), 1);
    EXPECT_EQ(connection.execute("update items set editcap = '" + QString(QChar(0)) + "' where id = 5"), 1);
    EXPECT_EQ(connection.select("select editcap from items where id = 5").rows[0][0].toString(), QString(QChar(0)));
    EXPECT_EQ(connection.select("select [caption] & '!' from [items] where id = 1").rows[0][0].toString(), "First!");
    EXPECT_EQ(connection.select("select 5--1, 2.5 * 2").rows[0][0].toInt(), 6);
    connection.execute("insert into datac (id, test_date) values (1, #12/10/2026 08:30:00#)");
    EXPECT_EQ(connection.select("select test_date || '' from datac").rows[0][0].toString(), "2026-12-10 08:30:00");
}

TEST_F(EngineEffects, JetQueryFormsRun)
{
    EXPECT_EQ(connection.select("select * from (items) order by id").rowCount(), 2);
    EXPECT_EQ(connection.select("SELECT items.id, answers.caption, formula.formula FROM (items LEFT JOIN answers ON "
                                "items.id = answers.itemid) LEFT JOIN formula ON formula.varid = items.id ORDER BY "
                                "answers.id")
                  .rowCount(),
              3);
    EXPECT_EQ(connection.select("select id, v from testd where id between -15 and -18;").rowCount(), 0);
    EXPECT_EQ(connection.select("select count(*), min(id), max(id)  from items;").rows[0][2].toInt(), 2);
    EXPECT_EQ(connection.select("select count(*) from answers where itemid in (1,2)").rows[0][0].toInt(), 3);
    EXPECT_EQ(connection.select("select count(*) from keyb where k = 'A'").rows[0][0].toInt(), 1);
    try {
        connection.select("select id frm items");
        ADD_FAILURE() << "no failure";
    } catch (const EngineError& e) {
        EXPECT_TRUE(e.message().contains(QLatin1String("select id frm items"))) << e.message().toStdString();
    }
}

TEST_F(EngineEffects, TransactionsNestAndRollBack)
{
    {
        Transaction outer(connection);
        connection.execute("insert into items (id, caption) values (3, 'kept')");
        {
            Transaction inner(connection);
            connection.execute("insert into items (id, caption) values (4, 'dropped')");
        }
        outer.commit();
    }
    {
        Transaction abandoned(connection);
        connection.execute("delete from items");
    }
    EXPECT_EQ(ids("select id from items order by id"), (std::vector<int>{1, 2, 3}));
}

TEST_F(EngineEffects, QtModelsWorkOnTheSameConnection)
{
    QSqlTableModel model(nullptr, connection.database());
    model.setTable(QStringLiteral("variables"));
    model.setEditStrategy(QSqlTableModel::OnManualSubmit);
    ASSERT_TRUE(model.select()) << model.lastError().text().toStdString();
    ASSERT_EQ(model.rowCount(), 1);
    QSqlRecord record = model.record();
    record.setValue(QStringLiteral("id"), 2);
    record.setValue(QStringLiteral("caption"), QStringLiteral("from the grid"));
    record.setValue(QStringLiteral("cumul"), false);
    record.setValue(QStringLiteral("start"), 1.5);
    ASSERT_TRUE(model.insertRecord(-1, record));
    ASSERT_TRUE(model.submitAll()) << model.lastError().text().toStdString();
    const ResultSet written = connection.select("select cumul, start, caption from variables where id = 2");
    EXPECT_EQ(written.rows[0][0].toString(), "false");
    EXPECT_EQ(written.rows[0][1].toDouble(), 1.5);
    // A grid cannot store anything but 1/0 in a yes/no column.
    ASSERT_TRUE(model.setData(model.index(0, model.fieldIndex(QStringLiteral("cumul"))), QStringLiteral("maybe")));
    EXPECT_FALSE(model.submitAll());
    model.revertAll();
    QSqlQueryModel query;
    query.setQuery(connection.nativeSql("select id from variables where cumul = false and id between 9 and 1"),
                   connection.database());
    EXPECT_EQ(query.rowCount(), 1);
    // Deleting through the model runs the cascade as well.
    ASSERT_TRUE(model.select());
    ASSERT_TRUE(model.removeRow(0));
    ASSERT_TRUE(model.submitAll()) << model.lastError().text().toStdString();
    EXPECT_EQ(connection.select("select count(*) from formula").rows[0][0].toInt(), 0);
}

}  // namespace
}  // namespace kelvo::engine::testing
