// The formula editor driven through its memo, navigator and keys on a test made by the
// program; what it stored is read back from the file.
#include "compiler/exco.h"
#include "data/formula_compiler.h"
#include "dataaware/data_memo.h"
#include "dataaware/dataset.h"
#include "editor/function_help.h"
#include "tests/editor/formula_windows_fixture.h"
#include "tests/support/table_dump.h"

#include <QClipboard>
#include <QLabel>
#include <QToolButton>

#include <map>

using namespace kelvo;
using dataaware::NavigatorButton;

namespace {

class FormulaEditor : public kelvo::testing::FormulaWindowsFixture {
protected:
    void SetUp() override
    {
        FormulaWindowsFixture::SetUp();
        AddQuestions(5, 3);
        AddVariables(3);
    }

    // Opens the editor on `variable` as the Variables page does (the window is shown
    // modeless, so that the test can go on driving it).
    void Open(int variable, int mode = kFormulaEditorBrowse)
    {
        gFormulaVariableId = variable;
        gFormulaEditorMode = mode;
        Form6->trialAnswerSeed = 7;
        Form6->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Form6));
    }

    static void Click(NavigatorButton button) { QTest::mouseClick(Form6->nav->button(button), Qt::LeftButton); }

    static void Ctrl(Qt::Key key) { QTest::keyClick(Form6->memo, key, Qt::ControlModifier); }

    // Types `lines` into the memo, Enter between them.
    static void Type(const QStringList& lines)
    {
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (i > 0)
                QTest::keyClick(Form6->memo, Qt::Key_Return);
            QTest::keyClicks(Form6->memo, lines[i]);
        }
    }

    // A new formula typed and posted with the memo's keys.
    void Enter(const QStringList& lines)
    {
        Ctrl(Qt::Key_Insert);
        Type(lines);
        Ctrl(Qt::Key_S);
    }

    static QString CompileError(const QString& name, const QString& item)
    {
        return QStringLiteral("Exco exception.\r\n\r\nThis is invalid Exco formula.\r\n\r\n") + name
               + QStringLiteral("\r\n\r\n\"") + item + QStringLiteral("\"");
    }
};

TEST_F(FormulaEditor, StoresATypedFormulaNormalisedAfterItsTrialRun)
{
    Open(2);
    EXPECT_EQ(Form6->windowTitle(), QStringLiteral("Variables formula editor"));
    Enter({QStringLiteral("IF(Item2 = 2,"), QStringLiteral(" 3)"), QStringLiteral("+ VAR1")});

    EXPECT_EQ(script.texts(), QStringList());
    EXPECT_EQ(StoredFormulas(2), QStringList({QStringLiteral("if(item2=2,3)+var1")}));
    EXPECT_EQ(Form6->memo->toPlainText(), QStringLiteral("if(item2=2,3)+var1"));
    EXPECT_EQ(Form6->Query->state(), dataaware::DatasetState::Browse);
    EXPECT_EQ(Form6->statusPanels[1]->text(), QStringLiteral("var2"));
    EXPECT_EQ(Form6->statusPanels[3]->text(), QStringLiteral("1"));

    // "=<" and "=>" are written the other way round.
    Enter({QStringLiteral("if(item1 =< 2) + if(item3=>1)")});
    EXPECT_EQ(StoredFormulas(2),
              QStringList({QStringLiteral("if(item2=2,3)+var1"), QStringLiteral("if(item1<=2)+if(item3>=1)")}));
    EXPECT_EQ(Form6->statusPanels[3]->text(), QStringLiteral("2"));
}

TEST_F(FormulaEditor, RefusesFaultyFormulasWithTheirMessagesAndStoresNothing)
{
    const struct {
        const char* typed;
        const char* normalised;
        QString message;
    } cases[] = {
        {"Foo(1)", "foo(1)", CompileError(QStringLiteral("UNKNOWN FUNCTION"), QStringLiteral("foo"))},
        {"(1+2", "(1+2", CompileError(QStringLiteral("MISSING \")\" BRACKET"), QStringLiteral("(1+2"))},
        {"if(item9=1)", "if(item9=1)", QStringLiteral("Item not exists: item9\r\n\r\n")},
        {"2*var7", "2*var7", QStringLiteral("Variable not exists:     var7\r\n\r\n")},
        {"var3+1", "var3+1",
         QStringLiteral("This variable will not be initialized (calculated) at moment of starting computing this "
                        "formula:     var3\r\n\r\n")},
        // A fault of the trial run itself has no compiler error to name.
        {"sqrt(-1-var1*var1)", "sqrt(-1-var1*var1)", CompileError({}, {})},
        // A constant part is computed while compiling.
        {"1/0", "1/0", CompileError(QStringLiteral("DIVIDE ON ZERO"), QStringLiteral("1/0"))},
        {"data1", "data1", QStringLiteral("This is not valid numeric data field: data1\r\n\r\n")},
        {"if(item5>3)", "if(item5>3)",
         QStringLiteral("True/False const.\nYou enter a logical if expression that is always true (false).\r\n\r\n")},
        {"if(item2 = 'a')", "if(item2='a')", QStringLiteral("This character is forbidden in formula: '\r\n\r\n")},
    };
    Open(2);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        script.clear();
        Enter({QString::fromLatin1(c.typed)});
        EXPECT_EQ(script.lastText(), c.message);
        EXPECT_EQ(Form6->memo->toPlainText(), QString::fromLatin1(c.normalised));
        // The author stays in the new row with the text in its normal form.
        EXPECT_EQ(Form6->Query->state(), dataaware::DatasetState::Insert);
        Click(NavigatorButton::Cancel);
    }
    EXPECT_EQ(StoredFormulas(2), QStringList());

    // The compiler's state was cleared after each report: a sound formula passes now.
    script.clear();
    Enter({QStringLiteral("sqrt(4)")});
    EXPECT_EQ(script.texts(), QStringList());
    EXPECT_EQ(StoredFormulas(2), QStringList({QStringLiteral("sqrt(4)")}));
}

TEST_F(FormulaEditor, AnEmptyFormulaIsNotStoredAndNothingIsSaid)
{
    Open(1);
    Enter({QStringLiteral("   ")});
    EXPECT_EQ(script.texts(), QStringList());
    EXPECT_EQ(Form6->memo->toPlainText(), QString());
    EXPECT_EQ(StoredFormulas(1), QStringList());
}

TEST_F(FormulaEditor, CancelAndClosingLeaveTheStoredFormulasAsTheyWere)
{
    AddFormula(1, QStringLiteral("if(item1=1)"));
    AddFormula(1, QStringLiteral("if(item2=2)"));
    Open(1);
    // The window opens on the last formula.
    EXPECT_EQ(Form6->memo->toPlainText(), QStringLiteral("if(item2=2)"));

    QTest::keyClicks(Form6->memo, QStringLiteral("+5"));
    EXPECT_EQ(Form6->Query->state(), dataaware::DatasetState::Edit);
    Click(NavigatorButton::Cancel);
    EXPECT_EQ(Form6->memo->toPlainText(), QStringLiteral("if(item2=2)"));

    Ctrl(Qt::Key_Home);
    EXPECT_EQ(Form6->memo->toPlainText(), QStringLiteral("if(item1=1)"));
    QTest::keyClicks(Form6->memo, QStringLiteral("*2"));
    Form6->reject();
    EXPECT_FALSE(Form6->Query->isActive());
    EXPECT_EQ(StoredFormulas(1), QStringList({QStringLiteral("if(item1=1)"), QStringLiteral("if(item2=2)")}));
}

TEST_F(FormulaEditor, CtrlDeleteRemovesTheFormulaAndTheCountFollows)
{
    AddFormula(3, QStringLiteral("1"));
    AddFormula(3, QStringLiteral("2"));
    Open(3);
    EXPECT_EQ(Form6->statusPanels[3]->text(), QStringLiteral("2"));
    Ctrl(Qt::Key_Delete);
    EXPECT_EQ(StoredFormulas(3), QStringList({QStringLiteral("1")}));
    EXPECT_EQ(Form6->statusPanels[3]->text(), QStringLiteral("1"));
}

TEST(FormulaEditorWindow, OwnsTheProgramsCompilerComponentForItsLifetime)
{
    const TExco* owned = nullptr;
    {
        const WindowInstance<TForm6> form6(Form6);
        owned = Form6->exco();
        ASSERT_NE(owned, nullptr);
        EXPECT_EQ(&FormulaCompiler(), owned);
    }
    EXPECT_NE(&FormulaCompiler(), owned);
}

// The keys of the help list in list order with their number of lines.
std::vector<std::pair<QString, int>> HelpKeys()
{
    std::vector<std::pair<QString, int>> keys;
    for (const QString& line : gFunctionHelp()) {
        const QString key = FunctionHelpKey(line);
        if (keys.empty() || keys.back().first != key)
            keys.emplace_back(key, 0);
        ++keys.back().second;
    }
    return keys;
}

TEST(FunctionHelpList, HoldsEveryKeyInOrderWithItsLines)
{
    QStringList expected;
    for (const char* key : {"if(i 8", "icnt( 2", "icnt 1", "isum( 2", "isum 1", "iavg( 2", "iavg 1", "istd( 1",
                            "ivrn( 1", "imin( 2", "imin 1", "imax( 2", "imax 1", "if( 7"})
        expected << QString::fromLatin1(key);
    for (const char* name :
         {"sin",    "cos",     "tan",    "tg",      "cot",   "cotan",   "ctg",    "arcsin",    "asin",   "arccos",
          "acos",   "arctan",  "atan",   "arccotan", "arcctg", "acot",  "sinh",   "sh",        "cosh",   "ch",
          "tanh",   "th",      "cotanh", "cth",     "coth",  "arcsinh", "arcsh",  "asinh",     "arccosh", "acosh",
          "arctanh", "arcth",  "atanh",  "arccotanh", "arccth", "acoth", "sqrt",  "sqr",       "ln",     "exp",
          "lg",     "log10",   "abs",    "log2",    "lg2",   "fact",    "trunc",  "frac",      "sign",   "sgn",
          "fact2",  "power",   "logn",   "log",     "root",  "sum",     "sumq",   "avr",       "norm",   "max",
          "min",    "len",     "prod"})
        expected << QString::fromLatin1(name) + QStringLiteral("( 2");
    QStringList keys;
    for (const auto& [key, lines] : HelpKeys())
        keys << key + u' ' + QString::number(lines);
    EXPECT_EQ(keys, expected);
    EXPECT_EQ(gFunctionHelp().size(), 158);

    // A function's first line is its syntax.
    QString previousKey;
    for (const QString& line : gFunctionHelp()) {
        const QString key = FunctionHelpKey(line);
        if (key != previousKey && key.endsWith(u'(') && key != QStringLiteral("if(")) {
            EXPECT_TRUE(FunctionHelpText(line).startsWith(key)) << line.toStdString();
        }
        previousKey = key;
    }
}

TEST_F(FormulaEditor, TheHelpPanelShowsTheFunctionBeforeTheCaret)
{
    AddFormula(1, QStringLiteral("1"));
    Open(1);
    Ctrl(Qt::Key_Insert);
    // Every key of the list, typed after a bracket so that the help starts; the text is
    // every line of the key, in list order.
    for (const auto& [key, lines] : HelpKeys()) {
        SCOPED_TRACE(key.toStdString());
        Form6->memo->clear();
        QTest::keyClicks(Form6->memo, u'(' + key);
        QString expected;
        for (const QString& line : gFunctionHelp())
            if (FunctionHelpKey(line) == key)
                expected += FunctionHelpText(line) + u'\n';
        EXPECT_EQ(Form6->pb->text(), expected);
        EXPECT_TRUE(Form6->panel->isVisible());
    }

    const struct {
        const char* typed;
        QString help;
    } cases[] = {
        {"1+sqrt(", QStringLiteral("sqrt(number)\nReturns the square root of the number.\n")},
        {"2 * root(", QStringLiteral("root(argument, root_number: number)\nReturns calculation of the radical. Ex: "
                                     "root(-27,3) = -3\n")},
        {"sign(x)+frac(", QStringLiteral("frac(number)\nReturns the fractional part of the argument. frac(X)= "
                                         "X-Int(X)\n")},
        // "if(i" is longer than "if(".
        {"if(item",
         QStringLiteral("if(item_reference operator answer_reference, value_if_true, value_if_false)\n"
                        "if(item_reference operator answer_reference, value_if_true)\n"
                        "if(item_reference operator answer_reference)\nLegend:\nitem_reference: question number\n"
                        "operator:  =, <,  >,  <>,  <=,  >=\nanswer_reference: position of answer within question\n"
                        "value_if_true/value_if_false: number. Default: 1/0\n")},
        {"if(var1", QStringLiteral("if(argument1 operator argument2, value_if_true, value_if_false)\n"
                                   "if(argument1 operator argument2, value_if_true)\n"
                                   "if(argument1 operator argument2)\nLegend:\n"
                                   "argument1/argument2: any valid numeric value (number, var, data)\n"
                                   "operator:  =, <,  >,  <>,  <=,  >=\n"
                                   "value_if_true/value_if_false: number. Default: 1/0\n")},
        {"(isum5", QStringLiteral("isum item number\n")},
        // Only the last ten characters count: the bracket of "sqrt(" lies further back.
        {"sqrt(1+2+3+4+5", QString()},
        // No bracket before the caret, no help.
        {"icnt5", QString()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        Form6->memo->clear();
        QTest::keyClicks(Form6->memo, QString::fromLatin1(c.typed));
        EXPECT_EQ(Form6->pb->text(), c.help);
        EXPECT_EQ(Form6->panel->isVisible(), !c.help.isEmpty());
    }

    // The text before the caret spans the lines above it; the panel stands below the caret.
    Form6->memo->clear();
    Type({QStringLiteral("1+"), QStringLiteral("ln(")});
    EXPECT_EQ(Form6->pb->text(), QStringLiteral("ln(number)\nReturns the natural logarithm of the number.\n"));
    EXPECT_GT(Form6->panel->y(), Form6->memo->y() + Form6->memo->cursorRect().y());
    EXPECT_GE(Form6->panel->width(), Form6->pb->fontMetrics().horizontalAdvance(QStringLiteral("ln(number)")));

    // Help switched off: the panel goes and stays hidden.
    QTest::mouseClick(Form6->tool1, Qt::LeftButton);
    EXPECT_FALSE(Form6->panel->isVisible());
    QTest::keyClicks(Form6->memo, QStringLiteral("exp("));
    EXPECT_FALSE(Form6->panel->isVisible());
}

// Awkward texts typed (or pasted: a NUL, a very long formula) into the memo: each formula
// is stored as its normal form or refused with a message, and nothing but its row
// changes in the file.
TEST_F(FormulaEditor, AwkwardFormulasAreStoredExactlyOrRefused)
{
    QString longSum = QStringLiteral("1");
    while (longSum.size() < 100000)
        longSum += QStringLiteral("+0");
    struct Case {
        QString typed;
        bool paste;
        QString stored;   // empty: refused
        QString message;  // the start of the message of a refusal
    };
    const Case cases[] = {
        {"1+\"2\"", false, {}, "Exco exception."},
        {"1;2", false, {}, "Exco exception."},
        {"if(item1=1,1;0)", false, {}, ""},
        {QString("1+") + QChar(0) + "2", true, "1+2", {}},
        {"inf", false, {}, "Exco exception."},
        {"NaN", false, {}, "Exco exception."},
        // Extended holds it: the formula is stored, and each run logs its overflow.
        {"1e400", false, "1e400", {}},
        {"-0", false, "-0", {}},
        {"1e308*10", false, "1e308*10", {}},
        {longSum, true, longSum, {}},
        {QString(100000, QChar('x')), true, {}, ""},
    };
    Open(2);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.left(20).toStdString());
        const kelvo::testing::TableDump before = kelvo::testing::DumpTables();
        script.clear();
        Ctrl(Qt::Key_Insert);
        if (c.paste) {
            QApplication::clipboard()->setText(c.typed);
            QTest::keyClick(Form6->memo, Qt::Key_V, Qt::ControlModifier);
        } else {
            QTest::keyClicks(Form6->memo, c.typed);
        }
        Ctrl(Qt::Key_S);
        QStringList changes = kelvo::testing::DumpChanges(before, kelvo::testing::DumpTables());
        if (c.stored.isEmpty()) {
            EXPECT_FALSE(script.texts().isEmpty()) << StoredFormulas(2).join(" | ").left(200).toStdString();
            EXPECT_TRUE(script.lastText().startsWith(c.message)) << script.lastText().left(200).toStdString();
            EXPECT_EQ(Form6->Query->state(), dataaware::DatasetState::Insert);
            Click(NavigatorButton::Cancel);
            EXPECT_EQ(StoredFormulas(2), QStringList());
            EXPECT_EQ(changes, QStringList()) << changes.join("\n").toStdString();
            continue;
        }
        EXPECT_EQ(script.texts(), QStringList()) << script.texts().join(" | ").left(300).toStdString();
        EXPECT_EQ(StoredFormulas(2), QStringList{c.stored});
        changes.removeIf([](const QString& change) { return change.startsWith("formula/"); });
        EXPECT_EQ(changes, QStringList());
        ExecSQL("delete from formula;");
        Form6->Query->refresh();
    }
}

}  // namespace
