// How fast the formula editor answers the author: the time from a key press in the memo
// to the help panel's update (short and long formulas), and the trial run of a formula
// of 200 terms (its item terms rewritten for the trial answers, compiled and run once),
// alone and as part of storing it (checks, rewriting, trial run, write). Goal: under
// 5 ms each, so that typing never lags.

#include "bench_support.h"
#include "bench_test_file.h"
#include "app/main_window.h"
#include "app/window_instance.h"
#include "data/database.h"
#include "data/formula_language.h"
#include "data/schema.h"
#include "dataaware/data_memo.h"
#include "dataaware/dataset.h"
#include "editor/formula_builder_window.h"
#include "editor/formula_editor_window.h"
#include "engine/connection.h"
#include "ui/application.h"

#include <QKeyEvent>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>

namespace {

using namespace kelvo;
using Clock = std::chrono::steady_clock;

const int kQuestions = 200;
const int kAnswers = 4;

void fillTest(engine::Connection& con)
{
    engine::Transaction transaction(con);
    for (int q = 1; q <= kQuestions; ++q) {
        con.execute(QStringLiteral("insert into items (id, caption) values (%1, 'q');").arg(q));
        for (int a = 1; a <= kAnswers; ++a)
            con.execute(QStringLiteral("insert into answers (itemid, caption) values (%1, 'a%2');").arg(q).arg(a));
    }
    for (int v = 1; v <= 2; ++v)
        con.execute(QStringLiteral("insert into variables (id, caption) values (%1, 'v');").arg(v));
    transaction.commit();
}

// 200 terms: item conditions, aggregates, functions and a variable, as authors write them.
QString longFormula()
{
    QStringList terms;
    for (int t = 0; t < 200; ++t) {
        const int q = t % kQuestions + 1;
        switch (t % 4) {
        case 0: terms << QStringLiteral("if(item%1=%2,2,0)").arg(q).arg(t % kAnswers + 1); break;
        case 1: terms << QStringLiteral("isum(%1,%2)/3").arg(q).arg(std::min(q + 5, kQuestions)); break;
        case 2: terms << QStringLiteral("sqrt(%1)*var1").arg(t); break;
        default: terms << QStringLiteral("if(if(item%1=1)+if(item%1=2)>0,1,-1)").arg(q); break;
        }
    }
    return terms.join(u'+');
}

double milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Types `text` key by key after what the memo holds; the mean time per key, the paint
// of the panel included.
double keyToHelp(const QString& start, const QString& typed)
{
    Form6->memo->setPlainText(start);
    Form6->memo->moveCursor(QTextCursor::End);
    QCoreApplication::processEvents();
    Clock::duration total {};
    for (const QChar ch : typed) {
        const auto begin = Clock::now();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(Form6->memo, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(Form6->memo, &release);
        QCoreApplication::processEvents();
        total += Clock::now() - begin;
    }
    return milliseconds(total) / static_cast<double>(typed.size());
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    KelvoApplication app(argc, argv);
    WindowInstance<TForm1> form1(Form1);
    WindowInstance<TForm5> form5(Form5);
    WindowInstance<TForm6> form6(Form6);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.mdb"));
    bench::openEmptyTest(path);
    fillTest(Form1->con);

    gFormulaVariableId = 2;
    gFormulaEditorMode = kFormulaEditorInsert;
    Form6->trialAnswerSeed = 1;
    Form6->show();
    QCoreApplication::processEvents();

    const QString typed = QStringLiteral("if(item3=2,5)+sqrt(isum(1,4))+ln(2)*arccotanh(3)");
    std::printf("key press to help panel, short formula:   %7.3f ms per key\n", keyToHelp({}, typed));
    const QString formula = longFormula();
    std::printf("key press to help panel, %5lld characters: %7.3f ms per key\n",
                static_cast<long long>(formula.size()), keyToHelp(formula + u'+', typed));

    const int trials = bench::sized(50, 5);
    QString translated = formula;
    TranslateFormulaForCompile(translated, gFormulaVariableId);
    const auto begin = Clock::now();
    int passed = 0;
    for (int i = 0; i < trials; ++i)
        passed += Form6->TrialRunFormula(translated) ? 1 : 0;
    const double trial = milliseconds(Clock::now() - begin) / trials;
    const auto rewriting = Clock::now();
    for (int i = 0; i < trials; ++i) {
        QString prepared = translated;
        PrepareItemTerms(prepared);
    }
    std::printf("trial run of 200 terms:                   %7.3f ms (%d of %d ran), %.3f ms of it rewriting the item "
                "terms\n",
                trial, passed, trials, milliseconds(Clock::now() - rewriting) / trials);

    Clock::duration storing {};
    for (int i = 0; i < 10; ++i) {
        Form6->nav->press(dataaware::NavigatorButton::Insert);
        Form6->memo->setPlainText(formula);
        const auto start = Clock::now();
        Form6->nav->press(dataaware::NavigatorButton::Post);
        storing += Clock::now() - start;
    }
    const RowSet stored = SelectToVariant(QStringLiteral("select count(*) from formula;"));
    std::printf("storing it (checks, trial run, write):     %7.3f ms (%d stored)\n", milliseconds(storing) / 10,
                stored.integer(0, 0));
    Form6->reject();
    return 0;
}
