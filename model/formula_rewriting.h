#pragma once
// The formula language of a test. A formula is an expression of the expression compiler
// extended by four constructs that only make sense inside a test:
//   item conditions        if(item12=3,5,0)   answer 3 of question 12 chosen?
//   combined conditions    if(if(item1=1)+if(item2=3)>0,5,0)
//   item aggregates        icnt isum iavg istd ivrn imin imax, as isum(3,9), isum(4), isum4
//   references             var7 (a variable), data2 (a numeric data field)
// This module normalises formulas, checks them with the messages the author sees, and
// rewrites them into plain compiler expressions for the answers of one run. It takes
// what it needs of the test as plain values (the ids, the answer counts, the answers);
// data/formula_language gives the same routines on the open test.

#include <QString>
#include <QStringList>

#include <map>
#include <vector>

namespace kelvo {

// The chosen answers of one run, [question row][answer slot], rows in ascending question
// id. A slot holds j + 1 when the answer in position j is chosen, 0 when it is not, and
// -1 where the respondent typed an answer.
using AnswerMatrix = std::vector<std::vector<int>>;

// The answers the item conditions and aggregates read: the matrix and the ascending
// question ids its rows belong to.
struct FormulaAnswers {
    AnswerMatrix matrix;
    std::vector<int> questionIds;
};

// The module's current answers (set by SetAnswerMatrix before any rewriting for a run).
const FormulaAnswers& CurrentFormulaAnswers();
void SetCurrentFormulaAnswers(FormulaAnswers answers);

// Question id -> number of its answers, for every question that has at least one.
using AnswerCounts = std::map<int, int>;

// What the reference checks and the reference rewriting look up, each list ascending.
struct FormulaReferenceIds {
    std::vector<int> itemIds;
    std::vector<int> variableIds;
    std::vector<int> dataFieldIds;         // every data field
    std::vector<int> numericDataFieldIds;  // the fields of type integer or float
};

struct StoredFormula {
    int autoid = 0;
    int varid = 0;
    QString formula;
};

// One finding of a whole-test check: the formula's autoid and "formula --> message".
struct FormulaMessageRow {
    int autoid = 0;
    QString line;

    bool operator==(const FormulaMessageRow&) const = default;
};

// The seven aggregate names; the index is the aggregate's kind.
inline constexpr const char* kItemFunctionNames[] = {"icnt", "isum", "iavg", "istd",
                                                     "ivrn", "imin", "imax"};
enum ItemFunctionKind { kIcnt = 0, kIsum, kIavg, kIstd, kIvrn, kImin, kImax };

// The answer number of a parsed condition whose answer could not be read.
inline constexpr int kNoAnswerNumber = 2147483647;

struct ParsedItemCondition {
    int question = 0;
    int answer = kNoAnswerNumber;

    bool operator==(const ParsedItemCondition&) const = default;
};

// --- text helpers ----------------------------------------------------------------------

// No blanks, lower case, "=<" written "<=" and then "=>" written ">=".
void NormalizeFormula(QString& formula);

// 0-based start positions of the non-overlapping occurrences of `sub`, left to right.
std::vector<qsizetype> FindAllOccurrences(const QString& sub, const QString& text);

// The whole numbers written directly after each occurrence of `prefix` ("item", "var",
// "data", "if(item"), one per occurrence; an empty digit run or one starting with 0 is
// no reference. A run too large for an integer shows internal error 8 and gives 0.
std::vector<int> ExtractReferenceNumbers(const QString& text, const QString& prefix);

// For each "if(item", the text after it up to the next ")" (none: no entry).
QStringList ExtractItemConditions(const QString& formula);

// For each "if(item" with a question number: the question and the answer number
// (kNoAnswerNumber when no answer number can be read).
std::vector<ParsedItemCondition> ParseItemConditions(const QString& formula);

// Replaces the first occurrence of `token` that is not followed by a digit: var1 is
// never replaced inside var12. Returns whether one was replaced.
bool ReplaceWholeReference(QString& formula, const QString& token, const QString& replacement);

// 1-based position of the n-th `ch` counted from the right; 0 when there is none.
qsizetype RPosNth(const QString& s, QChar ch, int n);

// --- checks ----------------------------------------------------------------------------

// 0 valid, -1 syntax error, -2 question out of range, -3 answer out of range, -4 always
// true or false. `condition` is the text after "if(item" (as 12=3,5,0).
int CheckItemCondition(const QString& condition, const AnswerCounts& counts);

// The message of a CheckItemCondition result; `withExplanation` adds the second line of
// the "always true or false" message.
QString ItemConditionMessage(int result, bool withExplanation);

// One message per faulty item condition, in order.
QStringList CheckFormulaSyntax(const QString& formula, const AnswerCounts& counts);

// Clears `messages` and adds one per faulty reference; true when there is none.
bool CheckFormulaReferences(const QString& formula, int ownVariableId,
                            const FormulaReferenceIds& ids, QStringList& messages);

// Normalises `formula` in place, checks its references and, when they pass, its item
// conditions. True when there was no message.
bool ValidateFormula(QString& formula, int ownVariableId, const FormulaReferenceIds& ids,
                     const AnswerCounts& counts, QStringList& messages);

// The findings of every stored formula, formulas in (varid, autoid) order.
std::vector<FormulaMessageRow> CheckAllFormulasSyntax(const std::vector<StoredFormula>& formulas,
                                                      const AnswerCounts& counts);
std::vector<FormulaMessageRow> CheckAllFormulaReferences(
    const std::vector<StoredFormula>& formulas, const FormulaReferenceIds& ids);

// --- rewriting -------------------------------------------------------------------------

// "var" N becomes "vars[p]" (p: N's 0-based position among the variables) when N exists
// and does not come after the own variable; "data" N becomes "data[q]" (q: N's position
// among all data fields) when N is a numeric data field. Anything else stays.
void TranslateFormulaForCompile(QString& formula, int ownVariableId,
                                const FormulaReferenceIds& ids);

// Left op right for the eight comparison operators; false for any other.
bool CompareByOperator(double left, const QString& op, double right);

// Decides one condition N op M for the answers: "0=0" or "1=0" (or N op M left as it is
// for a negative M with an ordering operator). False when it cannot be decided; throws
// SilentAbort when N or M is no number or the answers lack question N's row.
bool EvaluateItemCondition(QString& condition, const FormulaAnswers& answers);

// Every item condition decided for the answers; a condition that cannot be decided
// leaves the whole formula as it was.
void EvaluateItemConditions(QString& formula, const FormulaAnswers& answers);
void EvaluateItemConditions(QString& formula);

// One aggregate over `arguments` ("A" or "A,B"); on success `arguments` becomes the
// value text (a negative value in brackets, so that it can stand after any operator).
// Throws SilentAbort when A or B is no number.
bool ComputeItemFunction(QString& arguments, int kind, const FormulaAnswers& answers);

// Every aggregate replaced by its value.
void ExpandItemFunctions(QString& formula, const FormulaAnswers& answers);
void ExpandItemFunctions(QString& formula);

// EvaluateItemConditions, then ExpandItemFunctions.
void PrepareItemTerms(QString& formula, const FormulaAnswers& answers);
void PrepareItemTerms(QString& formula);

// --- combining conditions (the formula builder) ---------------------------------------

// Cuts the value arguments (",5,0") off the last "if(" of `formula` and returns them;
// nothing is cut when that "if(" has no comma or no closing bracket.
QString SplitIfArguments(QString& formula);

// Appends `operand` ("+if(item4=2)" or "*if(item4=2)") to the condition of `formula`:
// if(item1=1,5,0) with +if(item2=3) becomes if(if(item1=1)+if(item2=3)>0,5,0). A
// formula without "if(" becomes empty.
void WrapConditionForOperator(const QString& operand, QString& formula);

}  // namespace kelvo
