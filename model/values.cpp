#include "model/values.h"

#include <QDateTime>
#include <QLocale>
#include <QFileInfo>
#include <QRegularExpression>

#include <cmath>
#include <limits>
#include <stdexcept>

namespace kelvo {

namespace {

// The C locale, refusing group separators: "2,500" is no number here.
const QLocale& NumberLocale()
{
    static const QLocale locale = [] {
        QLocale c = QLocale::c();
        c.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
        return c;
    }();
    return locale;
}

QString FolderWithSeparator(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : path.left(slash + 1);
}

// The extension with its dot ("" without one), as the name after the last separator
// carries it.
QString ExtensionOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    return dot > slash ? path.mid(dot) : QString();
}

}  // namespace

// --- RowSet -----------------------------------------------------------------------------

RowSet::RowSet(std::vector<std::vector<QVariant>> rows)
{
    if (rows.empty() || rows.front().empty())
        return;
    const std::size_t width = rows.front().size();
    for (const auto& row : rows)
        if (row.size() != width)
            throw std::invalid_argument("Every row of a row set has the same number of cells.");
    cells_ = std::move(rows);
}

const QVariant& RowSet::at(int row, int col) const
{
    if (row < 0 || col < 0 || row >= rows() || col >= cols())
        throw std::out_of_range("Variant or safe array index out of bounds");
    return cells_[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)];
}

void RowSet::set(int row, int col, const QVariant& value)
{
    if (row < 0 || col < 0 || row >= rows() || col >= cols())
        throw std::out_of_range("Variant or safe array index out of bounds");
    cells_[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)] = value;
}

QString RowSet::text(int row, int col) const { return CellText(at(row, col)); }
double RowSet::number(int row, int col) const { return CellNumber(at(row, col)); }
int RowSet::integer(int row, int col) const { return CellInt(at(row, col)); }

// --- cells --------------------------------------------------------------------------------

QString CellText(const QVariant& value)
{
    if (value.isNull())
        return {};
    switch (value.typeId()) {
    case QMetaType::Bool: return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QMetaType::Double:
    case QMetaType::Float: return NumberToText(value.toDouble());
    case QMetaType::QDateTime:
        return value.toDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    case QMetaType::QDate: return value.toDate().toString(QStringLiteral("yyyy-MM-dd"));
    default: return value.toString();
    }
}

double CellNumber(const QVariant& value)
{
    if (value.isNull())
        return 0.0;
    switch (value.typeId()) {
    case QMetaType::Bool: return value.toBool() ? 1.0 : 0.0;
    case QMetaType::QString: {
        const QString text = value.toString();
        if (text.trimmed().isEmpty())
            return 0.0;
        if (const std::optional<double> number = TextToNumber(text))
            return *number;
        throw std::invalid_argument(
            QStringLiteral("'%1' is not a valid number").arg(text).toStdString());
    }
    default: {
        bool ok = false;
        const double number = value.toDouble(&ok);
        if (!ok)
            throw std::invalid_argument(
                QStringLiteral("'%1' is not a valid number").arg(value.toString()).toStdString());
        return number;
    }
    }
}

int CellInt(const QVariant& value)
{
    const double number = std::nearbyint(CellNumber(value));
    if (!(number >= std::numeric_limits<int>::min() && number <= std::numeric_limits<int>::max()))
        throw std::out_of_range("Integer overflow");
    return static_cast<int>(number);
}

// --- numbers --------------------------------------------------------------------------------

QString NumberToText(double value)
{
    if (value == 0.0)
        return QStringLiteral("0");  // no "-0"
    // Exponents as "1E20" and "1E-5", without plus sign or leading zeros.
    static const QRegularExpression exponent(QStringLiteral("e\\+?(-?)0*(\\d)"));
    return NumberLocale().toString(value, 'g', 15).replace(exponent, QStringLiteral("E\\1\\2"));
}

std::optional<double> TextToNumber(const QString& text)
{
    bool ok = false;
    const double number = NumberLocale().toDouble(text.trimmed(), &ok);
    if (!ok)
        return std::nullopt;
    return number;
}

QChar LocaleDecimalSeparator()
{
    const QString point = QLocale().decimalPoint();
    return point.isEmpty() ? QLatin1Char('.') : point.front();
}

std::optional<double> LocaleTextToNumber(const QString& text)
{
    QString written = text.trimmed();
    const QChar separator = LocaleDecimalSeparator();
    if (separator != QLatin1Char('.')) {
        if (written.contains(QLatin1Char('.')))
            return std::nullopt;
        written.replace(separator, QLatin1Char('.'));
    }
    return TextToNumber(written);
}

QString SqlQuote(const QString& text)
{
    QString doubled = text;
    doubled.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + doubled + QLatin1Char('\'');
}

// --- utilities ---------------------------------------------------------------------------------

int ColumnBlock(int n) { return (n - 1) / 254 + 1; }

int BinarySearchInt(std::span<const int> values, int value)
{
    std::ptrdiff_t low = 0;
    std::ptrdiff_t high = static_cast<std::ptrdiff_t>(values.size()) - 1;
    while (low <= high) {
        const std::ptrdiff_t mid = low + (high - low) / 2;
        if (values[static_cast<std::size_t>(mid)] == value)
            return static_cast<int>(mid);
        if (values[static_cast<std::size_t>(mid)] < value)
            low = mid + 1;
        else
            high = mid - 1;
    }
    return -1;
}

QString TableNameAfterFrom(const QString& sql)
{
    const qsizetype from = sql.indexOf(QLatin1String("from "));
    if (from < 0)
        return {};
    QString name;
    for (qsizetype i = from + 5; i < sql.size(); ++i) {
        const QChar ch = sql[i];
        if (ch == QLatin1Char('(') || ch == QLatin1Char(')'))
            continue;
        if (ch == QLatin1Char(' ')) {
            if (name.isEmpty())
                continue;
            break;
        }
        name += ch;
    }
    return name;
}

bool IsNumber(const QString& text, bool integerOnly)
{
    const QString s = text.trimmed();
    if (s.isEmpty())
        return false;
    if (s.size() >= 2 && s.startsWith(QLatin1String("00")))
        return false;
    const QChar separator = LocaleDecimalSeparator();
    int separators = 0;
    int minuses = 0;
    for (const QChar ch : s) {
        if (ch == separator)
            ++separators;
        else if (ch == QLatin1Char('-'))
            ++minuses;
        else if (!(ch >= QLatin1Char('0') && ch <= QLatin1Char('9')))
            return false;
    }
    if (separators > 1 || minuses > 1)
        return false;
    if (integerOnly) {
        bool ok = false;
        NumberLocale().toInt(s, &ok);
        return ok;
    }
    return LocaleTextToNumber(s).has_value();
}

void NormalizeDecimalSeparator(RowSet& rows)
{
    const QChar separator = LocaleDecimalSeparator();
    for (int r = 0; r < rows.rows(); ++r)
        for (int c = 0; c < rows.cols(); ++c) {
            const QVariant& cell = rows.at(r, c);
            if (cell.isNull())
                continue;
            QString text = CellText(cell);
            const qsizetype at = text.indexOf(separator);
            if (at >= 0)
                text[at] = QLatin1Char('.');
            rows.set(r, c, text);
        }
}

RowSet SingleCellVariant(const QString& text) { return RowSet({{QVariant(text)}}); }

QString RemoveSpaces(const QString& text)
{
    QString result = text;
    result.remove(QLatin1Char(' '));
    result.remove(QChar(u'\0'));
    return result;
}

QString FileNameWithoutExt(const QString& path)
{
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    const QString extension = ExtensionOf(name);
    return name.left(name.size() - extension.size());
}

QString UniqueFileNameBeside(const QString& file, const QString& extSource, const QString& suffix)
{
    const QString stem = FolderWithSeparator(file) + FileNameWithoutExt(file) + suffix;
    const QString extension = ExtensionOf(extSource);
    QString name = stem + extension;
    for (int number = 2; QFileInfo::exists(name); ++number)
        name = stem + QString::number(number) + extension;
    return name;
}

}  // namespace kelvo
