#include "data/schema.h"

#include "engine/connection.h"
#include "model/settings_rows.h"

namespace kelvo {

const QStringList& schemaStatements()
{
    static const QStringList statements = {
        QStringLiteral("create table items ( id integer primary key, caption longtext not null, "
                       "editcap varchar(255), unique (id), check (id >= 1) );"),
        QStringLiteral("create table answers ( id counter primary key, itemid integer not null, "
                       "caption varchar(255) not null, check (itemid >= 1), constraint pc1 foreign "
                       "key (itemid) references items (id) on delete cascade );"),
        QStringLiteral("create table variables ( id integer primary key, caption varchar(255), "
                       "cumul logical default true, start float not null default 0, decnum byte, "
                       "unique (id), check (id >= 1) );"),
        QStringLiteral("create table formula ( autoid counter primary key, varid integer not null, "
                       "formula longtext, check (varid >= 1), constraint pc2 foreign key (varid) "
                       "references variables (id) on delete cascade );"),
        QStringLiteral("create table userf ( id integer primary key, posit short not null, caption "
                       "varchar(255), ftype varchar(50), unique (id), check (id >= 1) );"),
        QStringLiteral("create table keyb ( id integer primary key, k varchar(1) not null, "
                       "unique(id), unique(k), check (k  between \"a\" And \"z\" or k Between 0 "
                       "And 9), check (id >= 1) );"),
        QStringLiteral("create table testd ( id integer primary key, v varchar(255), d varchar(100), "
                       "unique (id) );"),
        QStringLiteral("create table users ( autoid counter primary key, usr varchar(20) not null, "
                       "pas varchar(20) not null, act logical default true, per0 logical default "
                       "false,"
                       " per1 logical default true, per2 logical default false, per3 logical "
                       "default false, per4 logical default false, per5 logical default false, "
                       "unique(usr) );"),
        QStringLiteral("create table datac ( id integer primary key not null, test_date date, "
                       "test_time date, blank_answers integer, last_answer integer, go_back "
                       "integer, correction_answers integer, username varchar(20), "
                       "finished logical default false, modified logical default false, aposterior "
                       "logical default false, os short default 1, unique (id), check (id > 0) );"),
    };
    return statements;
}

QString setPasswordStatement()
{
    return QStringLiteral("ALTER DATABASE PASSWORD %1 null").arg(kDatabasePassword);
}

QString administratorAccountStatement()
{
    return QStringLiteral("insert into users (usr, pas, act, per0, per1, per2, per3, per4, per5) "
                          "values ('%1', '%1', true, true, true, true, true, true, true);")
        .arg(kDefaultAdministrator);
}

const QStringList& sampleQuestionStatements()
{
    static const QStringList statements = {
        QStringLiteral("insert into items (id, caption) values (1, 'This is first question in your "
                       "test. Press ENTER here or double click to update questions..');"),
        QStringLiteral("insert into answers (itemid, caption) values (1, 'This is 1. answer on first "
                       "question your test..');"),
        QStringLiteral("insert into answers (itemid, caption) values (1, 'This is 2. answer on first "
                       "question your test..');"),
    };
    return statements;
}

QString clearSettingDescriptionsStatement()
{
    return QStringLiteral("update testd set d = '' where id < 1;");
}

const std::vector<ShortcutKey>& defaultShortcutKeys()
{
    static const std::vector<ShortcutKey> keys = [] {
        std::vector<ShortcutKey> list;
        for (int id = 1; id <= 9; ++id)
            list.push_back({id, QString::number(id)});
        for (int id = 10; id <= 30; ++id)
            list.push_back({id, QString(QChar(u'a' + (id - 10)))});
        return list;
    }();
    return keys;
}

void writeSchema(engine::Connection& connection)
{
    for (const QString& statement : schemaStatements())
        connection.execute(statement);
    connection.execute(setPasswordStatement());
}

void writeDefaultRows(engine::Connection& connection)
{
    connection.execute(administratorAccountStatement());
    const QString settingInsert = QStringLiteral("insert into testd (id, v, d) values (:id, :v, :d);");
    for (const SettingRow& row : settingRows()) {
        connection.execute(settingInsert, {{QStringLiteral("id"), settingNumber(row.id)},
                                           {QStringLiteral("v"), row.defaultValue},
                                           {QStringLiteral("d"), row.description}});
    }
    const QString keyInsert = QStringLiteral("insert into keyb (id, k) values (:id, :k);");
    for (const ShortcutKey& key : defaultShortcutKeys())
        connection.execute(keyInsert, {{QStringLiteral("id"), key.id}, {QStringLiteral("k"), key.key}});
    for (const QString& statement : sampleQuestionStatements())
        connection.execute(statement);
    connection.execute(clearSettingDescriptionsStatement());
}

}  // namespace kelvo
