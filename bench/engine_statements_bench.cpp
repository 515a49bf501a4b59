// Figures of the engine layer: translating a statement, recording runs into a wide
// result table, and reading that table back as the results window does.

#include "bench_support.h"
#include "engine/connection.h"
#include "engine/jet_dialect.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>

namespace {

using Clock = std::chrono::steady_clock;

double microsecondsSince(Clock::time_point start, int repetitions)
{
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / repetitions;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    using namespace kelvo::engine;
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("bench.mdb"));
    createDatabase(path, QString());
    Connection connection;
    connection.setConnectionString(QStringLiteral("Data Source=%1;Provider=x;").arg(path));
    connection.open();

    constexpr int columns = 254;
    connection.execute("create table datai1 ( id integer primary key not null, unique (id), check (id > 0) );");
    for (int c = 1; c <= columns; ++c)
        connection.execute(QStringLiteral("alter table datai1 add item%1 longtext;").arg(c));
    connection.execute("create table datac ( id integer primary key not null, test_date date, finished logical "
                       "default false, username varchar(20) )");

    const QString update = QStringLiteral("update datac set test_date='2026-12-10',finished=true,username='quorv' "
                                          "where id=1 and id between 5 and 1;");
    const auto noColumns = [](const QString&) { return std::vector<FieldInfo>{}; };
    const int translations = kelvo::bench::sized(20000, 200);
    auto start = Clock::now();
    for (int i = 0; i < translations; ++i)
        translateStatement(update, noColumns);
    std::printf("translate one UPDATE:                     %8.2f us\n", microsecondsSince(start, translations));

    QString insertColumns = QStringLiteral("insert into datai1 ( id");
    QString insertValues;
    for (int c = 1; c <= columns; ++c) {
        insertColumns += QStringLiteral(", item%1").arg(c);
        insertValues += QStringLiteral(", 'answer %1\r\nsecond line'").arg(c);
    }
    const int runs = kelvo::bench::sized(1000, 20);
    start = Clock::now();
    {
        Transaction transaction(connection);
        for (int run = 1; run <= runs; ++run) {
            connection.execute(QStringLiteral("insert into datac (id, test_date, username, finished) values (%1, "
                                              "'2026-12-10', 'quorv', false);")
                                   .arg(run));
            connection.execute(insertColumns + QStringLiteral(") values ( %1").arg(run) + insertValues + u')');
        }
        transaction.commit();
    }
    std::printf("record one run (%d answer columns):      %8.2f us\n", columns, microsecondsSince(start, runs));

    start = Clock::now();
    const ResultSet rows = connection.select("select * from datai1 order by id");
    std::printf("read %d runs x %d columns:            %8.2f ms\n", rows.rowCount(), rows.columnCount(),
                microsecondsSince(start, 1) / 1000.0);

    start = Clock::now();
    const int opens = kelvo::bench::sized(20, 2);
    for (int i = 0; i < opens; ++i)
        connection.open();
    std::printf("open the file (%lld KiB, with its checks): %8.2f ms\n",
                static_cast<long long>(QFileInfo(path).size() / 1024), microsecondsSince(start, opens) / 1000.0);
    return 0;
}
