#pragma once
// Shared helpers of the engine tests: a fresh folder per test and the test file that
// the program's own creation statements build.

#include "engine/connection.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace kelvo::engine::testing {

inline constexpr const char* kTestPassword = "Qv7Lm2Xp_9Rt4Hw8Kd3N";

inline QString connectionString(const QString& path, const QString& password = QString::fromLatin1(kTestPassword),
                                bool exclusive = false)
{
    QString text = QStringLiteral("Data Source=%1;Provider=Microsoft.Jet.OLEDB.4.0;Jet OLEDB:Engine Type=5;"
                                  "Jet OLEDB:Database Password=%2;")
                       .arg(path, password);
    if (exclusive)
        text += QStringLiteral("Mode=Share Deny Read|Share Deny Write;");
    return text;
}

inline QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

// The nine tables of a test, in the order the program creates them.
inline const QStringList& schemaStatements()
{
    static const QStringList statements{
        "create table items ( id integer primary key, caption longtext not null, editcap varchar(255), unique (id), "
        "check (id >= 1) );",
        "create table answers ( id counter primary key, itemid integer not null, caption varchar(255) not null, "
        "check (itemid >= 1), constraint pc1 foreign key (itemid) references items (id) on delete cascade );",
        "create table variables ( id integer primary key, caption varchar(255), cumul logical default true, start "
        "float not null default 0, decnum byte, unique (id), check (id >= 1) );",
        "create table formula ( autoid counter primary key, varid integer not null, formula longtext, check (varid "
        ">= 1), constraint pc2 foreign key (varid) references variables (id) on delete cascade );",
        "create table userf ( id integer primary key, posit short not null, caption varchar(255), ftype "
        "varchar(50), unique (id), check (id >= 1) );",
        "create table keyb ( id integer primary key, k varchar(1) not null, unique(id), unique(k), check (k  "
        "between \"a\" And \"z\" or k Between 0 And 9), check (id >= 1) );",
        "create table testd ( id integer primary key, v varchar(255), d varchar(100), unique (id) );",
        "create table users ( autoid counter primary key, usr varchar(20) not null, pas varchar(20) not null, act "
        "logical default true, per0 logical default false, per1 logical default true, per2 logical default false, "
        "per3 logical default false, per4 logical default false, per5 logical default false, unique(usr) );",
        "create table datac ( id integer primary key not null, test_date date, test_time date, blank_answers "
        "integer, last_answer integer, go_back integer, correction_answers integer, username varchar(20), "
        "finished logical default false, modified logical default false, aposterior logical default false, os "
        "short default 1, unique (id), check (id > 0) );",
    };
    return statements;
}

class EngineFileTest : public ::testing::Test {
public:
    void SetUp() override { ASSERT_TRUE(folder_.isValid()); }

    QString pathOf(const QString& name) const { return folder_.filePath(name); }
    QString testFile() const { return pathOf(QStringLiteral("test.mdb")); }

    // A new file with the schema, the database password and the administrator,
    // left open in shared mode on `connection`.
    void createTestFile(Connection& connection)
    {
        createDatabase(testFile(), QString());
        connection.setConnectionString(connectionString(testFile(), QString::fromLatin1(kTestPassword), true));
        connection.open();
        for (const QString& statement : schemaStatements())
            connection.execute(statement);
        connection.execute(QStringLiteral("ALTER DATABASE PASSWORD Qv7Lm2Xp_9Rt4Hw8Kd3N null"));
        connection.setConnectionString(connectionString(testFile()));
        connection.open();
        connection.execute(QStringLiteral("insert into users (usr, pas, act, per0, per1, per2, per3, per4, per5) "
                                          "values ('quorv', 'quorv', true, true, true, true, true, true, true);"));
    }

    QTemporaryDir folder_;
};

}  // namespace kelvo::engine::testing
