// How much the database routines cost over SQLite itself: 10,000 rows inserted one by
// one (InsertRecord) and read back in one SELECT (SelectToVariant), against the same
// rows through the SQLite C API with a prepared statement, each side in one transaction.

#include "bench_support.h"
#include "app/main_window.h"
#include "app/window_instance.h"
#include "data/database.h"
#include "data/schema.h"
#include "data/table_dataset.h"
#include "editor/editor_window.h"
#include "engine/connection.h"
#include "ui/application.h"

#include <QTemporaryDir>

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

const int kRows = kelvo::bench::sized(10000, 200);

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

QString CaptionOf(int id) { return QStringLiteral("Question number %1, isn't it?").arg(id); }

struct Timing {
    double insert = 0;
    double read = 0;
};

Timing ThroughTheRoutines(const QString& path)
{
    using namespace kelvo;
    engine::createDatabase(path, kDatabasePassword);
    if (!Form1->OpenTestDatabase(path, true, false))
        throw std::runtime_error("cannot open the benchmark file");
    ExecSQL("create table items (id integer primary key, caption longtext, editcap varchar(255));");
    TableDataset items;
    items.open(Form1->con, "items");
    const QStringList fields = {"id", "caption", "editcap"};

    Timing timing;
    const Clock::time_point insertStart = Clock::now();
    {
        engine::Transaction transaction(Form1->con);
        for (int id = 1; id <= kRows; ++id)
            if (!InsertRecord(items, fields, {id, CaptionOf(id), ""}))
                throw std::runtime_error("insert failed");
        transaction.commit();
    }
    timing.insert = SecondsSince(insertStart);

    const Clock::time_point readStart = Clock::now();
    const RowSet rows = SelectToVariant("select id, caption, editcap from items order by id;");
    long long sum = 0;
    for (int r = 0; r < rows.rows(); ++r)
        sum += rows.integer(r, 0) + rows.text(r, 1).size() + rows.text(r, 2).size();
    timing.read = SecondsSince(readStart);
    if (rows.rows() != kRows || sum == 0)
        throw std::runtime_error("read back the wrong rows");
    return timing;
}

void Check(int code, sqlite3* db)
{
    if (code != SQLITE_OK && code != SQLITE_DONE && code != SQLITE_ROW)
        throw std::runtime_error(sqlite3_errmsg(db));
}

Timing ThroughSqlite(const std::string& path)
{
    sqlite3* db = nullptr;
    Check(sqlite3_open(path.c_str(), &db), db);
    Timing timing;
    try {
        Check(sqlite3_exec(db, "create table items (id integer primary key, caption text, editcap text);",
                           nullptr, nullptr, nullptr),
              db);
        const Clock::time_point insertStart = Clock::now();
        Check(sqlite3_exec(db, "begin;", nullptr, nullptr, nullptr), db);
        sqlite3_stmt* insert = nullptr;
        Check(sqlite3_prepare_v2(db, "insert into items (id, caption, editcap) values (?, ?, null);", -1,
                                 &insert, nullptr),
              db);
        for (int id = 1; id <= kRows; ++id) {
            const std::string caption = CaptionOf(id).toStdString();
            sqlite3_bind_int(insert, 1, id);
            sqlite3_bind_text(insert, 2, caption.c_str(), static_cast<int>(caption.size()), SQLITE_TRANSIENT);
            Check(sqlite3_step(insert), db);
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        Check(sqlite3_exec(db, "commit;", nullptr, nullptr, nullptr), db);
        timing.insert = SecondsSince(insertStart);

        const Clock::time_point readStart = Clock::now();
        sqlite3_stmt* select = nullptr;
        Check(sqlite3_prepare_v2(db, "select id, caption, editcap from items order by id;", -1, &select, nullptr), db);
        std::vector<std::vector<std::string>> rows;
        while (sqlite3_step(select) == SQLITE_ROW) {
            std::vector<std::string> row;
            for (int c = 0; c < 3; ++c) {
                const unsigned char* text = sqlite3_column_text(select, c);
                row.emplace_back(text ? reinterpret_cast<const char*>(text) : "");
            }
            rows.push_back(std::move(row));
        }
        sqlite3_finalize(select);
        timing.read = SecondsSince(readStart);
        if (rows.size() != static_cast<std::size_t>(kRows))
            throw std::runtime_error("read back the wrong rows");
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
    sqlite3_close(db);
    return timing;
}

}  // namespace

int main(int argc, char** argv)
{
    kelvo::bench::preferOffscreen();
    kelvo::KelvoApplication app(argc, argv);
    const kelvo::WindowInstance<kelvo::TForm1> form1(kelvo::Form1);
    const QTemporaryDir dir;
    try {
        const Timing routines = ThroughTheRoutines(dir.filePath("routines.mdb"));
        const Timing sqlite = ThroughSqlite(dir.filePath("sqlite.db").toStdString());
        std::printf("%d rows            routines    SQLite C API    ratio\n", kRows);
        std::printf("insert (one tx)    %8.1f ms  %8.1f ms     %6.1f x\n", routines.insert * 1e3,
                    sqlite.insert * 1e3, routines.insert / sqlite.insert);
        std::printf("read back          %8.1f ms  %8.1f ms     %6.1f x\n", routines.read * 1e3,
                    sqlite.read * 1e3, routines.read / sqlite.read);
        const double routinesTotal = routines.insert + routines.read;
        const double sqliteTotal = sqlite.insert + sqlite.read;
        std::printf("both               %8.1f ms  %8.1f ms     %6.1f x\n", routinesTotal * 1e3,
                    sqliteTotal * 1e3, routinesTotal / sqliteTotal);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "benchmark failed: %s\n", e.what());
        return 1;
    }
    return 0;
}
