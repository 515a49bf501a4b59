#include "model/formula_rewriting.h"

#include "model/messages.h"
#include "model/values.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <optional>

namespace kelvo {

namespace {

const QString kIfItem = QStringLiteral("if(item");
const QString kIf = QStringLiteral("if(");
const QString kTrueCondition = QStringLiteral("0=0");
const QString kFalseCondition = QStringLiteral("1=0");

FormulaAnswers& moduleAnswers()
{
    static FormulaAnswers answers;
    return answers;
}

bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }
bool isLeadingDigit(QChar c) { return c >= u'1' && c <= u'9'; }
bool isComparisonChar(QChar c) { return c == u'<' || c == u'=' || c == u'>'; }

bool isComparisonOperator(QStringView op)
{
    static const QStringList operators = {"=", "<", ">", "<>", "<=", "=<", ">=", "=>"};
    return operators.contains(op);
}

// A whole number with an optional sign and nothing else, within the 32-bit range.
std::optional<int> toInt32(QStringView text)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (i == text.size())
        return std::nullopt;
    long long value = 0;
    for (; i < text.size(); ++i) {
        if (!isDigit(text[i]))
            return std::nullopt;
        value = value * 10 + (text[i].unicode() - u'0');
        if (value > 2147483648LL)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value > 2147483647LL)
        return std::nullopt;
    return static_cast<int>(value);
}

void showInternalError8()
{
    dialogs::error(QStringLiteral("Internal error! Error code: 8. If you get this error please "
                                  "send e-mail to: \r\n\r\n")
                   + kSupportAddress);
}

// The digits directly at `from`.
QStringView digitRun(const QString& text, qsizetype from)
{
    qsizetype end = from;
    while (end < text.size() && isDigit(text[end]))
        ++end;
    return QStringView(text).mid(from, end - from);
}

// A reference number: digits starting with 1..9; nothing otherwise. A run too large for
// an integer shows internal error 8 and counts as 0.
std::optional<int> referenceNumber(QStringView digits)
{
    if (digits.isEmpty() || digits[0] == u'0')
        return std::nullopt;
    if (const std::optional<int> number = toInt32(digits))
        return number;
    showInternalError8();
    return 0;
}

// The comparison operator of a condition: it starts at the first of "<", "=", ">" and
// takes the next character too when that is one of them.
struct ConditionParts {
    QString left;
    QString op;
    QString right;  // up to the first "," or the end
    bool operatorAtEnd = false;
};

std::optional<ConditionParts> splitCondition(const QString& condition)
{
    qsizetype at = -1;
    for (qsizetype i = 0; i < condition.size(); ++i) {
        if (isComparisonChar(condition[i])) {
            at = i;
            break;
        }
    }
    if (at < 0)
        return std::nullopt;
    qsizetype length = 1;
    if (at + 1 < condition.size() && isComparisonChar(condition[at + 1]))
        length = 2;
    ConditionParts parts;
    parts.left = condition.left(at);
    parts.op = condition.mid(at, length);
    parts.operatorAtEnd = at + length >= condition.size();
    const qsizetype rightStart = at + length;
    qsizetype rightEnd = condition.indexOf(u',', rightStart);
    if (rightEnd < 0)
        rightEnd = condition.size();
    parts.right = condition.mid(rightStart, rightEnd - rightStart);
    return parts;
}

bool contains(const std::vector<int>& ascending, int value)
{
    return std::binary_search(ascending.begin(), ascending.end(), value);
}

qsizetype positionOf(const std::vector<int>& ascending, int value)
{
    const auto it = std::lower_bound(ascending.begin(), ascending.end(), value);
    if (it == ascending.end() || *it != value)
        return -1;
    return it - ascending.begin();
}

// The answer slots of the question in matrix row `row`; throws SilentAbort when the matrix has no such row.
const std::vector<int>& slotsOf(const FormulaAnswers& answers, qsizetype row)
{
    if (row < 0 || row >= static_cast<qsizetype>(answers.matrix.size()))
        throw SilentAbort();
    return answers.matrix[static_cast<size_t>(row)];
}

// A value for the compiler: shortest text that reads back to the same double, never
// with an exponent (the compiler would split "1e+20" at its sign), in brackets when
// negative so that it can follow any operator.
QString valueText(long double value)
{
    const double shown = static_cast<double>(value);
    QString text = QString::number(shown, 'f', QLocale::FloatingPointShortest);
    if (shown < 0)
        text = QStringLiteral("(") + text + QStringLiteral(")");
    return text;
}

// Index of the ")" that closes the "(" at `open`, -1 when it is not closed.
qsizetype closingBracket(const QString& text, qsizetype open)
{
    int depth = 0;
    for (qsizetype i = open; i < text.size(); ++i) {
        if (text[i] == u'(') {
            ++depth;
        } else if (text[i] == u')') {
            if (--depth == 0)
                return i;
        }
    }
    return -1;
}

}  // namespace

const FormulaAnswers& CurrentFormulaAnswers() { return moduleAnswers(); }

void SetCurrentFormulaAnswers(FormulaAnswers answers) { moduleAnswers() = std::move(answers); }

// --- text helpers ----------------------------------------------------------------------

void NormalizeFormula(QString& formula)
{
    formula = RemoveSpaces(formula).toLower();
    formula.replace(QStringLiteral("=<"), QStringLiteral("<="));
    formula.replace(QStringLiteral("=>"), QStringLiteral(">="));
}

std::vector<qsizetype> FindAllOccurrences(const QString& sub, const QString& text)
{
    std::vector<qsizetype> positions;
    if (sub.isEmpty())
        return positions;
    for (qsizetype at = text.indexOf(sub); at >= 0; at = text.indexOf(sub, at + sub.size()))
        positions.push_back(at);
    return positions;
}

std::vector<int> ExtractReferenceNumbers(const QString& text, const QString& prefix)
{
    std::vector<int> numbers;
    for (const qsizetype at : FindAllOccurrences(prefix, text)) {
        if (const std::optional<int> number = referenceNumber(digitRun(text, at + prefix.size())))
            numbers.push_back(*number);
    }
    return numbers;
}

QStringList ExtractItemConditions(const QString& formula)
{
    QStringList conditions;
    for (const qsizetype at : FindAllOccurrences(kIfItem, formula)) {
        const qsizetype start = at + kIfItem.size();
        const qsizetype close = formula.indexOf(u')', start);
        if (close >= 0)
            conditions.append(formula.mid(start, close - start));
    }
    return conditions;
}

std::vector<ParsedItemCondition> ParseItemConditions(const QString& formula)
{
    std::vector<ParsedItemCondition> parsed;
    for (const qsizetype at : FindAllOccurrences(kIfItem, formula)) {
        const qsizetype start = at + kIfItem.size();
        const QStringView digits = digitRun(formula, start);
        const std::optional<int> question = referenceNumber(digits);
        if (!question)
            continue;
        ParsedItemCondition condition;
        condition.question = *question;

        const qsizetype opStart = start + digits.size();
        qsizetype opLength = 0;
        while (opLength < 2 && opStart + opLength < formula.size()
               && isComparisonChar(formula[opStart + opLength]))
            ++opLength;
        const qsizetype valueStart = opStart + opLength;
        if (opLength > 0 && isComparisonOperator(QStringView(formula).mid(opStart, opLength))
            && valueStart < formula.size()) {
            qsizetype end = valueStart;
            while (end < formula.size()
                   && (isDigit(formula[end]) || formula[end] == u'+' || formula[end] == u'-'))
                ++end;
            const QStringView value = QStringView(formula).mid(valueStart, end - valueStart);
            const bool signOnlyFirst =
                !value.isEmpty() && !value.mid(1).contains(u'-') && !value.mid(1).contains(u'+');
            if (signOnlyFirst) {
                if (const std::optional<int> answer = toInt32(value)) {
                    condition.answer = *answer;
                } else {
                    showInternalError8();
                    condition.answer = 0;
                }
            }
        }
        parsed.push_back(condition);
    }
    return parsed;
}

bool ReplaceWholeReference(QString& formula, const QString& token, const QString& replacement)
{
    for (const qsizetype at : FindAllOccurrences(token, formula)) {
        const qsizetype after = at + token.size();
        if (after >= formula.size() || !isDigit(formula[after])) {
            formula.replace(at, token.size(), replacement);
            return true;
        }
    }
    return false;
}

qsizetype RPosNth(const QString& s, QChar ch, int n)
{
    if (n <= 0)
        return 0;
    int count = 0;
    for (qsizetype i = s.size() - 1; i >= 0; --i) {
        if (s[i] == ch && ++count == n)
            return i + 1;
    }
    return 0;
}

// --- checks ----------------------------------------------------------------------------

int CheckItemCondition(const QString& condition, const AnswerCounts& counts)
{
    const std::optional<ConditionParts> parts = splitCondition(condition);
    if (!parts || parts->operatorAtEnd || !isComparisonOperator(parts->op))
        return -1;
    const std::optional<int> question = toInt32(parts->left);
    const std::optional<int> answer = toInt32(parts->right);
    if (!question || !answer)
        return -1;

    const auto found = counts.find(*question);
    if (found == counts.end())
        return -2;
    const int answerCount = found->second;
    const int m = *answer;
    if (m > answerCount)
        return -3;

    const QString& op = parts->op;
    if (m < -1)
        return -4;
    if (m == 0 && op != u"=" && op != u"<>" && op != u">")
        return -4;
    if (m == -1 && op != u"=" && op != u"<>")
        return -4;
    if (m == answerCount && op == u">")
        return -4;
    return 0;
}

QString ItemConditionMessage(int result, bool withExplanation)
{
    switch (result) {
    case -1: return QStringLiteral("Syntax error.");
    case -2: return QStringLiteral("Item reference out of range.");
    case -3: return QStringLiteral("Answer reference out of range.");
    case -4:
        if (withExplanation)
            return QStringLiteral("True/False const.\nYou enter a logical if expression that is "
                                  "always true (false).");
        return QStringLiteral("True/False const.");
    default: return QStringLiteral("Unspecified error ocurred.");
    }
}

QStringList CheckFormulaSyntax(const QString& formula, const AnswerCounts& counts)
{
    QStringList messages;
    for (const QString& condition : ExtractItemConditions(formula)) {
        const int result = CheckItemCondition(condition, counts);
        if (result != 0)
            messages.append(ItemConditionMessage(result, true));
    }
    return messages;
}

bool CheckFormulaReferences(const QString& formula, int ownVariableId,
                            const FormulaReferenceIds& ids, QStringList& messages)
{
    messages.clear();
    for (const int n : ExtractReferenceNumbers(formula, QStringLiteral("item"))) {
        if (!contains(ids.itemIds, n))
            messages.append(QStringLiteral("Item not exists: item") + QString::number(n));
    }
    for (const int n : ExtractReferenceNumbers(formula, QStringLiteral("var"))) {
        if (!contains(ids.variableIds, n))
            messages.append(QStringLiteral("Variable not exists:     var") + QString::number(n));
        else if (n > ownVariableId)
            messages.append(QStringLiteral("This variable will not be initialized (calculated) at "
                                           "moment of starting computing this formula:     var")
                            + QString::number(n));
    }
    for (const int n : ExtractReferenceNumbers(formula, QStringLiteral("data"))) {
        if (!contains(ids.numericDataFieldIds, n))
            messages.append(QStringLiteral("This is not valid numeric data field: data")
                            + QString::number(n));
    }
    return messages.isEmpty();
}

bool ValidateFormula(QString& formula, int ownVariableId, const FormulaReferenceIds& ids,
                     const AnswerCounts& counts, QStringList& messages)
{
    NormalizeFormula(formula);
    if (CheckFormulaReferences(formula, ownVariableId, ids, messages))
        messages.append(CheckFormulaSyntax(formula, counts));
    return messages.isEmpty();
}

std::vector<FormulaMessageRow> CheckAllFormulasSyntax(const std::vector<StoredFormula>& formulas,
                                                      const AnswerCounts& counts)
{
    std::vector<FormulaMessageRow> rows;
    for (const StoredFormula& stored : formulas) {
        QString normal = stored.formula;
        NormalizeFormula(normal);
        for (const QString& condition : ExtractItemConditions(normal)) {
            const int result = CheckItemCondition(condition, counts);
            if (result != 0)
                rows.push_back({stored.autoid, stored.formula + QStringLiteral(" --> ")
                                                   + ItemConditionMessage(result, false)});
        }
    }
    return rows;
}

std::vector<FormulaMessageRow> CheckAllFormulaReferences(
    const std::vector<StoredFormula>& formulas, const FormulaReferenceIds& ids)
{
    std::vector<FormulaMessageRow> rows;
    QStringList messages;
    for (const StoredFormula& stored : formulas) {
        QString normal = stored.formula;
        NormalizeFormula(normal);
        CheckFormulaReferences(normal, stored.varid, ids, messages);
        for (const QString& message : messages)
            rows.push_back({stored.autoid, stored.formula + QStringLiteral(" --> ") + message});
    }
    return rows;
}

// --- rewriting -------------------------------------------------------------------------

void TranslateFormulaForCompile(QString& formula, int ownVariableId,
                                const FormulaReferenceIds& ids)
{
    for (const int n : ExtractReferenceNumbers(formula, QStringLiteral("var"))) {
        const qsizetype p = positionOf(ids.variableIds, n);
        if (p >= 0 && n <= ownVariableId)
            ReplaceWholeReference(formula, QStringLiteral("var") + QString::number(n),
                                  QStringLiteral("vars[") + QString::number(p)
                                      + QStringLiteral("]"));
    }
    for (const int n : ExtractReferenceNumbers(formula, QStringLiteral("data"))) {
        const qsizetype q = positionOf(ids.dataFieldIds, n);
        if (q >= 0 && contains(ids.numericDataFieldIds, n))
            ReplaceWholeReference(formula, QStringLiteral("data") + QString::number(n),
                                  QStringLiteral("data[") + QString::number(q)
                                      + QStringLiteral("]"));
    }
}

bool CompareByOperator(double left, const QString& op, double right)
{
    if (op == u"=")
        return left == right;
    if (op == u"<")
        return left < right;
    if (op == u">")
        return left > right;
    if (op == u"<>")
        return left != right;
    if (op == u"<=" || op == u"=<")
        return left <= right;
    if (op == u">=" || op == u"=>")
        return left >= right;
    return false;
}

bool EvaluateItemCondition(QString& condition, const FormulaAnswers& answers)
{
    const std::optional<ConditionParts> parts = splitCondition(condition);
    if (!parts || !isComparisonOperator(parts->op))
        return false;
    const std::optional<int> question = toInt32(parts->left);
    const std::optional<int> answer = toInt32(parts->right);
    if (!question || !answer)
        throw SilentAbort();
    const qsizetype row = positionOf(answers.questionIds, *question);
    if (row < 0)
        return false;
    const std::vector<int>& answerSlots = slotsOf(answers, row);
    const int m = *answer;
    const QString& op = parts->op;
    const auto some = [&](auto predicate) { return std::any_of(answerSlots.begin(), answerSlots.end(), predicate); };

    bool holds = false;
    if (m > 0) {
        holds = some([&](int s) { return CompareByOperator(s, op, m); });
    } else if (m == 0 && op == u"=") {
        holds = std::all_of(answerSlots.begin(), answerSlots.end(), [](int s) { return s == 0; });
    } else if (m == 0) {
        holds = some([&](int s) { return CompareByOperator(s, op, 0); });
    } else if (op == u"=") {
        holds = some([&](int s) { return s == m; });
    } else if (op == u"<>") {
        holds = !some([&](int s) { return s == m; });
    } else {
        return true;  // the compiler compares the two numbers as written
    }
    condition = holds ? kTrueCondition : kFalseCondition;
    return true;
}

void EvaluateItemConditions(QString& formula, const FormulaAnswers& answers)
{
    if (!formula.contains(kIfItem))
        return;
    QString rewritten;
    qsizetype pos = 0;
    for (qsizetype at = formula.indexOf(kIfItem); at >= 0; at = formula.indexOf(kIfItem, pos)) {
        rewritten += QStringView(formula).mid(pos, at - pos);
        const qsizetype start = at + kIfItem.size();
        qsizetype end = start;
        while (end < formula.size() && formula[end] != u')' && formula[end] != u',')
            ++end;
        QString condition;
        if (start < formula.size() && isLeadingDigit(formula[start]))
            condition = formula.mid(start, end - start);
        try {
            if (!EvaluateItemCondition(condition, answers))
                return;
        } catch (const SilentAbort&) {
            return;
        }
        rewritten += kIf + condition;
        pos = end;
    }
    rewritten += QStringView(formula).mid(pos);
    formula = rewritten;
}

void EvaluateItemConditions(QString& formula) { EvaluateItemConditions(formula, moduleAnswers()); }

bool ComputeItemFunction(QString& arguments, int kind, const FormulaAnswers& answers)
{
    const qsizetype comma = arguments.indexOf(u',');
    const QString firstText = comma < 0 ? arguments : arguments.left(comma);
    const QString lastText = comma < 0 ? arguments : arguments.mid(comma + 1);
    const std::optional<int> parsedFirst = toInt32(firstText);
    const std::optional<int> parsedLast = toInt32(lastText);
    if (!parsedFirst || !parsedLast)
        throw SilentAbort();
    int first = *parsedFirst;
    int last = *parsedLast;
    if (first == last && (kind == kIstd || kind == kIvrn))
        return false;
    if (last < first)
        std::swap(first, last);

    const qsizetype firstRow = positionOf(answers.questionIds, first);
    const qsizetype lastRow = positionOf(answers.questionIds, last);
    if (firstRow < 0 || lastRow < 0)
        return false;

    std::vector<double> values;
    for (qsizetype row = firstRow; row <= lastRow; ++row) {
        const std::vector<int>& answerSlots = slotsOf(answers, row);
        if (kind == kIcnt) {
            values.push_back(std::any_of(answerSlots.begin(), answerSlots.end(), [](int s) { return s != 0; })
                                 ? 1.0
                                 : 0.0);
        } else {
            double sum = 0;
            for (const int s : answerSlots)
                sum += s;
            values.push_back(sum);
        }
    }
    if (values.empty())
        return false;

    const long double n = static_cast<long double>(values.size());
    long double sum = 0;
    for (const double v : values)
        sum += v;
    const long double mean = sum / n;
    const auto sampleVariance = [&] {
        long double squares = 0;
        for (const double v : values)
            squares += (v - mean) * (v - mean);
        return squares / (n - 1);
    };

    long double result = 0;
    switch (kind) {
    case kIcnt: result = static_cast<long double>(std::count(values.begin(), values.end(), 1.0)); break;
    case kIsum: result = sum; break;
    case kIavg: result = mean; break;
    case kIstd: result = std::sqrt(sampleVariance()); break;
    case kIvrn: result = sampleVariance(); break;
    case kImin: result = *std::min_element(values.begin(), values.end()); break;
    case kImax: result = *std::max_element(values.begin(), values.end()); break;
    default: return false;
    }
    arguments = valueText(result);
    return true;
}

void ExpandItemFunctions(QString& formula, const FormulaAnswers& answers)
{
    for (int kind = kIcnt; kind <= kImax; ++kind) {
        const QLatin1StringView name(kItemFunctionNames[kind]);
        if (!formula.contains(name))
            continue;
        QString rewritten;
        qsizetype pos = 0;
        bool skipName = false;
        for (qsizetype at = formula.indexOf(name); at >= 0; at = formula.indexOf(name, pos)) {
            rewritten += QStringView(formula).mid(pos, at - pos);
            qsizetype start = at + name.size();
            const bool bracketed = start < formula.size() && formula[start] == u'(';
            if (bracketed)
                ++start;
            if (start >= formula.size())
                return;
            if (!isLeadingDigit(formula[start])) {
                skipName = true;
                break;
            }
            QString arguments;
            qsizetype next = 0;
            if (bracketed) {
                const qsizetype close = formula.indexOf(u')', start);
                if (close < 0)
                    return;  // an unclosed call is left for the compiler to reject
                arguments = formula.mid(start, close - start);
                next = close + 1;
            } else {
                arguments = digitRun(formula, start).toString();
                next = start + arguments.size();
            }
            try {
                if (!ComputeItemFunction(arguments, kind, answers))
                    return;
            } catch (const SilentAbort&) {
                return;
            }
            rewritten += arguments;
            pos = next;
        }
        if (skipName)
            continue;
        rewritten += QStringView(formula).mid(pos);
        formula = rewritten;
    }
}

void ExpandItemFunctions(QString& formula) { ExpandItemFunctions(formula, moduleAnswers()); }

void PrepareItemTerms(QString& formula, const FormulaAnswers& answers)
{
    EvaluateItemConditions(formula, answers);
    ExpandItemFunctions(formula, answers);
}

void PrepareItemTerms(QString& formula) { PrepareItemTerms(formula, moduleAnswers()); }

// --- combining conditions --------------------------------------------------------------

QString SplitIfArguments(QString& formula)
{
    const qsizetype lastIf = formula.lastIndexOf(kIf);
    if (lastIf < 0)
        return {};
    const qsizetype open = lastIf + kIf.size() - 1;
    const qsizetype close = closingBracket(formula, open);
    if (close < 0)
        return {};
    int depth = 0;
    for (qsizetype i = open; i < close; ++i) {
        if (formula[i] == u'(') {
            ++depth;
        } else if (formula[i] == u')') {
            --depth;
        } else if (formula[i] == u',' && depth == 1) {
            const QString arguments = formula.mid(i, close - i);
            formula.remove(i, close - i);
            return arguments;
        }
    }
    return {};
}

void WrapConditionForOperator(const QString& operand, QString& formula)
{
    if (!formula.contains(kIf)) {
        formula.clear();
        return;
    }
    QString cutOperand = operand;
    const qsizetype operandClose = cutOperand.indexOf(u')');
    if (operandClose >= 0)
        cutOperand.truncate(operandClose + 1);
    const QChar joiner = cutOperand.isEmpty() ? QChar(u'+') : cutOperand[0];

    const QString arguments = SplitIfArguments(formula);

    const std::vector<qsizetype> ifs = FindAllOccurrences(kIf, formula);
    const qsizetype lastIf = ifs.back();
    const qsizetype close = closingBracket(formula, lastIf + kIf.size() - 1);
    if (close < 0)
        return;
    const bool combined =
        close + 1 < formula.size() && isComparisonChar(formula[close + 1]) && ifs.size() > 1;

    // The chain runs back over conditions joined by "+" or "*" directly after the
    // bracket that closes the condition before them; a sign before the chain (2*if(...))
    // belongs to the rest of the formula and stays.
    size_t chainStart = ifs.size() - 1;
    while (chainStart > 0) {
        const qsizetype at = ifs[chainStart];
        if (at == 0 || (formula[at - 1] != u'+' && formula[at - 1] != u'*'))
            break;
        const qsizetype previousOpen = ifs[chainStart - 1] + kIf.size() - 1;
        if (closingBracket(formula, previousOpen) != at - 2)
            break;
        formula[at - 1] = joiner;
        --chainStart;
    }

    if (combined) {
        formula.insert(close + 1, cutOperand);
    } else {
        formula.insert(close + 1, cutOperand + QStringLiteral(">0") + arguments + QStringLiteral(")"));
        formula.insert(ifs[chainStart], kIf);
    }
}

}  // namespace kelvo
