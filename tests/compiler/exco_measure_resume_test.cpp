// The list pass keeps results in memory one at a time until the x87 stack fits, and
// each measuring run goes on from the entry last changed instead of from the start.
// Here every round's answer of a resumed run is held against a run from the start on
// the same list, over nests that take many rounds.
#include "compiler/exco_compilator.h"
#include "compiler/exco_h.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

std::string nested(int depth, const std::function<std::string(const std::string&)>& wrap, const std::string& core)
{
    std::string text = core;
    for (int level = 0; level < depth; ++level)
        text = wrap(text);
    return text;
}

struct NestCase {
    const char* name;
    std::function<std::string(const std::string&)> wrap;
};

const std::vector<NestCase> kNests = {
    {"max", [](const std::string& inner) { return "max(1," + inner + ")"; }},
    {"min of three", [](const std::string& inner) { return "min(x,y,1+" + inner + ")"; }},
    {"sum", [](const std::string& inner) { return "sum(y,x*" + inner + ")"; }},
    {"products in sums", [](const std::string& inner) { return "x*(y+" + inner + ")"; }},
    {"sin of sums", [](const std::string& inner) { return "sin(x+cos(y*" + inner + "))"; }},
    {"power chain", [](const std::string& inner) { return "x^(1/(y+" + inner + "))"; }},
    {"mixed lists", [](const std::string& inner) { return "max(x,y/(2+min(y," + inner + ",x)))"; }},
};

// The entry the list pass would keep in memory before `above`: the nearest one before
// it that still leaves its result on the stack.
std::size_t entryToKeep(const TArrayOfTFunc& list, int32_t above)
{
    for (std::size_t j = static_cast<std::size_t>(above) - 1; j >= 1; --j)
        if (list[j].ResultState == 1 && list[j].ParentIndex >= 1)
            return j;
    return 0;
}

void keepInMemory(TArrayOfTFunc& list, std::size_t entry)
{
    list[entry].ResultState = 2;
    TFunc& parent = list[static_cast<std::size_t>(list[entry].ParentIndex)];
    const std::size_t pos = static_cast<std::size_t>(list[entry].OperandPos);
    if (pos >= 1 && pos <= parent.OperandStates.size())
        parent.OperandStates[pos - 1] = 2;
}

TEST(MeasuringRunResumed, FindsTheSameEntryAsARunFromTheStartInEveryRound)
{
    double x = 0.5;
    double y = 1.5;
    for (const NestCase& nest : kNests) {
        for (const int depth : {3, 12, 40}) {
            const std::string text = nested(depth, nest.wrap, "x");
            SCOPED_TRACE(std::string(nest.name) + " at depth " + std::to_string(depth));
            TExcoH exco;
            exco.SetVariable("x", &x, vt::Double);
            exco.SetVariable("y", &y, vt::Double);
            // The list as lowering leaves it, before the list pass.
            exco.PassSwitch1 = 0;
            exco.PassSwitch2 = 0;
            ASSERT_EQ(exco.ParseOnly(text), 0);
            exco.GenerateCode();
            ASSERT_NE(exco.Function.Entry, 0) << exco.ErrorCode;
            TArrayOfTFunc list = exco.CodeList;

            TCompiler resumed(exco.FuncTable);
            TCompiler fromStart(exco.FuncTable);
            resumed.InitMeasure(exco.Variables, vt::Extended, exco.ConstType, exco.DepthLimit);
            int32_t resumeAt = 0;
            int rounds = 0;
            for (; rounds < static_cast<int>(list.size()); ++rounds) {
                fromStart.InitMeasure(exco.Variables, vt::Extended, exco.ConstType, exco.DepthLimit);
                const int32_t above = resumed.FirstEntryAboveLimit(list, resumeAt);
                ASSERT_EQ(above, fromStart.FirstEntryAboveLimit(list, 0)) << "round " << rounds;
                if (above <= 1)
                    break;
                const std::size_t kept = entryToKeep(list, above);
                if (kept == 0)
                    break;
                keepInMemory(list, kept);
                resumeAt = static_cast<int32_t>(kept);
            }
            if (depth == 40) {
                EXPECT_GT(rounds, 2);  // the nest must have taken the resumed path
            }
        }
    }
}

}  // namespace
