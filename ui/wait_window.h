#pragma once
// The wait window: a small borderless window with an endless bar that a painting thread
// animates while the main thread does a long piece of work.

#include "ui/painted_frame.h"

#include <QColor>
#include <QDialog>
#include <QProgressBar>
#include <QRect>
#include <QThread>

#include <memory>

class QLabel;

namespace kelvo {

// The bar's edges as they move frame by frame: grows from the left to full width,
// shrinks towards the right edge, grows back from the right, shrinks to the left.
struct AnimationBar {
    int left = 0;
    int right = 0;
    int phase = 0;
};
AnimationBar AdvanceAnimationBar(AnimationBar bar, int step, int width);

// Paints the bar animation into `target` every `intervalMs` from the moment it is made
// until it is destroyed (which stops and joins it).
class TAnimationThread final : public QThread {
public:
    TAnimationThread(PaintedFrame& target, QRect rect, QColor backColor, QColor barColor,
                     int intervalMs);
    ~TAnimationThread() override;
    TAnimationThread(const TAnimationThread&) = delete;
    TAnimationThread& operator=(const TAnimationThread&) = delete;

    // Asks the thread to end after its current frame.
    void terminateRequest() { requestInterruption(); }

protected:
    void run() override;

private:
    PaintedFrame& target_;
    const QRect rect_;
    const QColor backColor_;
    const QColor barColor_;
    const int intervalMs_;
};

class TForm16 : public QDialog {
    Q_OBJECT
public:
    // Centred on `owner`, or on the main window without one.
    explicit TForm16(QWidget* owner = nullptr);
    ~TForm16() override;

    // Starts the animation on `progress` (back colour of the bar, a light bar, 25 ms).
    void startAnimation();
    // Stops and joins the animation thread; the bar repaints itself.
    void stopAnimation();
    bool animating() const { return animation_ != nullptr; }

    QLabel* label1;
    QLabel* label2;
    FrameSurface<QProgressBar>* progress;

private:
    std::unique_ptr<TAnimationThread> animation_;
};

// Shows the wait window with `text` around a long operation: made, shown and animated
// on construction, stopped and closed on destruction, letting queued events run
// between the steps as the window needs.
class WaitWindowScope {
public:
    explicit WaitWindowScope(const QString& text);
    ~WaitWindowScope();
    WaitWindowScope(const WaitWindowScope&) = delete;
    WaitWindowScope& operator=(const WaitWindowScope&) = delete;

    TForm16& window() { return *window_; }

private:
    std::unique_ptr<TForm16> window_;
};

// Waits `ms` in short steps, ending early when the current thread is asked to stop.
void InterruptibleSleep(int ms);

}  // namespace kelvo
