#pragma once
// The hand-off between a painting thread and the widget it paints on: the thread
// publishes each finished frame here; the widget shows the newest one whenever the
// main thread lets queued events run. Widgets are touched on the main thread only.

#include <QImage>
#include <QPoint>
#include <QPointer>
#include <QWidget>

#include <mutex>

namespace kelvo {

class PaintedFrame {
public:
    explicit PaintedFrame(QWidget* widget) : widget_(widget) {}
    PaintedFrame(const PaintedFrame&) = delete;
    PaintedFrame& operator=(const PaintedFrame&) = delete;

    // Any thread: keeps `frame` (drawn at `origin` of the widget) and asks the widget,
    // through its event queue, to repaint. A null frame leaves the widget to paint
    // itself as it would without a thread.
    void publish(const QImage& frame, QPoint origin = {});
    void clear() { publish(QImage()); }

    // Main thread, from the widget's paint event: draws the newest frame. False when
    // there is none.
    bool paintNewest(QWidget& widget) const;
    QImage newest() const;

private:
    QWidget* const widget_;
    mutable std::mutex mutex_;
    QImage frame_;
    QPoint origin_;
};

// The look of the wait and progress windows: no border, an hourglass, the colour of
// tool tips, a fixed client size, centred on `owner` or, without one, on the main window.
void SetUpBusyWindow(QWidget& window, QSize clientSize, const QWidget* owner);

// A widget of class Base whose face is painted by a thread when one publishes frames.
template <class Base>
class FrameSurface : public Base {
public:
    using Base::Base;
    PaintedFrame frame{this};

protected:
    void paintEvent(QPaintEvent* event) override
    {
        if (!frame.paintNewest(*this))
            Base::paintEvent(event);
    }
};

}  // namespace kelvo
