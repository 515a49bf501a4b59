#include "results/result_grid.h"

#include "model/values.h"

#include <QDateTime>
#include <QLocale>
#include <QPainter>

namespace kelvo::results {

namespace {

// Times are shown to the second, as the runs record them.
QString localeTimeFormat()
{
    QString format = QLocale::system().timeFormat(QLocale::ShortFormat);
    if (!format.contains(u's')) {
        const qsizetype minutes = format.indexOf(u"mm");
        if (minutes >= 0)
            format.insert(minutes + 2, u":ss");
    }
    return format;
}

QString dateTimeText(const QDateTime& moment)
{
    const QLocale locale = QLocale::system();
    static const QDate kNoDate(1899, 12, 30);  // a time of day stored without its day
    if (moment.date() == kNoDate)
        return locale.toString(moment.time(), localeTimeFormat());
    if (moment.time() == QTime(0, 0))
        return locale.toString(moment.date(), QLocale::ShortFormat);
    return locale.toString(moment.date(), QLocale::ShortFormat) + u' '
           + locale.toString(moment.time(), localeTimeFormat());
}

}  // namespace

QString CellDisplayText(const QVariant& value)
{
    if (value.isNull())
        return {};
    switch (value.typeId()) {
    case QMetaType::QString: return value.toString();
    case QMetaType::Int: return QString::number(value.toInt());
    case QMetaType::Bool: return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QMetaType::Double:
    case QMetaType::Float: return NumberToText(value.toDouble());
    case QMetaType::QDateTime: return dateTimeText(value.toDateTime());
    case QMetaType::QDate: return QLocale::system().toString(value.toDate(), QLocale::ShortFormat);
    default: return value.toString();
    }
}

void ResultGridModel::setGrid(MergedGrid grid)
{
    beginResetModel();
    grid_ = std::move(grid);
    endResetModel();
}

int ResultGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : grid_.rowCount();
}

int ResultGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : grid_.columnCount();
}

QVariant ResultGridModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid())
        return {};
    return grid_.text(index.row(), index.column());
}

QVariant ResultGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return section < grid_.columnCount() ? grid_.header(section) : QVariant();
    return section < grid_.rowCount() && grid_.columnCount() > 0 ? grid_.text(section, 0) : QVariant();
}

QFont CellLook::applyTo(QFont font) const
{
    font.setBold(bold);
    font.setItalic(italic);
    font.setUnderline(underline);
    return font;
}

QString CellLook::padded(const QString& text) const
{
    switch (alignment) {
    case Alignment::Left: return u' ' + text;
    case Alignment::Right: return text + u' ';
    case Alignment::Center: break;
    }
    return text;
}

int CellLook::textFlags() const
{
    int flags = alignment == Alignment::Left ? Qt::AlignLeft : alignment == Alignment::Right ? Qt::AlignRight : Qt::AlignHCenter;
    flags |= wrap ? (Qt::AlignTop | Qt::TextWordWrap) : (Qt::AlignVCenter | Qt::TextSingleLine);
    return flags;
}

void ResultCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    painter->fillRect(option.rect, option.palette.brush(selected ? QPalette::Highlight : QPalette::Base));
    const QString text = index.data().toString();
    if (text.isEmpty())
        return;
    painter->save();
    painter->setClipRect(option.rect);
    painter->setFont(look_.applyTo(option.font));
    painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    painter->drawText(option.rect, look_.textFlags(), look_.padded(text));
    painter->restore();
}

QSize ResultCellDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QFontMetrics metrics(look_.applyTo(option.font));
    const QString text = look_.padded(index.data().toString());
    if (!look_.wrap)
        return {metrics.horizontalAdvance(text), metrics.height()};
    const int width = std::max(1, option.rect.width());
    const QRect needed = metrics.boundingRect(QRect(0, 0, width, 1 << 20), look_.textFlags(), text);
    return {width, needed.height()};
}

}  // namespace kelvo::results
