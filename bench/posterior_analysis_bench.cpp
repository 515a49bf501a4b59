// How long a posterior analysis of many stored runs takes, pressed in its dialog as the
// author does: every run's answers are read back, its formulas rewritten, compiled and
// evaluated afresh, and its values stored. Prints the time per run, how often the
// progress window was painted, and the executable memory before and after.

#include "bench_support.h"
#include "bench_test_file.h"
#include "app/main_window.h"
#include "app/window_instance.h"
#include "compiler/exec_arena.h"
#include "data/database.h"
#include "data/schema.h"
#include "engine/connection.h"
#include "model/messages.h"
#include "model/run_recording.h"
#include "results/posterior_analysis_window.h"
#include "ui/application.h"
#include "ui/log_window.h"
#include "ui/progress_window.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <cstdio>
#include <random>

namespace {

using namespace kelvo;

struct TestShape {
    const char* name;
    int questions;
    int answers;
    int variables;
    int formulasEach;  // 0: the long test's five conditions and every tenth an aggregate
    int runs;
};

QStringList formulasOf(const TestShape& shape, int v)
{
    QStringList formulas;
    if (shape.formulasEach == 0) {
        for (int k = 0; k < 5; ++k)
            formulas << QStringLiteral("if(item%1=%2,1,0)").arg((v * 5 + k) % shape.questions + 1).arg(k % shape.answers + 1);
        if (v % 10 == 0)
            formulas << QStringLiteral("isum%1/10+var%2").arg(v).arg(v - 1);
        return formulas;
    }
    for (int f = 0; f < shape.formulasEach; ++f) {
        const int q = (v * shape.formulasEach + f) % shape.questions + 1;
        formulas << (f % 3 == 0   ? QStringLiteral("if(item%1=%2,2,0)").arg(q).arg(f % shape.answers + 1)
                     : f % 3 == 1 ? QStringLiteral("isum(1,%1)/2+var%2").arg(q).arg(v)
                                  : QStringLiteral("if(if(item%1=1)+if(item%1=2)>0,1,-1)*sqrt(%2)").arg(q).arg(f));
    }
    return formulas;
}

// A locked test of the shape with `runs` stored runs of random answers, as the test
// window writes them.
void fillTest(engine::Connection& connection, const TestShape& shape)
{
    for (const QString& statement : schemaStatements())
        connection.execute(statement);
    writeDefaultRows(connection);
    engine::Transaction transaction(connection);
    ExecSQL(QStringLiteral("delete from items;"));
    QStringList captions;
    for (int a = 1; a <= shape.answers; ++a)
        captions << QStringLiteral("answer %1").arg(a);
    for (int q = 1; q <= shape.questions; ++q) {
        ExecSQL(QStringLiteral("insert into items (id, caption) values (%1, 'Question %1');").arg(q));
        for (const QString& caption : captions)
            ExecSQL(QStringLiteral("insert into answers (itemid, caption) values (%1, '%2');").arg(q).arg(caption));
    }
    for (int v = 1; v <= shape.variables; ++v) {
        ExecSQL(QStringLiteral("insert into variables (id, caption, cumul, start, decnum) values (%1, 'v', true, 0, 2);").arg(v));
        for (const QString& formula : formulasOf(shape, v))
            ExecSQL(QStringLiteral("insert into formula (varid, formula) values (%1, '%2');").arg(v).arg(formula));
    }
    bench::addResultTables(shape.questions, shape.variables);
    ExecSQL(QStringLiteral("update testd set v = 'true' where id = 0;"));

    std::mt19937 generator(7);
    std::uniform_int_distribution<int> pick(0, shape.answers);  // shape.answers: left blank
    std::vector<int> questionIds;
    for (int q = 1; q <= shape.questions; ++q)
        questionIds.push_back(q);
    std::vector<std::pair<int, QString>> noValues;
    for (int v = 1; v <= shape.variables; ++v)
        noValues.emplace_back(v, QString());
    for (int run = 1; run <= shape.runs; ++run) {
        ExecSQL(QStringLiteral("insert into datac (id, test_date, username, finished) values (%1, '2026-12-10', 'b', true);")
                    .arg(run));
        AnswerTexts answers(static_cast<size_t>(shape.questions), std::vector<QString>(static_cast<size_t>(shape.answers)));
        for (auto& row : answers)
            if (const int chosen = pick(generator); chosen < shape.answers)
                row[static_cast<size_t>(chosen)] = captions[chosen];
        for (const QString& statement : ItemAnswerStatements(run, questionIds, answers))
            ExecSQL(statement);
        for (const QString& statement : VariableValueStatements(run, noValues))
            ExecSQL(statement);
    }
    transaction.commit();
}

// Counts the frames the progress window shows.
class ProgressPaints : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            if (auto* widget = qobject_cast<QWidget*>(watched); widget && qobject_cast<TForm20*>(widget->window()))
                ++paints;
        return false;
    }
};

void measure(const TestShape& shape)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("posterior.mdb"));
    engine::createDatabase(path, kDatabasePassword);
    {
        engine::Connection connection;
        QString text = ConnectionStringTemplate();
        text.replace(QStringLiteral("C:\\db2.mdb"), path);
        connection.setConnectionString(text);
        connection.open();
        Form1->con.close();
        Form1->con.setConnectionString(connection.connectionString());
        Form1->con.open();
        fillTest(Form1->con, shape);
    }
    const size_t executableBefore = exco::ExecArena::instance().mappedBytes();

    DialogScript script;
    script.answerQuestion(true);
    TForm19 dialog;
    dialog.show();
    dialog.eStart->setText(QStringLiteral("1"));
    dialog.eStop->setText(QString::number(shape.runs));
    ProgressPaints counter;
    qApp->installEventFilter(&counter);
    QElapsedTimer timer;
    timer.start();
    dialog.btnCompute->click();
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    qApp->removeEventFilter(&counter);

    const RowSet check = SelectToVariant(QStringLiteral("select count(*) from datac where aposterior = true;"));
    std::printf("%s: %d runs, %d questions, %d variables: %.2f s (%.3f ms per run); progress shown %d times "
                "(%.1f per second); executable memory %zu KiB before, %zu KiB after, %zu live routines; %d runs "
                "marked; \"%s\"\n",
                shape.name, shape.runs, shape.questions, shape.variables, seconds, seconds * 1e3 / shape.runs,
                counter.paints, counter.paints / seconds, executableBefore / 1024,
                exco::ExecArena::instance().mappedBytes() / 1024, exco::ExecArena::instance().liveRoutines(),
                check.isNull() ? 0 : check.integer(0, 0),
                qPrintable(script.texts().join(QStringLiteral(" | ")).replace(QStringLiteral("\r\n"), QStringLiteral(" "))));
    Form1->con.close();
}

}  // namespace

int main(int argc, char** argv)
{
    bench::preferOffscreen();
    KelvoApplication app(argc, argv);
    WindowInstance<TForm1> form1(Form1);
    WindowInstance<TForm7> form7(Form7);
    measure({"100 questions, 20 x 10 formulas", 100, 5, 20, 10, bench::sized(10000, 50)});
    measure({"the long test", 500, 4, 100, 0, bench::sized(1000, 20)});
    return 0;
}
