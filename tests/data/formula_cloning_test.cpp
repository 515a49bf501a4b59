#include "data/formula_cloning.h"

#include "tests/data/formula_fixture.h"
#include "ui/dialog_service.h"

#include <gtest/gtest.h>

namespace kelvo {
namespace {

using testing::FormulaTestFile;
using Rows = std::vector<std::pair<int, QString>>;

// Parent question 3 with four answers, children 4 and 5 with three, question 30 with
// one; variable 1 scores question 3 in several ways, variable 2 too.
class FormulaCloning : public ::testing::Test {
protected:
    void SetUp() override
    {
        file.addItem(3, 4);
        file.addItem(4, 3);
        file.addItem(5, 3);
        file.addItem(6, 0);
        file.addItem(30, 1);
        file.addVariable(1);
        file.addVariable(2);
        file.addFormula(1, "if(item3=2,1,0)");
        file.addFormula(1, "if(item3=4)");
        file.addFormula(1, "if(item3=0)");
        file.addFormula(1, "if(item3=-1)");
        file.addFormula(1, "if(item30=1)");
        superseded = file.addFormula(1, "if(item4=1)");
        file.addFormula(1, "if(if(item3=1)*if(item8=2)>0,5)");
        file.addFormula(1, "var1+1");
        file.addFormula(1, "if(item3=1,'a',0)");
        file.addFormula(2, "if(item3=1)");
        lastBefore = file.addFormula(2, "if(item4=2)");
    }

    FormulaTestFile file;
    int superseded = 0;
    int lastBefore = 0;
};

const Rows kChild4Copies = {
    {1, "if(if(item4=1)*if(item4=2)>0,5)"},
    {1, "if(item4=-1)"},
    {1, "if(item4=0)"},
    {1, "if(item4=1,'a',0)"},
    {1, "if(item4=2,1,0)"},
};
const Rows kChild5Copies = {
    {1, "if(if(item5=1)*if(item5=2)>0,5)"},
    {1, "if(item5=-1)"},
    {1, "if(item5=0)"},
    {1, "if(item5=1,'a',0)"},
    {1, "if(item5=2,1,0)"},
};

TEST_F(FormulaCloning, CopiesToEveryChildOnceAndOffersTheSupersededFormulas)
{
    DialogScript script;
    script.answerQuestion(true);
    // Child 4 listed twice still gets one copy of each formula.
    const int count = CloneFormulasForItems("3", "1", {4, 5, 4});
    EXPECT_EQ(count, 10);

    Rows expected = kChild4Copies;
    expected.insert(expected.end(), kChild5Copies.begin(), kChild5Copies.end());
    EXPECT_EQ(file.formulasAfter(lastBefore), expected);

    EXPECT_EQ(script.texts(),
              (QStringList{"Number of records that suggest to delete: 1\r\n\r\nIf you want to "
                           "delete the old formula?",
                           "Records deleted: 1"}));
    EXPECT_FALSE(file.formulaTexts().contains("if(item4=1)"));
    // The other variable's formula on question 4 is not the cloned variable's.
    EXPECT_TRUE(file.formulaTexts().contains("if(item4=2)"));
}

TEST_F(FormulaCloning, DecliningTheDeletionKeepsTheOldFormulas)
{
    DialogScript script;
    script.answerQuestion(false);
    EXPECT_EQ(CloneFormulasForItems("3", "1", {4}), 5);
    EXPECT_EQ(file.formulasAfter(lastBefore), kChild4Copies);
    EXPECT_EQ(script.texts().size(), 1);
    EXPECT_TRUE(file.formulaTexts().contains("if(item4=1)"));
}

TEST_F(FormulaCloning, NoCopyMeansNoQuestion)
{
    DialogScript script;
    // Question 6 has no answers: only the conditions on 0 and -1 fit.
    EXPECT_EQ(CloneFormulasForItems("30", "1", {6}), 0);
    EXPECT_EQ(CloneFormulasForItems("3", "2", {30}), 1);  // if(item3=1) fits one answer
    EXPECT_EQ(file.formulasAfter(lastBefore), (Rows{{2, "if(item30=1)"}}));
    EXPECT_TRUE(script.texts().isEmpty());
    EXPECT_EQ(CloneFormulasForItems("3", "9", {4}), 0);  // a variable without formulas
    EXPECT_EQ(CloneFormulasForItems("3", "1; drop table formula", {4}), 0);
}

TEST(FormulaClonePlan, ReplacesWholeQuestionNumbersOnly)
{
    const std::vector<StoredFormula> formulas = {
        {1, 1, "if(item3=1)+if(item30=1)"},
        {2, 1, "if(item30=1)+if(item3=1)"},
    };
    const FormulaClonePlan plan =
        PlanFormulaClones(formulas, 3, {4}, [](int) { return 3; });
    EXPECT_EQ(plan.copies, (std::vector<FormulaCopy>{{4, "if(item4=1)+if(item4=1)"}}));
    EXPECT_TRUE(plan.supersededAutoids.empty());
}

}  // namespace
}  // namespace kelvo
