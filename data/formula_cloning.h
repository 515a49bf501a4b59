#pragma once
// Copying the formulas with which one variable scores a parent question to a list of
// child questions: if(item3=1,2,0) for parent 3 becomes if(item4=1,2,0) for child 4.

#include "data/formula_language.h"

#include <QString>

#include <functional>
#include <vector>

namespace kelvo {

struct FormulaCopy {
    int child = 0;
    QString formula;

    bool operator==(const FormulaCopy&) const = default;
};

struct FormulaClonePlan {
    // In insertion order: child by child as the children were given, each child's
    // copies in ascending formula text.
    std::vector<FormulaCopy> copies;
    // The formulas of the variable that score only one of the children: the copies
    // supersede them.
    std::vector<int> supersededAutoids;
};

// Plans the cloning of `formulas` (one variable's, ascending autoid) from question
// `parentItem` to `children`. A child named more than once is cloned to once.
// `answerCountOf` gives the number of answers of a question.
FormulaClonePlan PlanFormulaClones(const std::vector<StoredFormula>& formulas, int parentItem,
                                   const std::vector<int>& children,
                                   const std::function<int(int)>& answerCountOf);

// Clones variable `varId`'s formulas of question `parentItem` (both decimal texts) to
// `children` on the program's connection, all copies in one transaction, then offers to
// delete the superseded formulas. Returns the number of formulas inserted; database
// failures raise.
int CloneFormulasForItems(const QString& parentItem, const QString& varId,
                          const std::vector<int>& children);

}  // namespace kelvo
