#include "engine/date_text.h"

#include <QLocale>

#include <cmath>

namespace kelvo::engine {
namespace {

const QDate kSerialZero(1899, 12, 30);

QDateTime parseWith(const QString& text, const QString& format)
{
    const QDateTime parsed = QDateTime::fromString(text, format);
    return parsed;
}

QDateTime parseTimeOnly(const QString& text)
{
    for (const char* format : {"hh:mm:ss", "h:mm:ss", "hh:mm", "h:mm", "h:mm:ss AP", "h:mm AP"}) {
        const QTime time = QTime::fromString(text, QLatin1String(format));
        if (time.isValid())
            return QDateTime(kSerialZero, time);
    }
    return {};
}

QDateTime parseAny(const QString& raw)
{
    const QString text = raw.trimmed();
    if (text.isEmpty())
        return {};
    static const char* const formats[] = {
        "yyyy-MM-dd hh:mm:ss", "yyyy-MM-ddThh:mm:ss", "yyyy-MM-dd hh:mm:ss.zzz", "yyyy-MM-ddThh:mm:ss.zzz",
        "yyyy-MM-dd hh:mm",    "yyyy-MM-ddThh:mm",    "M/d/yyyy h:mm:ss",        "M/d/yyyy h:mm",
        "M/d/yyyy h:mm:ss AP", "d.M.yyyy h:mm:ss",    "d.M.yyyy. h:mm:ss",       "d.M.yyyy h:mm"};
    for (const char* format : formats) {
        const QDateTime parsed = parseWith(text, QLatin1String(format));
        if (parsed.isValid())
            return parsed;
    }
    for (const char* format : {"yyyy-MM-dd", "M/d/yyyy", "d.M.yyyy", "d.M.yyyy."}) {
        const QDate date = QDate::fromString(text, QLatin1String(format));
        if (date.isValid())
            return QDateTime(date, QTime(0, 0));
    }
    if (const QDateTime time = parseTimeOnly(text); time.isValid())
        return time;
    const QLocale locale = QLocale::system();
    for (const auto format : {QLocale::ShortFormat, QLocale::LongFormat}) {
        // Two-digit years fall in 1930..2029, as the system of the original file
        // format reads them (Qt would read 26 as 1926).
        const bool twoDigitYears = !locale.dateFormat(format).contains(QLatin1StringView("yyyy"));
        auto windowed = [&](QDate date) {
            return twoDigitYears && date.year() < 1930 ? date.addYears(100) : date;
        };
        if (const QDateTime parsed = locale.toDateTime(text, format); parsed.isValid())
            return QDateTime(windowed(parsed.date()), parsed.time());
        if (const QDate date = locale.toDate(text, format); date.isValid())
            return QDateTime(windowed(date), QTime(0, 0));
        if (const QTime time = locale.toTime(text, format); time.isValid())
            return QDateTime(kSerialZero, time);
    }
    return {};
}

}  // namespace

std::optional<QString> isoDateTimeFromText(const QString& text)
{
    const QDateTime parsed = parseAny(text);
    if (!parsed.isValid())
        return std::nullopt;
    return parsed.toString(kStoredDateFormat);
}

QString isoDateTimeFromSerial(double serial)
{
    const double days = std::floor(serial);
    const qint64 seconds = std::llround((serial - days) * 86400.0);
    const QDateTime moment(kSerialZero.addDays(static_cast<qint64>(days)), QTime(0, 0));
    return moment.addSecs(seconds).toString(kStoredDateFormat);
}

QDateTime dateTimeFromStored(const QString& stored)
{
    QDateTime parsed = QDateTime::fromString(stored, kStoredDateFormat);
    if (parsed.isValid())
        return parsed;
    return parseAny(stored);
}

}  // namespace kelvo::engine
