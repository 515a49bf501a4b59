#include "ui/painted_frame.h"

#include "ui/application.h"

#include <QMetaObject>
#include <QPainter>

namespace kelvo {

void PaintedFrame::publish(const QImage& frame, QPoint origin)
{
    {
        const std::lock_guard lock(mutex_);
        frame_ = frame;
        origin_ = origin;
    }
    // Queued: the repaint runs on the widget's (main) thread; a widget that is gone by
    // then drops the call.
    QWidget* const widget = widget_;
    QMetaObject::invokeMethod(widget, [widget] { widget->update(); }, Qt::QueuedConnection);
}

void SetUpBusyWindow(QWidget& window, QSize clientSize, const QWidget* owner)
{
    window.setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    window.setCursor(Qt::WaitCursor);
    window.setAutoFillBackground(true);
    QPalette colours = window.palette();
    colours.setColor(QPalette::Window, QColor(255, 255, 225));
    window.setPalette(colours);
    window.setFixedSize(clientSize);
    if (!owner)
        owner = KelvoApplication::mainWindow();
    if (owner)
        window.move(owner->frameGeometry().center() - window.rect().center());
}

bool PaintedFrame::paintNewest(QWidget& widget) const
{
    QImage frame;
    QPoint origin;
    {
        const std::lock_guard lock(mutex_);
        frame = frame_;
        origin = origin_;
    }
    if (frame.isNull())
        return false;
    QPainter painter(&widget);
    painter.drawImage(origin, frame);
    return true;
}

QImage PaintedFrame::newest() const
{
    const std::lock_guard lock(mutex_);
    return frame_;
}

}  // namespace kelvo
