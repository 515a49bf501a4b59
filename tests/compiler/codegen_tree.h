// Builds parse trees by hand and compiles them through the code generator, for tests
// of the generator that do not go through the parser.
#pragma once

#include "compiler/exco_compilator.h"
#include "compiler/exco_h.h"

#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

namespace testtree {

// The table entries the generator reaches: internal operations and a few inline
// one-argument functions.
inline TArrayFuncList functionTable()
{
    TArrayFuncList table(fx::BuiltInCount);
    for (TFuncList& entry : table)
        entry.Names = {"", ""};
    const auto inlineFunction = [&](int32_t index, const char* name, TCode code, int32_t extra) {
        TFuncList& entry = table[static_cast<std::size_t>(index)];
        entry.Names = {"", name};
        entry.Class = fc::RealArg;
        entry.Arity = 1;
        entry.Inline = 1;
        entry.Template = std::move(code);
        entry.ExtraDepth = extra;
    };
    inlineFunction(fx::Abs, "abs", {0xD9, 0xE1}, 0);
    inlineFunction(fx::Sqr, "sqr", {0xD8, 0xC8}, 0);
    inlineFunction(fx::IPWR3, "@@IPWR3", {0xD9, 0xC0, 0xD8, 0xC8, 0xDE, 0xC9}, 1);
    for (const int32_t index : {fx::If, fx::IFNOP, fx::LDA, fx::Compile})
        table[static_cast<std::size_t>(index)].Class = fc::FrontEnd;
    return table;
}

class Tree {
 public:
    TNode* make(int32_t func, std::initializer_list<TNode*> children = {})
    {
        pool_.push_back(std::make_unique<TNode>());
        TNode* node = pool_.back().get();
        node->Data.FuncIndex = func;
        TNode* previous = nullptr;
        for (TNode* child : children) {
            child->Parent = node;
            (previous == nullptr ? node->FirstChild : previous->NextSibling) = child;
            previous = child;
        }
        node->Data.OperandCount = static_cast<int32_t>(children.size());
        return node;
    }
    TNode* num(Extended value)
    {
        TNode* node = make(fx::LDSC);
        node->Data.b1 = value;
        return node;
    }
    TNode* var(int32_t index, bool negate = false)
    {
        TNode* node = make(fx::LDSF);
        node->Data.VarIndex[0] = index;
        node->Data.Negate = negate ? 1 : 0;
        return node;
    }
    TNode* ivar(int32_t index)
    {
        TNode* node = make(fx::LDSI);
        node->Data.VarIndex[0] = index;
        return node;
    }
    // A chain of + and - (or * and /): each child with its operator.
    TNode* chain(int32_t func, std::initializer_list<std::pair<int32_t, TNode*>> terms)
    {
        std::vector<TNode*> children;
        TNode* node = make(func);
        TNode* previous = nullptr;
        for (const auto& [op, child] : terms) {
            child->Parent = node;
            child->Data.Operator = op;
            (previous == nullptr ? node->FirstChild : previous->NextSibling) = child;
            previous = child;
            node->Data.OperandOps.push_back(op == op::First ? (func == fx::ADD ? op::Add : op::Mul) : op);
        }
        node->Data.OperandCount = static_cast<int32_t>(terms.size());
        if (func == fx::ADD)
            node->Data.B = 0;
        else
            node->Data.A = 1;
        return node;
    }
    TNode* sum(std::initializer_list<std::pair<int32_t, TNode*>> terms) { return chain(fx::ADD, terms); }
    TNode* product(std::initializer_list<std::pair<int32_t, TNode*>> terms) { return chain(fx::MUL, terms); }
    TNode* call(int32_t func, TNode* argument)
    {
        TNode* node = make(func, {argument});
        node->Data.OperandKind = 1;
        return node;
    }
    // if(left relation right, yes, no); the relation is the jump taken when false.
    TNode* conditional(TNode* left, TNode* right, int32_t jumpWhenFalse, TNode* yes, TNode* no)
    {
        TNode* jump = make(fx::JMP);
        jump->Data.OperandKind = jumpWhenFalse;
        TNode* always = make(fx::JMP);
        always->Data.OperandKind = jr::Always;
        return make(fx::IFNOP, {left, right, jump, yes, always, no});
    }
    TNode* fld(bool one)
    {
        TNode* node = make(fx::FLD);
        node->Data.OperandKind = one ? 1 : 2;
        return node;
    }

 private:
    std::vector<std::unique_ptr<TNode>> pool_;
};

// Levels as the parser gives them: a first child has its parent's level, each later
// sibling the previous one's + 1.
inline void setLevels(TNode* node, int32_t level = 1)
{
    node->Level = level;
    int32_t childLevel = level;
    for (TNode* child = node->FirstChild; child != nullptr; child = child->NextSibling)
        setLevels(child, childLevel++);
}

// A compiled routine, freed when it goes.
struct Routine {
    TFunction function;
    exco::RoutineRequest request;
    Routine() = default;
    Routine(const Routine&) = delete;
    Routine& operator=(const Routine&) = delete;
    ~Routine() { TExcoH::FreeCode(function); }
    long double run() const { return ExcoRunRoutine(function.Entry); }
};

inline std::unique_ptr<Routine> compile(TNode* root, const TVarList& vars, const TArrayFuncList& table,
                                        const TDestination& dest = {}, int32_t passSwitch = 2)
{
    auto routine = std::make_unique<Routine>();
    setLevels(root);
    routine->request.root = root;
    routine->request.variables = &vars;
    routine->request.functions = &table;
    routine->request.dest = dest;
    routine->request.passSwitch1 = passSwitch;
    routine->request.passSwitch2 = passSwitch;
    exco::BuildRoutine(routine->request, routine->function);
    return routine;
}

}  // namespace testtree
