#include "ui/progress_window.h"

#include "ui/wait_window.h"

#include <QFontMetrics>
#include <QLocale>
#include <QPainter>
#include <QTime>

#include <algorithm>

namespace kelvo {

namespace {

const QColor kButtonFace(240, 240, 240);
const QColor kGreen(0, 128, 0);

QRect Percent(int width, int height, int left, int top, int right, int bottom)
{
    return QRect(QPoint(left * width / 100, top * height / 100),
                 QPoint(right * width / 100 - 1, bottom * height / 100 - 1));
}

// The locale's long time format, without the time zone that Qt adds to it.
QString TimeText(qint64 ms)
{
    QString format = QLocale().timeFormat(QLocale::LongFormat);
    format.remove(QLatin1Char('t'));
    return QLocale().toString(QTime(0, 0).addMSecs(static_cast<int>(ms % (24 * 3600 * 1000))),
                              format.trimmed());
}

void DrawCentred(QPainter& painter, const QRect& rect, const QString& text)
{
    const QString shown = painter.fontMetrics().elidedText(text, Qt::ElideRight, rect.width());
    painter.drawText(rect, Qt::AlignCenter, shown);
}

}  // namespace

ProgressLayout ComputeProgressLayout(int width, int height)
{
    return {Percent(width, height, 10, 15, 90, 25), Percent(width, height, 10, 25, 90, 35),
            Percent(width, height, 10, 45, 90, 55), Percent(width, height, 10, 65, 90, 75),
            Percent(width, height, 10, 75, 90, 85)};
}

TFdbThread::TFdbThread(PaintedFrame& target, QSize clientSize)
    : target_(target), clientSize_(clientSize), layout_(ComputeProgressLayout(clientSize.width(), clientSize.height()))
{
    SetDefaults();
}

TFdbThread::~TFdbThread()
{
    requestInterruption();
    wait();
}

void TFdbThread::SetDefaults()
{
    backColor_ = kButtonFace;
    barColor_ = kGreen;
    intervalMs_ = 1000;
    total_ = 10;
    done_ = 0;
    start_ = QDateTime::currentDateTime();
}

void TFdbThread::SetTotal(int value)
{
    if (value > 0)
        total_.store(value, std::memory_order_relaxed);
}

QImage TFdbThread::drawFrame(const QDateTime& now) const
{
    const int total = this->total();
    const int done = this->done();
    const qint64 elapsed = std::max<qint64>(start_.msecsTo(now), 0);

    QImage bitmap(clientSize_.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    bitmap.fill(backColor_);
    QPainter painter(&bitmap);
    painter.setPen(Qt::black);
    DrawCentred(painter, layout_.firstLine, QStringLiteral("Processing task. Please wait.. "));
    DrawCentred(painter, layout_.elapsed, QStringLiteral("Time elapsed: ") + TimeText(elapsed));
    DrawCentred(painter, layout_.counts,
                QStringLiteral("Done/Total: ") + QString::number(done) + QLatin1Char('/') + QString::number(total));
    if (done > 1) {
        const qint64 estimate = static_cast<qint64>(total - done) * (elapsed / done);
        DrawCentred(painter, layout_.estimate,
                    QStringLiteral("Total time (estimation): ") + TimeText(std::max<qint64>(estimate, 0)));
    }
    // The filled part grows from the bar's left edge, so that it spans the bar when all
    // is done.
    const QRect& bar = layout_.bar;
    const int unit = bar.width() / std::max(total, 1);
    const int filledRight = std::clamp(bar.left() + done * unit, bar.left(), bar.left() + bar.width());
    painter.fillRect(QRect(bar.left(), bar.top(), filledRight - bar.left(), bar.height()), barColor_);
    painter.setPen(barColor_);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(bar.adjusted(0, 0, -1, -1));
    return bitmap;
}

void TFdbThread::run()
{
    while (!isInterruptionRequested()) {
        target_.publish(drawFrame(QDateTime::currentDateTime()));
        InterruptibleSleep(intervalMs_);
    }
    target_.clear();
}

TForm20::TForm20(QWidget* owner)
    : QDialog(owner), panel(new FrameSurface<QFrame>(this))
{
    setObjectName(QStringLiteral("TForm20"));
    setAccessibleName(QStringLiteral("Progress"));
    SetUpBusyWindow(*this, QSize(284, 162), owner);
    panel->setObjectName(QStringLiteral("panel"));
    panel->setAccessibleName(QStringLiteral("Progress"));
    panel->setGeometry(rect());
}

TForm20::~TForm20() { stopProgress(); }

TFdbThread& TForm20::startProgress(int total, int intervalMs)
{
    stopProgress();
    thread_ = std::make_unique<TFdbThread>(panel->frame, panel->size());
    thread_->SetTotal(total);
    thread_->setInterval(intervalMs);
    thread_->start();
    return *thread_;
}

void TForm20::stopProgress() { thread_.reset(); }

}  // namespace kelvo
