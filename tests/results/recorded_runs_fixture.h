#pragma once
// A locked test whose runs are recorded by the test window itself: a chosen answer, a
// typed answer, blank answers, a number and a text data field, and variables that read
// answers, data fields, other variables and their own running result.

#include "data/database.h"
#include "tests/run/run_window_fixture.h"
#include "ui/dialog_service.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QTest>

#include <map>

namespace kelvo::testing {

// What one respondent does: the answer slot clicked on the sample question (-1 none),
// the typed text of the second question (empty: its answer `secondSlot`, -1 none), and
// the two data fields.
struct Respondent {
    int firstSlot;
    int secondSlot;
    QString typed;
    QString weight;
    QString town;
};

class RecordedRunsFixture : public TestWindowFixture {
protected:
    static inline const Respondent kRespondents[] = {
        {1, -1, "my own words", "2.5", "Oslo"},
        {-1, -1, "", "", ""},
        {0, 1, "", "7.25", "Bergen"},
        {1, 0, "", "0.3", ""},
    };

    void BuildTest()
    {
        CreateTest();
        AddQuestion(2, "How often?", {"Never", "Often", "Other"}, "Your words:");
        AddDataField(1, 1, "Weight", "float");
        AddDataField(2, 2, "Town", "string");
        AddVariable(1, "chosen", "true", 0, "null", {"if(item1=1,1,0)+if(item1=2,2,0)", "if(item2=2,10,0)"});
        AddVariable(2, "weight", "true", 0.5, "2", {"data1*2/3"});
        AddVariable(3, "mixed", "true", 0, "null", {"var1/7", "var2*3.3"});
        AddVariable(4, "unchanged", "true", 5, "1");
        AddVariable(5, "last counts", "false", 1, "null", {"2/3", "var3/9+var5"});
        AddVariable(6, "own", "true", 0, "null", {"sqrt(var2+1)"});
        Setting(-20, "true");  // the last answer of a question with a typed caption is typed
        Setting(-29, "true");  // values still at their start are stored as Null
        Lock();
    }

    void TakeRun(const Respondent& r)
    {
        DialogScript script;
        script.answerQuestion(true);  // "End test?"
        TakeTest([&](TForm2* window) {
            QTest::keyClicks(Child<QLineEdit>(window, "data1"), r.weight);
            QTest::keyClicks(Child<QLineEdit>(window, "data2"), r.town);
            QTest::mouseClick(window->btnInstruction, Qt::LeftButton);
            if (r.firstSlot >= 0)
                QTest::mouseClick(Child<QAbstractButton>(window, QString("answer%1").arg(r.firstSlot)), Qt::LeftButton);
            else
                ClickNext(window);
            if (!r.typed.isEmpty()) {
                QTest::keyClicks(Child<QLineEdit>(window, "answer_2"), r.typed);
                ClickNext(window);
            } else if (r.secondSlot >= 0) {
                QTest::mouseClick(Child<QAbstractButton>(window, QString("answer%1").arg(r.secondSlot)), Qt::LeftButton);
            } else {
                ClickNext(window);
            }
        });
        EXPECT_TRUE(script.texts().contains(kEndMessage)) << script.texts().join(" | ").toStdString();
    }

    void TakeAllRuns()
    {
        for (const Respondent& r : kRespondents)
            TakeRun(r);
    }

    // Every stored variable cell of run `id` in datav1, as stored: 17 significant digits
    // tell every double apart; "null" for none, "missing" without a row.
    static std::map<QString, QString> StoredVariables(int id)
    {
        std::map<QString, QString> values;
        const engine::ResultSet rows = Form1->con.select(QString("select * from datav1 where id = %1;").arg(id));
        for (int c = 1; c < rows.columnCount(); ++c) {
            const QVariant cell = rows.rows.empty() ? QVariant() : rows.rows[0][c];
            values[rows.columns[c].name] = rows.rows.empty() ? QString("missing")
                                           : cell.isNull()   ? QString("null")
                                                             : QString::number(cell.toDouble(), 'g', 17);
        }
        return values;
    }
};

}  // namespace kelvo::testing
