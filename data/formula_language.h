#pragma once
// The formula language of a test on the open test: the checks and the rewriting of
// model/formula_rewriting, each reading what it needs through SelectToVariant every
// time it runs.

#include "model/formula_rewriting.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace kelvo {

// The questions that have answers, with their number of answers.
AnswerCounts ReadAnswerCounts();
// The ids of the questions, variables and data fields.
FormulaReferenceIds ReadFormulaReferenceIds();

QStringList CheckFormulaSyntax(const QString& formula);
bool CheckFormulaReferences(const QString& formula, int ownVariableId, QStringList& messages);
bool ValidateFormula(QString& formula, int ownVariableId, QStringList& messages);
std::vector<FormulaMessageRow> CheckAllFormulasSyntax();
std::vector<FormulaMessageRow> CheckAllFormulaReferences();

// The stored formulas (ascending autoid) that reference `prefix` + `id`.
std::vector<StoredFormula> FindFormulasReferencing(int id, const QString& prefix);

void TranslateFormulaForCompile(QString& formula, int ownVariableId);

}  // namespace kelvo
