#include "dataaware/field_values.h"

#include "engine/date_text.h"

#include <QDateTime>
#include <QLocale>

#include <cmath>

namespace kelvo::dataaware {

namespace {

using engine::FieldClass;

bool isNumeric(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Bool: return true;
    default: return false;
    }
}

bool isEmptyText(const QVariant& value)
{
    return value.isNull() || (value.typeId() == QMetaType::QString && value.toString().isEmpty());
}

ConvertedValue invalid(const QString& text, const char* what)
{
    return {{}, QStringLiteral("'%1' is not a valid %2 value.").arg(text, QLatin1StringView(what))};
}

ConvertedValue toInteger(const QVariant& typed)
{
    if (typed.typeId() != QMetaType::QString && isNumeric(typed)) {
        if (typed.typeId() == QMetaType::Double && typed.toDouble() != static_cast<double>(typed.toLongLong()))
            return invalid(typed.toString(), "integer");
        return {typed.toLongLong(), {}};
    }
    bool ok = false;
    const qlonglong number = typed.toString().trimmed().toLongLong(&ok);
    if (!ok)
        return invalid(typed.toString(), "integer");
    return {number, {}};
}

ConvertedValue toFloat(const QVariant& typed)
{
    const bool typedAsText = typed.typeId() == QMetaType::QString || !isNumeric(typed);
    bool ok = !typedAsText;
    // QString::toDouble reads "." only, as numbers are typed here.
    const double number = typedAsText ? typed.toString().trimmed().toDouble(&ok) : typed.toDouble();
    // It also reads "inf" and "nan", which no stored number can be: a NaN would be
    // stored as Null.
    if (!ok || !std::isfinite(number))
        return invalid(typed.toString(), "floating point");
    return {number, {}};
}

ConvertedValue toBoolean(const QVariant& typed)
{
    if (typed.typeId() != QMetaType::QString)
        return {isTrue(typed) ? 1 : 0, {}};
    const QString text = typed.toString().trimmed().toLower();
    if (text == u"true" || text == u"1" || text == u"-1" || text == u"yes")
        return {1, {}};
    if (text == u"false" || text == u"0" || text == u"no")
        return {0, {}};
    return invalid(typed.toString(), "Boolean");
}

ConvertedValue toDate(const QVariant& typed)
{
    if (typed.typeId() == QMetaType::QDateTime || typed.typeId() == QMetaType::QDate)
        return {typed.toDateTime(), {}};
    const std::optional<QString> stored = engine::isoDateTimeFromText(typed.toString());
    if (!stored)
        return invalid(typed.toString(), "date");
    return {*stored, {}};
}

}  // namespace

ConvertedValue valueToStore(FieldClass type, const QVariant& typed)
{
    if (isEmptyText(typed))
        return {QVariant(), {}};
    switch (type) {
    case FieldClass::Integer:
    case FieldClass::Counter: return toInteger(typed);
    case FieldClass::Float: return toFloat(typed);
    case FieldClass::Boolean: return toBoolean(typed);
    case FieldClass::Date: return toDate(typed);
    case FieldClass::Text:
    case FieldClass::Memo: return {typed.toString(), {}};
    case FieldClass::Other: break;
    }
    return {typed, {}};
}

QString displayText(FieldClass type, const QVariant& value)
{
    if (value.isNull())
        return {};
    if (type == FieldClass::Boolean)
        return isTrue(value) ? QStringLiteral("true") : QStringLiteral("false");
    if (value.typeId() == QMetaType::Double)
        return QString::number(value.toDouble(), 'g', 15);
    if (value.typeId() == QMetaType::QDateTime)
        return QLocale::system().toString(value.toDateTime(), QLocale::ShortFormat);
    return value.toString();
}

bool isTrue(const QVariant& value)
{
    if (value.isNull())
        return false;
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString().trimmed().toLower();
        return text == u"true" || text == u"-1" || text == u"1" || text == u"yes";
    }
    return value.toDouble() != 0.0;
}

bool sameValue(const QVariant& left, const QVariant& right)
{
    if (left.isNull() || right.isNull())
        return left.isNull() && right.isNull();
    if (isNumeric(left) && isNumeric(right))
        return left.toDouble() == right.toDouble();
    return left.toString() == right.toString();
}

}  // namespace kelvo::dataaware
