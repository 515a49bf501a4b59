#include "model/formula_rewriting.h"

#include "model/messages.h"

#include <gtest/gtest.h>

namespace kelvo {
namespace {

// Questions 1, 2, 3, 5, 8, 10 and 12 with three answer slots each.
FormulaAnswers sampleAnswers()
{
    FormulaAnswers answers;
    answers.questionIds = {1, 2, 3, 5, 8, 10, 12};
    answers.matrix = {
        {0, 2, 0},   // 1: answer 2 chosen
        {0, 0, 0},   // 2: nothing
        {0, 0, -1},  // 3: an answer typed
        {1, 0, 3},   // 5: answers 1 and 3 chosen
        {0, 0, 3},   // 8: answer 3
        {1, 0, 0},   // 10: answer 1
        {0, 0, 3},   // 12: answer 3
    };
    return answers;
}

struct RewriteCase {
    const char* formula;
    const char* expected;
};

void PrintTo(const RewriteCase& c, std::ostream* os) { *os << c.formula; }

class ItemTermRewriting : public ::testing::TestWithParam<RewriteCase> {};

TEST_P(ItemTermRewriting, RewritesForTheAnswers)
{
    QString formula = QString::fromLatin1(GetParam().formula);
    PrepareItemTerms(formula, sampleAnswers());
    EXPECT_EQ(formula.toStdString(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Conditions, ItemTermRewriting,
    ::testing::Values(
        RewriteCase{"if(item1=2,5,0)", "if(0=0,5,0)"},
        RewriteCase{"if(item1=3,5,0)", "if(1=0,5,0)"},
        RewriteCase{"if(item1<>2)", "if(0=0)"},  // the unchosen slots differ from 2
        RewriteCase{"if(item8<>3)", "if(0=0)"},
        RewriteCase{"if(item1>1)", "if(0=0)"},
        RewriteCase{"if(item1>2)", "if(1=0)"},
        RewriteCase{"if(item1<2)", "if(0=0)"},
        RewriteCase{"if(item8<3)", "if(0=0)"},
        RewriteCase{"if(item1<=2)", "if(0=0)"},
        RewriteCase{"if(item1>=3)", "if(1=0)"},
        RewriteCase{"if(item1>=2)", "if(0=0)"},
        RewriteCase{"if(item1=<2)", "if(0=0)"},  // written as stored before normalising
        RewriteCase{"if(item5=1)*if(item5=3)", "if(0=0)*if(0=0)"},
        // Nothing chosen: "=0" asks that every slot be 0, a typed answer counts.
        RewriteCase{"if(item2=0)", "if(0=0)"},
        RewriteCase{"if(item1=0)", "if(1=0)"},
        RewriteCase{"if(item3=0)", "if(1=0)"},
        RewriteCase{"if(item1>0)", "if(0=0)"},
        RewriteCase{"if(item2>0)", "if(1=0)"},
        RewriteCase{"if(item1<>0)", "if(0=0)"},
        RewriteCase{"if(item3<>0)", "if(0=0)"},
        // Negative answer numbers: -1 is a typed answer.
        RewriteCase{"if(item3=-1)", "if(0=0)"},
        RewriteCase{"if(item2=-1)", "if(1=0)"},
        RewriteCase{"if(item3<>-1)", "if(1=0)"},
        RewriteCase{"if(item2<>-1)", "if(0=0)"},
        RewriteCase{"if(item3<-1,7)", "if(3<-1,7)"},  // left for the compiler to compare
        RewriteCase{"if(item12=+3)", "if(0=0)"},
        // Whole question numbers only.
        RewriteCase{"if(item1=1)+if(item10=1)", "if(1=0)+if(0=0)"},
        RewriteCase{"if(item12=3)+if(item1=3)", "if(0=0)+if(1=0)"},
        // Anything undecidable leaves the whole formula in its test-level form.
        RewriteCase{"if(item1=2)+if(item99=1)", "if(item1=2)+if(item99=1)"},
        RewriteCase{"if(item1=x)", "if(item1=x)"},
        RewriteCase{"if(item01=1)", "if(item01=1)"},
        RewriteCase{"if(item1==2)", "if(item1==2)"},
        RewriteCase{"if(item1)", "if(item1)"},
        RewriteCase{"if(item1=2", "if(0=0"},
        RewriteCase{"sin(1)+2", "sin(1)+2"},
        // Combined conditions.
        RewriteCase{"if(if(item1=2)+if(item2=1)>0,5,0)", "if(if(0=0)+if(1=0)>0,5,0)"},
        RewriteCase{"if(if(item5=1)*if(item5=2)*if(item5=3)>0)",
                    "if(if(0=0)*if(1=0)*if(0=0)>0)"}));

INSTANTIATE_TEST_SUITE_P(
    Aggregates, ItemTermRewriting,
    ::testing::Values(
        RewriteCase{"isum1", "2"},
        RewriteCase{"isum(5)", "4"},
        RewriteCase{"isum(1,3)", "1"},
        RewriteCase{"isum(3,1)", "1"},
        RewriteCase{"isum12+isum1", "3+2"},
        RewriteCase{"isum1+isum12", "2+3"},
        // A negative value stands in brackets after any operator.
        RewriteCase{"isum3", "(-1)"},
        RewriteCase{"2*isum3", "2*(-1)"},
        RewriteCase{"5-isum3", "5-(-1)"},
        RewriteCase{"isum3^2", "(-1)^2"},
        RewriteCase{"max(1,isum3)", "max(1,(-1))"},
        RewriteCase{"icnt(1,5)", "3"},
        RewriteCase{"icnt(2,8)", "3"},  // ids 2, 3, 5 and 8 only
        RewriteCase{"icnt2", "0"},
        RewriteCase{"iavg(1,2)", "1"},
        RewriteCase{"iavg(1,3)", "0.3333333333333333"},
        RewriteCase{"istd(1,2)", "1.4142135623730951"},
        RewriteCase{"ivrn(1,2)", "2"},
        RewriteCase{"imin(1,5)", "(-1)"},
        RewriteCase{"imax(1,5)", "4"},
        RewriteCase{"imax(5,12)", "4"},
        // istd and ivrn need two questions or more; a failing aggregate stops the expansion.
        RewriteCase{"istd(5,5)", "istd(5,5)"},
        RewriteCase{"ivrn(5)", "ivrn(5)"},
        RewriteCase{"isum1+istd5+imax1", "2+istd5+imax1"},
        RewriteCase{"isum(4,5)", "isum(4,5)"},
        RewriteCase{"isum(1,x)", "isum(1,x)"},
        RewriteCase{"isum(1", "isum(1"},
        RewriteCase{"isum(x)+imax1", "isum(x)+2"},  // that name is skipped, the next goes on
        RewriteCase{"1+isum", "1+isum"},
        RewriteCase{"if(item1=2,isum5,0)", "if(0=0,4,0)"}));

TEST(ItemTermRewriting, SampleVarianceOfThreeQuestions)
{
    // ids 10 and 12 are neighbours in the id list: values 1 and 3.
    QString formula = QStringLiteral("ivrn(10,12)");
    FormulaAnswers answers = sampleAnswers();
    ExpandItemFunctions(formula, answers);
    EXPECT_EQ(formula, QStringLiteral("2"));
}

TEST(ItemTermRewriting, UsesTheCurrentAnswers)
{
    SetCurrentFormulaAnswers(sampleAnswers());
    QString formula = QStringLiteral("if(item1=2,isum5,0)");
    PrepareItemTerms(formula);
    EXPECT_EQ(formula, QStringLiteral("if(0=0,4,0)"));
}

TEST(ItemTermRewriting, AnswersWithoutSlotsOrRows)
{
    // A test whose questions have no answers: every slot list is empty.
    FormulaAnswers empty;
    empty.questionIds = {1, 2};
    empty.matrix = {{}, {}};
    QString formula = QStringLiteral("if(item1=0)+if(item2>0)+isum(1,2)+icnt(1,2)");
    PrepareItemTerms(formula, empty);
    EXPECT_EQ(formula, QStringLiteral("if(0=0)+if(1=0)+0+0"));

    // A matrix shorter than the id list is a failed read: the formula stays.
    FormulaAnswers shortMatrix;
    shortMatrix.questionIds = {1, 2};
    shortMatrix.matrix = {{1}};
    QString condition = QStringLiteral("if(item2=1)");
    EvaluateItemConditions(condition, shortMatrix);
    EXPECT_EQ(condition, QStringLiteral("if(item2=1)"));
    QString aggregate = QStringLiteral("isum(1,2)");
    ExpandItemFunctions(aggregate, shortMatrix);
    EXPECT_EQ(aggregate, QStringLiteral("isum(1,2)"));
}

TEST(FormulaText, Normalisation)
{
    const std::pair<const char*, const char*> cases[] = {
        {"IF(Item3 = 2 , 4)", "if(item3=2,4)"},
        {"a=<b", "a<=b"},
        {"A => B", "a>=b"},
        {"if(item3=<2)+if(item4=>1)", "if(item3<=2)+if(item4>=1)"},
    };
    for (const auto& [input, expected] : cases) {
        QString formula = QString::fromLatin1(input);
        NormalizeFormula(formula);
        EXPECT_EQ(formula.toStdString(), expected) << input;
    }
}

TEST(FormulaText, ReferenceNumbers)
{
    const QString formula = QStringLiteral("var12+var1*var0+var07+var+vars[3]+data2");
    EXPECT_EQ(ExtractReferenceNumbers(formula, QStringLiteral("var")), (std::vector<int>{12, 1}));
    EXPECT_EQ(ExtractReferenceNumbers(formula, QStringLiteral("data")), (std::vector<int>{2}));
    EXPECT_TRUE(ExtractReferenceNumbers(formula, QStringLiteral("item")).empty());
    EXPECT_TRUE(ExtractReferenceNumbers(QString(), QStringLiteral("var")).empty());
    // "item" also finds the questions of the item conditions.
    EXPECT_EQ(ExtractReferenceNumbers(QStringLiteral("if(item10=1)+if(item1=2)"),
                                      QStringLiteral("item")),
              (std::vector<int>{10, 1}));
    EXPECT_EQ(ExtractReferenceNumbers(QStringLiteral("if(item10=1)+if(item1=2)"),
                                      QStringLiteral("if(item")),
              (std::vector<int>{10, 1}));
}

TEST(FormulaText, ReferenceNumberTooLargeShowsInternalError8)
{
    DialogScript script;
    EXPECT_EQ(ExtractReferenceNumbers(QStringLiteral("var99999999999+var3"), QStringLiteral("var")),
              (std::vector<int>{0, 3}));
    ASSERT_EQ(script.shown().size(), 1u);
    EXPECT_EQ(script.shown()[0].kind, MessageKind::Error);
    EXPECT_TRUE(script.lastText().startsWith(
        QStringLiteral("Internal error! Error code: 8. If you get this error please send e-mail "
                       "to: \r\n\r\n")));
}

TEST(FormulaText, ItemConditionTexts)
{
    const QString formula = QStringLiteral("if(item12=3,5,0)+if(if(item1=1)+if(item2=3)>0)+if(item4=1");
    EXPECT_EQ(ExtractItemConditions(formula),
              (QStringList{"12=3,5,0", "1=1", "2=3"}));

    EXPECT_EQ(ParseItemConditions(formula),
              (std::vector<ParsedItemCondition>{{12, 3}, {1, 1}, {2, 3}, {4, 1}}));
    EXPECT_EQ(ParseItemConditions(QStringLiteral("if(item3=-1)+if(item3=+2)+if(item3<>0)")),
              (std::vector<ParsedItemCondition>{{3, -1}, {3, 2}, {3, 0}}));
    // An answer number that cannot be read, and conditions without a question number.
    EXPECT_EQ(ParseItemConditions(QStringLiteral("if(item3==1)+if(item3=5-1)+if(item3=)+if(item3")),
              (std::vector<ParsedItemCondition>{{3, kNoAnswerNumber},
                                                {3, kNoAnswerNumber},
                                                {3, kNoAnswerNumber},
                                                {3, kNoAnswerNumber}}));
    EXPECT_TRUE(ParseItemConditions(QStringLiteral("if(item03=1)+if(item=1)")).empty());
}

TEST(FormulaText, WholeReferenceReplacement)
{
    QString formula = QStringLiteral("if(item30=1)+if(item3=2)");
    EXPECT_TRUE(ReplaceWholeReference(formula, QStringLiteral("if(item3"), QStringLiteral("if(item4")));
    EXPECT_EQ(formula, QStringLiteral("if(item30=1)+if(item4=2)"));
    EXPECT_FALSE(ReplaceWholeReference(formula, QStringLiteral("if(item3"), QStringLiteral("x")));

    QString atEnd = QStringLiteral("var12+var1");
    EXPECT_TRUE(ReplaceWholeReference(atEnd, QStringLiteral("var1"), QStringLiteral("vars[0]")));
    EXPECT_EQ(atEnd, QStringLiteral("var12+vars[0]"));
}

TEST(FormulaText, RPosNth)
{
    const QString s = QStringLiteral("a,b,c");
    EXPECT_EQ(RPosNth(s, u',', 1), 4);
    EXPECT_EQ(RPosNth(s, u',', 2), 2);
    EXPECT_EQ(RPosNth(s, u',', 3), 0);
    EXPECT_EQ(RPosNth(s, u',', 0), 0);
    EXPECT_EQ(RPosNth(QString(), u',', 1), 0);
}

FormulaReferenceIds sampleIds()
{
    FormulaReferenceIds ids;
    ids.itemIds = {1, 2, 3, 5, 10};
    ids.variableIds = {1, 3, 12};
    ids.dataFieldIds = {1, 2, 4};
    ids.numericDataFieldIds = {2, 4};
    return ids;
}

TEST(ReferenceRewriting, VariablesAndDataFields)
{
    struct Case {
        const char* formula;
        int own;
        const char* expected;
    };
    const Case cases[] = {
        {"var12+var1", 12, "vars[2]+vars[0]"},
        {"var1+var12", 12, "vars[0]+vars[2]"},
        {"var12+var1", 3, "var12+vars[0]"},  // a later variable is left to the compiler
        {"var3*var3", 3, "vars[1]*vars[1]"},  // its own running value
        {"var0+var2+var01", 12, "var0+var2+var01"},
        {"data2*data4+data1", 1, "data[1]*data[2]+data1"},  // data1 is not numeric
        {"data07+data3", 1, "data07+data3"},
        {"if(item1=1,var1,data4)", 1, "if(item1=1,vars[0],data[2])"},
    };
    for (const Case& c : cases) {
        QString formula = QString::fromLatin1(c.formula);
        TranslateFormulaForCompile(formula, c.own, sampleIds());
        EXPECT_EQ(formula.toStdString(), c.expected) << c.formula;
    }
}

TEST(FormulaChecks, ItemConditionResults)
{
    const AnswerCounts counts = {{1, 3}, {5, 3}};
    const std::pair<const char*, int> cases[] = {
        {"5=1", 0},   {"5=3", 0},   {"5<3", 0},   {"5<>2", 0},  {"5=1,2,0", 0},
        {"5=0", 0},   {"5<>0", 0},  {"5>0", 0},   {"5=-1", 0},  {"5<>-1", 0},
        {"5>3", -4},  {"5=-2", -4}, {"5<0", -4},  {"5>=0", -4}, {"5<-1", -4},
        {"5>-1", -4}, {"5=4", -3},  {"9=1", -2},  {"0=1", -2},  {"5==1", -1},
        {"", -1},     {"5", -1},    {"5=", -1},   {"x=1", -1},  {"5=a", -1},
        {"5=1.5", -1},
    };
    for (const auto& [condition, expected] : cases)
        EXPECT_EQ(CheckItemCondition(QString::fromLatin1(condition), counts), expected) << condition;
}

TEST(FormulaChecks, SyntaxMessages)
{
    const AnswerCounts counts = {{5, 3}};
    EXPECT_EQ(CheckFormulaSyntax(QStringLiteral("if(item5>3)"), counts),
              QStringList{"True/False const.\nYou enter a logical if expression that is always "
                          "true (false)."});
    EXPECT_EQ(CheckFormulaSyntax(QStringLiteral("if(item5=4)"), counts),
              QStringList{"Answer reference out of range."});
    EXPECT_EQ(CheckFormulaSyntax(QStringLiteral("if(item5==1)"), counts),
              QStringList{"Syntax error."});
    EXPECT_EQ(CheckFormulaSyntax(QStringLiteral("if(item6=1)+if(item5=2)+if(item5=9)"), counts),
              (QStringList{"Item reference out of range.", "Answer reference out of range."}));
    EXPECT_TRUE(CheckFormulaSyntax(QStringLiteral("if(item5=1,2,0)+isum5"), counts).isEmpty());
    EXPECT_EQ(ItemConditionMessage(7, true), QStringLiteral("Unspecified error ocurred."));
}

TEST(FormulaChecks, ReferenceMessages)
{
    QStringList messages{"left over"};
    EXPECT_FALSE(CheckFormulaReferences(
        QStringLiteral("if(item7=1)+item2+var9+var12+var3+var1+data1+data2+data8"), 3, sampleIds(),
        messages));
    EXPECT_EQ(messages,
              (QStringList{
                  "Item not exists: item7",
                  "Variable not exists:     var9",
                  "This variable will not be initialized (calculated) at moment of starting "
                  "computing this formula:     var12",
                  "This is not valid numeric data field: data1",
                  "This is not valid numeric data field: data8",
              }));

    EXPECT_TRUE(CheckFormulaReferences(QStringLiteral("if(item10=1)+var3+data4+isum(20,30)"), 3,
                                       sampleIds(), messages));
    EXPECT_TRUE(messages.isEmpty());

    FormulaReferenceIds none;
    EXPECT_FALSE(CheckFormulaReferences(QStringLiteral("item1+var1+data1"), 1, none, messages));
    EXPECT_EQ(messages.size(), 3);
}

TEST(FormulaChecks, ValidateNormalisesAndChecksSyntaxOnlyAfterReferences)
{
    const AnswerCounts counts = {{1, 3}, {2, 3}, {3, 2}, {5, 3}, {10, 1}};
    QStringList messages;

    QString formula = QStringLiteral("IF(Item3 = 2 , 4) + VAR1");
    EXPECT_TRUE(ValidateFormula(formula, 3, sampleIds(), counts, messages));
    EXPECT_EQ(formula, QStringLiteral("if(item3=2,4)+var1"));

    QString badReference = QStringLiteral("if(item7=9)+if(item5=9)");
    EXPECT_FALSE(ValidateFormula(badReference, 3, sampleIds(), counts, messages));
    EXPECT_EQ(messages, QStringList{"Item not exists: item7"});

    QString badCondition = QStringLiteral("if(item5 = 9)");
    EXPECT_FALSE(ValidateFormula(badCondition, 3, sampleIds(), counts, messages));
    EXPECT_EQ(messages, QStringList{"Answer reference out of range."});
}

TEST(FormulaChecks, WholeTestRows)
{
    const AnswerCounts counts = {{1, 3}, {5, 3}};
    const std::vector<StoredFormula> formulas = {
        {4, 1, "if(item5>3)+if(item1=4)"},
        {7, 1, "if(item1=1)"},
        {9, 3, "if(item9=1)+var12+data2"},
    };
    EXPECT_EQ(CheckAllFormulasSyntax(formulas, counts),
              (std::vector<FormulaMessageRow>{
                  {4, "if(item5>3)+if(item1=4) --> True/False const."},
                  {4, "if(item5>3)+if(item1=4) --> Answer reference out of range."},
                  {9, "if(item9=1)+var12+data2 --> Item reference out of range."},
              }));
    EXPECT_EQ(CheckAllFormulaReferences(formulas, sampleIds()),
              (std::vector<FormulaMessageRow>{
                  {9, "if(item9=1)+var12+data2 --> Item not exists: item9"},
                  {9, "if(item9=1)+var12+data2 --> This variable will not be initialized "
                      "(calculated) at moment of starting computing this formula:     var12"},
              }));
}

TEST(CombiningConditions, AppendsToTheChain)
{
    QString formula = QStringLiteral("if(item1=1,5,0)");
    WrapConditionForOperator(QStringLiteral("+if(item2=3)"), formula);
    EXPECT_EQ(formula, QStringLiteral("if(if(item1=1)+if(item2=3)>0,5,0)"));
    WrapConditionForOperator(QStringLiteral("*if(item4=2)"), formula);
    EXPECT_EQ(formula, QStringLiteral("if(if(item1=1)*if(item2=3)*if(item4=2)>0,5,0)"));

    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"if(item5=2,3)", "+if(item7=1)", "if(if(item5=2)+if(item7=1)>0,3)"},
        {"if(item5=2)", "*if(item7=1)", "if(if(item5=2)*if(item7=1)>0)"},
        {"if(item5=2)", "+if(item7=1)))", "if(if(item5=2)+if(item7=1)>0)"},  // cut after ")"
        {"if(item5=2,max(1,2),0)", "+if(item7=1)", "if(if(item5=2)+if(item7=1)>0,max(1,2),0)"},
        // What stands before the condition is not part of the chain.
        {"2*if(item1=1,5,0)", "+if(item2=3)", "2*if(if(item1=1)+if(item2=3)>0,5,0)"},
        {"var1+2", "+if(item2=3)", ""},
        {"if(item1=1", "+if(item2=3)", "if(item1=1"},
    };
    for (const auto& [start, operand, expected] : cases) {
        QString text = QString::fromLatin1(start);
        WrapConditionForOperator(QString::fromLatin1(operand), text);
        EXPECT_EQ(text.toStdString(), expected) << start << " " << operand;
    }
}

TEST(CombiningConditions, SplitIfArguments)
{
    QString formula = QStringLiteral("if(item1=1,5,0)+1");
    EXPECT_EQ(SplitIfArguments(formula), QStringLiteral(",5,0"));
    EXPECT_EQ(formula, QStringLiteral("if(item1=1)+1"));

    QString noComma = QStringLiteral("if(item1=1)");
    EXPECT_EQ(SplitIfArguments(noComma), QString());
    EXPECT_EQ(noComma, QStringLiteral("if(item1=1)"));

    QString unclosed = QStringLiteral("if(item1=1,5");
    EXPECT_EQ(SplitIfArguments(unclosed), QString());
    EXPECT_EQ(unclosed, QStringLiteral("if(item1=1,5"));
}

TEST(CompareByOperator, EightOperators)
{
    EXPECT_TRUE(CompareByOperator(1, "=", 1));
    EXPECT_TRUE(CompareByOperator(1, "<", 2));
    EXPECT_TRUE(CompareByOperator(2, ">", 1));
    EXPECT_TRUE(CompareByOperator(1, "<>", 2));
    EXPECT_TRUE(CompareByOperator(2, "<=", 2));
    EXPECT_TRUE(CompareByOperator(2, "=<", 2));
    EXPECT_TRUE(CompareByOperator(2, ">=", 2));
    EXPECT_TRUE(CompareByOperator(2, "=>", 2));
    EXPECT_FALSE(CompareByOperator(2, "==", 2));
    EXPECT_FALSE(CompareByOperator(1, ">=", 2));
}

}  // namespace
}  // namespace kelvo
