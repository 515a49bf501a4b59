#pragma once
// The progress window: a borderless window whose panel a painting thread fills with the
// done and total counts, the elapsed and the estimated time and a bar.

#include "ui/painted_frame.h"

#include <QColor>
#include <QDateTime>
#include <QDialog>
#include <QFrame>
#include <QRect>
#include <QThread>

#include <atomic>
#include <memory>

namespace kelvo {

// Where the lines and the bar stand on a painting surface of the given size.
struct ProgressLayout {
    QRect firstLine;
    QRect elapsed;
    QRect bar;
    QRect counts;
    QRect estimate;
};
ProgressLayout ComputeProgressLayout(int width, int height);

// Paints the progress of a long operation into `target` once a second (by default). Made
// stopped: set the total, then start(). Destroying it stops and joins it.
class TFdbThread final : public QThread {
public:
    TFdbThread(PaintedFrame& target, QSize clientSize);
    ~TFdbThread() override;
    TFdbThread(const TFdbThread&) = delete;
    TFdbThread& operator=(const TFdbThread&) = delete;

    // Ignored unless above 0, so the bar unit never divides by zero.
    void SetTotal(int value);
    void SetDone(int value) { done_.store(value, std::memory_order_relaxed); }
    int total() const { return total_.load(std::memory_order_relaxed); }
    int done() const { return done_.load(std::memory_order_relaxed); }
    void setInterval(int ms) { intervalMs_ = ms; }  // before start()
    // Asks the thread to end after its current frame.
    void terminateRequest() { requestInterruption(); }

    // One frame as it stands at `now`.
    QImage drawFrame(const QDateTime& now) const;

protected:
    void run() override;

private:
    void SetDefaults();

    PaintedFrame& target_;
    const QSize clientSize_;
    const ProgressLayout layout_;
    QColor backColor_;
    QColor barColor_;
    QDateTime start_;
    int intervalMs_ = 1000;
    // Written by the main thread, read once per frame by the painting thread.
    std::atomic<int> total_{10};
    std::atomic<int> done_{0};
};

class TForm20 : public QDialog {
    Q_OBJECT
public:
    // Centred on `owner`, or on the main window without one.
    explicit TForm20(QWidget* owner = nullptr);
    ~TForm20() override;

    // Makes the painting thread of `panel` with `total` and starts it, painting every
    // `intervalMs`.
    TFdbThread& startProgress(int total, int intervalMs = 1000);
    // Stops and joins the painting thread; the panel repaints itself.
    void stopProgress();
    TFdbThread* thread() const { return thread_.get(); }

    FrameSurface<QFrame>* panel;

private:
    std::unique_ptr<TFdbThread> thread_;
};

}  // namespace kelvo
