#include "editor/function_help.h"

#include <utility>

namespace kelvo {

namespace {

const QChar kSeparator = u'\'';

// How many characters before the caret are searched for a key: the longest key,
// "arccotanh(", is 10 characters long.
const int kSearchedCharacters = 10;

void addLines(QStringList& list, const QString& key, std::initializer_list<const char*> texts)
{
    for (const char* text : texts)
        list << key + kSeparator + QString::fromLatin1(text);
}

// The item aggregates: name( with both forms and the name alone with the digits after it.
void addItemFunction(QStringList& list, const QString& name)
{
    list << name + QStringLiteral("('") + name + QStringLiteral("(start item number, stop item number)");
    list << name + QStringLiteral("('") + name + QStringLiteral("(item number)");
    list << name + QStringLiteral("'") + name + QStringLiteral(" item number");
}

void addRangeFunction(QStringList& list, const QString& name)
{
    list << name + QStringLiteral("('") + name + QStringLiteral("(start item number, stop item number)");
}

// A compiler function: its syntax line and one sentence on what it gives.
void addFunction(QStringList& list, const char* name, const char* arguments, const char* description)
{
    const QString key = QString::fromLatin1(name) + u'(';
    list << key + kSeparator + key + QString::fromLatin1(arguments) + u')';
    list << key + kSeparator + QString::fromLatin1(description);
}

QStringList FillFunctionHelp()
{
    QStringList list;
    addLines(list, QStringLiteral("if(i"),
             {"if(item_reference operator answer_reference, value_if_true, value_if_false)",
              "if(item_reference operator answer_reference, value_if_true)",
              "if(item_reference operator answer_reference)", "Legend:", "item_reference: question number",
              "operator:  =, <,  >,  <>,  <=,  >=", "answer_reference: position of answer within question",
              "value_if_true/value_if_false: number. Default: 1/0"});
    addItemFunction(list, QStringLiteral("icnt"));
    addItemFunction(list, QStringLiteral("isum"));
    addItemFunction(list, QStringLiteral("iavg"));
    addRangeFunction(list, QStringLiteral("istd"));
    addRangeFunction(list, QStringLiteral("ivrn"));
    addItemFunction(list, QStringLiteral("imin"));
    addItemFunction(list, QStringLiteral("imax"));
    addLines(list, QStringLiteral("if("),
             {"if(argument1 operator argument2, value_if_true, value_if_false)",
              "if(argument1 operator argument2, value_if_true)", "if(argument1 operator argument2)", "Legend:",
              "argument1/argument2: any valid numeric value (number, var, data)",
              "operator:  =, <,  >,  <>,  <=,  >=", "value_if_true/value_if_false: number. Default: 1/0"});

    static const struct {
        const char* name;
        const char* arguments;
        const char* description;
    } functions[] = {
        {"sin", "number", "Returns the sine of the angle in radians."},
        {"cos", "number", "Returns the cosine of the angle in radians."},
        {"tan", "number", "Returns the tangent of the angle in radians."},
        {"tg", "number", "Returns the tangent of the angle in radians."},
        {"cot", "number", "Returns the cotangent of the angle in radians."},
        {"cotan", "number", "Returns the cotangent of the angle in radians."},
        {"ctg", "number", "Returns the cotangent of the angle in radians."},
        {"arcsin", "number", "Returns the inverse sine of the number, an angle in radians."},
        {"asin", "number", "Returns the inverse sine of the number, an angle in radians."},
        {"arccos", "number", "Returns the inverse cosine of the number, an angle in radians."},
        {"acos", "number", "Returns the inverse cosine of the number, an angle in radians."},
        {"arctan", "number", "Returns the inverse tangent of the number, an angle in radians."},
        {"atan", "number", "Returns the inverse tangent of the number, an angle in radians."},
        {"arccotan", "number", "Returns the inverse cotangent of the number, an angle in radians."},
        {"arcctg", "number", "Returns the inverse cotangent of the number, an angle in radians."},
        {"acot", "number", "Returns the inverse cotangent of the number, an angle in radians."},
        {"sinh", "number", "Returns the hyperbolic sine of the number."},
        {"sh", "number", "Returns the hyperbolic sine of the number."},
        {"cosh", "number", "Returns the hyperbolic cosine of the number."},
        {"ch", "number", "Returns the hyperbolic cosine of the number."},
        {"tanh", "number", "Returns the hyperbolic tangent of the number."},
        {"th", "number", "Returns the hyperbolic tangent of the number."},
        {"cotanh", "number", "Returns the hyperbolic cotangent of the number."},
        {"cth", "number", "Returns the hyperbolic cotangent of the number."},
        {"coth", "number", "Returns the hyperbolic cotangent of the number."},
        {"arcsinh", "number", "Returns the inverse hyperbolic sine of the number."},
        {"arcsh", "number", "Returns the inverse hyperbolic sine of the number."},
        {"asinh", "number", "Returns the inverse hyperbolic sine of the number."},
        {"arccosh", "number", "Returns the inverse hyperbolic cosine of the number."},
        {"acosh", "number", "Returns the inverse hyperbolic cosine of the number."},
        {"arctanh", "number", "Returns the inverse hyperbolic tangent of the number."},
        {"arcth", "number", "Returns the inverse hyperbolic tangent of the number."},
        {"atanh", "number", "Returns the inverse hyperbolic tangent of the number."},
        {"arccotanh", "number", "Returns the inverse hyperbolic cotangent of the number."},
        {"arccth", "number", "Returns the inverse hyperbolic cotangent of the number."},
        {"acoth", "number", "Returns the inverse hyperbolic cotangent of the number."},
        {"sqrt", "number", "Returns the square root of the number."},
        {"sqr", "number", "Returns the square of the number."},
        {"ln", "number", "Returns the natural logarithm of the number."},
        {"exp", "number", "Returns e raised to the power of the number."},
        {"lg", "number", "Returns the base 10 logarithm of the number."},
        {"log10", "number", "Returns the base 10 logarithm of the number."},
        {"abs", "number", "Returns the absolute value of the number."},
        {"log2", "number", "Returns the base 2 logarithm of the number."},
        {"lg2", "number", "Returns the base 2 logarithm of the number."},
        {"fact", "integer", "Returns the factorial of the number. fact(N)= 1*2*...*N"},
        {"trunc", "number", "Returns the integer part of the number, cut toward zero."},
        {"frac", "number", "Returns the fractional part of the argument. frac(X)= X-Int(X)"},
        {"sign", "number", "Indicates whether a numeric value is positive(1), negative(-1), or zero(0)."},
        {"sgn", "number", "Indicates whether a numeric value is positive(1), negative(-1), or zero(0)."},
        {"fact2", "integer", "Returns the double factorial of the number. fact2(N)= N*(N-2)*(N-4)*..."},
        {"power", "const Base, Exponent: number", "Returns the base raised to the power of the exponent."},
        {"logn", "Base, X: number", "Returns the logarithm of X to the given base."},
        {"log", "Base, X: number", "Returns the logarithm of X to the given base."},
        {"root", "argument, root_number: number", "Returns calculation of the radical. Ex: root(-27,3) = -3"},
        {"sum", "array", "Returns the sum of the values."},
        {"sumq", "array", "Returns the sum of the squares of the values."},
        {"avr", "array", "Returns the average (arithmetic mean) of the values."},
        {"norm", "array", "Returns the square root of the sum of the squares of the values."},
        {"max", "array", "Returns the largest of the values."},
        {"min", "array", "Returns the smallest of the values."},
        {"len", "array", "Returns the number of elements of the array."},
        {"prod", "array", "Returns the product of the values."},
    };
    for (const auto& f : functions)
        addFunction(list, f.name, f.arguments, f.description);
    return list;
}

}  // namespace

const QStringList& gFunctionHelp()
{
    static const QStringList list = FillFunctionHelp();
    return list;
}

QString FunctionHelpKey(const QString& line) { return line.section(kSeparator, 0, 0); }

QString FunctionHelpText(const QString& line) { return line.section(kSeparator, 1); }

QString FunctionHelpFor(const QString& before)
{
    if (before.isEmpty() || !before.contains(u'('))
        return {};
    const QString searched = before.right(kSearchedCharacters);
    const QStringList& list = gFunctionHelp();
    QString best;
    for (const QString& line : list) {
        const QString key = FunctionHelpKey(line);
        if (key.size() > best.size() && searched.contains(key))
            best = key;
    }
    if (best.isEmpty())
        return {};
    QString text;
    for (const QString& line : list)
        if (FunctionHelpKey(line) == best)
            text += FunctionHelpText(line) + u'\n';
    return text;
}

}  // namespace kelvo
