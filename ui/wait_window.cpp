#include "ui/wait_window.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>

#include <algorithm>
#include <chrono>

namespace kelvo {

namespace {

const QColor k3DLight(227, 227, 227);

}  // namespace

void InterruptibleSleep(int ms)
{
    using namespace std::chrono;
    const auto end = steady_clock::now() + milliseconds(ms);
    QThread* const self = QThread::currentThread();
    while (!self->isInterruptionRequested()) {
        const auto left = duration_cast<milliseconds>(end - steady_clock::now());
        if (left.count() <= 0)
            return;
        QThread::msleep(static_cast<unsigned long>(std::min<long long>(left.count(), 10)));
    }
}

AnimationBar AdvanceAnimationBar(AnimationBar bar, int step, int width)
{
    switch (bar.phase) {
    case 0:
        bar.right += step;
        if (bar.right > width) {
            bar.right = width;
            bar.phase = 1;
        }
        break;
    case 1:
        bar.left += step;
        if (bar.left >= bar.right) {
            bar.left = bar.right;
            bar.phase = 2;
        }
        break;
    case 2:
        bar.left -= step;
        if (bar.left < 1) {
            bar.left = 0;
            bar.phase = 3;
        }
        break;
    default:
        bar.right -= step;
        if (bar.right < 1) {
            bar.right = 0;
            bar.phase = 0;
        }
        break;
    }
    return bar;
}

TAnimationThread::TAnimationThread(PaintedFrame& target, QRect rect, QColor backColor,
                                   QColor barColor, int intervalMs)
    : target_(target), rect_(rect), backColor_(backColor), barColor_(barColor), intervalMs_(intervalMs)
{
    start();
}

TAnimationThread::~TAnimationThread()
{
    requestInterruption();
    wait();
}

void TAnimationThread::run()
{
    const int width = std::max(rect_.width(), 1);
    const int height = std::max(rect_.height(), 1);
    QImage bitmap(width, height, QImage::Format_RGB32);
    const int step = rect_.width() / 50;
    AnimationBar bar;
    while (!isInterruptionRequested()) {
        bitmap.fill(backColor_);
        bar = AdvanceAnimationBar(bar, step, rect_.width());
        {
            QPainter painter(&bitmap);
            painter.fillRect(QRect(bar.left, 0, bar.right - bar.left, height), barColor_);
        }
        target_.publish(bitmap.copy(), rect_.topLeft());
        InterruptibleSleep(intervalMs_);
    }
    target_.clear();
}

TForm16::TForm16(QWidget* owner)
    : QDialog(owner),
      label1(new QLabel(QStringLiteral("Process task. Please wait.."), this)),
      label2(new QLabel(QStringLiteral("Processing in progress. Wait.."), this)),
      progress(new FrameSurface<QProgressBar>(this))
{
    setObjectName(QStringLiteral("TForm16"));
    setAccessibleName(QStringLiteral("Please wait"));
    SetUpBusyWindow(*this, QSize(292, 166), owner);

    label1->setObjectName(QStringLiteral("label1"));
    label2->setObjectName(QStringLiteral("label2"));
    label1->setAlignment(Qt::AlignCenter);
    label2->setAlignment(Qt::AlignCenter);
    label1->setGeometry(10, 24, 272, 40);
    label1->setWordWrap(true);
    label2->setGeometry(10, 104, 272, 20);
    progress->setObjectName(QStringLiteral("progress"));
    progress->setAccessibleName(QStringLiteral("Progress"));
    progress->setGeometry(21, 76, 250, 17);
    progress->setTextVisible(false);
    progress->setRange(0, 1);
    progress->setValue(0);
}

TForm16::~TForm16() { stopAnimation(); }

void TForm16::startAnimation()
{
    if (animation_)
        return;
    animation_ = std::make_unique<TAnimationThread>(progress->frame, progress->rect(),
                                                    progress->palette().color(QPalette::Base),
                                                    k3DLight, 25);
}

void TForm16::stopAnimation() { animation_.reset(); }

WaitWindowScope::WaitWindowScope(const QString& text) : window_(std::make_unique<TForm16>())
{
    window_->show();
    window_->label1->setText(text);
    QApplication::processEvents();
    window_->startAnimation();
    QApplication::processEvents();
}

WaitWindowScope::~WaitWindowScope()
{
    window_->stopAnimation();
    QApplication::processEvents();
    window_.reset();
    QApplication::processEvents();
}

}  // namespace kelvo
