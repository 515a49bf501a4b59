#include "data/formula_language.h"

#include "tests/data/formula_fixture.h"

#include <gtest/gtest.h>

namespace kelvo {
namespace {

using testing::FormulaTestFile;

// Questions 1, 5 (three answers) and 10 (one); variables 1, 3 and 12; data fields 1
// (text) and 2 (float).
class StoredFormulaChecks : public ::testing::Test {
protected:
    void SetUp() override
    {
        file.addItem(1, 3);
        file.addItem(5, 3);
        file.addItem(10, 1);
        file.addItem(11, 0);
        file.addVariable(1);
        file.addVariable(3);
        file.addVariable(12);
        file.addDataField(1, "string");
        file.addDataField(2, "float");
    }

    FormulaTestFile file;
};

TEST_F(StoredFormulaChecks, ReadsWhatTheChecksNeed)
{
    EXPECT_EQ(ReadAnswerCounts(), (AnswerCounts{{1, 3}, {5, 3}, {10, 1}}));
    const FormulaReferenceIds ids = ReadFormulaReferenceIds();
    EXPECT_EQ(ids.itemIds, (std::vector<int>{1, 5, 10, 11}));
    EXPECT_EQ(ids.variableIds, (std::vector<int>{1, 3, 12}));
    EXPECT_EQ(ids.dataFieldIds, (std::vector<int>{1, 2}));
    EXPECT_EQ(ids.numericDataFieldIds, (std::vector<int>{2}));
}

TEST_F(StoredFormulaChecks, FindsWholeReferencesOnly)
{
    const int a = file.addFormula(3, "if(item1=1)+var1");
    const int b = file.addFormula(1, "if(item10=1)+var12");
    const int c = file.addFormula(12, "isum(1,5)+data2+var3");
    const auto autoids = [](const std::vector<StoredFormula>& rows) {
        std::vector<int> ids;
        for (const StoredFormula& row : rows)
            ids.push_back(row.autoid);
        return ids;
    };
    EXPECT_EQ(autoids(FindFormulasReferencing(1, "item")), (std::vector<int>{a}));
    EXPECT_EQ(autoids(FindFormulasReferencing(10, "item")), (std::vector<int>{b}));
    EXPECT_EQ(autoids(FindFormulasReferencing(1, "var")), (std::vector<int>{a}));
    EXPECT_EQ(autoids(FindFormulasReferencing(12, "var")), (std::vector<int>{b}));
    EXPECT_EQ(autoids(FindFormulasReferencing(2, "data")), (std::vector<int>{c}));
    EXPECT_TRUE(FindFormulasReferencing(5, "item").empty());  // aggregates are no reference
    EXPECT_EQ(FindFormulasReferencing(1, "item")[0].formula, QStringLiteral("if(item1=1)+var1"));
}

TEST_F(StoredFormulaChecks, WholeTestChecksInVariableOrder)
{
    const int late = file.addFormula(12, "if(item5>3)+if(item11=1)");
    const int early = file.addFormula(1, "if(item7=1)+var3+data1");
    file.addFormula(3, "if(item5=2,var1,data2)");
    EXPECT_EQ(CheckAllFormulasSyntax(),
              (std::vector<FormulaMessageRow>{
                  {early, "if(item7=1)+var3+data1 --> Item reference out of range."},
                  {late, "if(item5>3)+if(item11=1) --> True/False const."},
                  {late, "if(item5>3)+if(item11=1) --> Item reference out of range."},
              }));
    EXPECT_EQ(CheckAllFormulaReferences(),
              (std::vector<FormulaMessageRow>{
                  {early, "if(item7=1)+var3+data1 --> Item not exists: item7"},
                  {early, "if(item7=1)+var3+data1 --> This variable will not be initialized "
                          "(calculated) at moment of starting computing this formula:     var3"},
                  {early, "if(item7=1)+var3+data1 --> This is not valid numeric data field: data1"},
              }));
}

TEST_F(StoredFormulaChecks, ValidateAndTranslateOnTheOpenTest)
{
    QStringList messages;
    QString formula = QStringLiteral("If(Item5 = 2, Var3) + DATA2");
    EXPECT_TRUE(ValidateFormula(formula, 3, messages)) << messages.join("\n").toStdString();
    EXPECT_EQ(formula, QStringLiteral("if(item5=2,var3)+data2"));
    TranslateFormulaForCompile(formula, 3);
    EXPECT_EQ(formula, QStringLiteral("if(item5=2,vars[1])+data[1]"));

    QString faulty = QStringLiteral("if(item5=4)");
    EXPECT_FALSE(ValidateFormula(faulty, 3, messages));
    EXPECT_EQ(messages, QStringList{"Answer reference out of range."});
    EXPECT_FALSE(CheckFormulaReferences(QStringLiteral("var12"), 3, messages));
    EXPECT_EQ(CheckFormulaSyntax(QStringLiteral("if(item10>1)")),
              QStringList{"True/False const.\nYou enter a logical if expression that is always "
                          "true (false)."});
}

}  // namespace
}  // namespace kelvo
