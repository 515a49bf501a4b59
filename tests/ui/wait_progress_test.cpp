#include "ui/progress_window.h"
#include "ui/wait_window.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

#include <set>

using namespace kelvo;

namespace {

// Lets queued events run until `done` holds or two seconds pass.
template <class Condition>
bool RunEventsUntil(Condition done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 2000) {
        QApplication::processEvents();
        QThread::msleep(5);
    }
    return done();
}

int CountPixels(const QImage& image, const QRect& area, const QColor& colour)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixelColor(x, y) == colour)
                ++count;
    return count;
}

// The widths of the bar over `frames` frames of a `width`-pixel animation.
std::vector<int> BarWidths(int width, int frames)
{
    std::vector<int> widths;
    AnimationBar bar;
    for (int i = 0; i < frames; ++i) {
        bar = AdvanceAnimationBar(bar, width / 50, width);
        widths.push_back(bar.right - bar.left);
    }
    return widths;
}

}  // namespace

TEST(WaitWindow, BarGrowsToFullWidthShrinksRightGrowsBackAndShrinksLeft)
{
    AnimationBar bar;
    std::vector<AnimationBar> seen;
    for (int i = 0; i < 210; ++i) {
        bar = AdvanceAnimationBar(bar, 5, 250);
        seen.push_back(bar);
    }
    EXPECT_EQ(seen[0].right, 5);
    EXPECT_EQ(seen[49].right, 250);  // full width after 50 steps
    EXPECT_EQ(seen[50].phase, 1);    // 255 was cut to 250
    EXPECT_EQ(seen[50].left, 0);
    EXPECT_EQ(seen[51].left, 5);     // shrinking towards the right edge
    EXPECT_EQ(seen[100].left, 250);
    EXPECT_EQ(seen[100].phase, 2);
    EXPECT_EQ(seen[101].left, 245);  // growing back from the right
    EXPECT_EQ(seen[150].phase, 3);
    EXPECT_EQ(seen[150].left, 0);
    EXPECT_EQ(seen[151].right, 245);  // shrinking to the left
    EXPECT_EQ(seen[200].phase, 0);
    EXPECT_EQ(seen[200].right, 0);
    // A surface narrower than 50 pixels has a step of 0: no movement at all.
    for (const int width : BarWidths(40, 30))
        EXPECT_EQ(width, 0);
}

TEST(WaitWindow, ShowsAnimatedFramesAndStopsItsThread)
{
    TForm16 wait;
    EXPECT_EQ(wait.label1->text(), "Process task. Please wait..");
    EXPECT_EQ(wait.label2->text(), "Processing in progress. Wait..");
    EXPECT_EQ(wait.size(), QSize(292, 166));
    EXPECT_EQ(wait.progress->geometry(), QRect(21, 76, 250, 17));
    EXPECT_TRUE(wait.windowFlags() & Qt::FramelessWindowHint);
    wait.label1->setText("Saving the test file. Please wait..");
    wait.show();
    QApplication::processEvents();
    wait.startAnimation();
    ASSERT_TRUE(wait.animating());

    // Frames follow one another: the bar's width changes from frame to frame.
    std::set<int> barWidths;
    const QColor bar(227, 227, 227);
    ASSERT_TRUE(RunEventsUntil([&] {
        const QImage frame = wait.progress->frame.newest();
        if (!frame.isNull())
            barWidths.insert(CountPixels(frame, QRect(0, 8, frame.width(), 1), bar));
        return barWidths.size() >= 3;
    }));
    const QImage shown = wait.grab().toImage();
    shown.save(QDir::temp().filePath("kelvo_wait_window.png"));
    EXPECT_GT(CountPixels(shown, QRect(21, 76, 250, 17), bar), 0);

    wait.stopAnimation();
    EXPECT_FALSE(wait.animating());
    EXPECT_TRUE(wait.progress->frame.newest().isNull());  // the bar paints itself again
}

TEST(WaitWindow, NarrowSurfaceStillStopsWhenAsked)
{
    FrameSurface<QWidget> surface;
    surface.resize(40, 10);
    {
        TAnimationThread thread(surface.frame, surface.rect(), Qt::white, Qt::black, 25);
        ASSERT_TRUE(RunEventsUntil([&] { return !surface.frame.newest().isNull(); }));
        EXPECT_EQ(CountPixels(surface.frame.newest(), surface.rect(), Qt::black), 0);
        thread.terminateRequest();
        EXPECT_TRUE(thread.wait(2000));
    }
    EXPECT_TRUE(surface.frame.newest().isNull());
}

TEST(WaitWindow, ScopeShowsTheWindowAroundTheWork)
{
    QWidget* seen = nullptr;
    {
        WaitWindowScope scope("Checking formulas. Please wait..");
        seen = &scope.window();
        EXPECT_TRUE(scope.window().isVisible());
        EXPECT_TRUE(scope.window().animating());
        EXPECT_EQ(scope.window().label1->text(), "Checking formulas. Please wait..");
    }
    for (QWidget* widget : QApplication::topLevelWidgets())
        EXPECT_NE(widget, seen);
}

TEST(ProgressWindow, FrameShowsCountsTimesAndABarThatFillsWithTheWork)
{
    TForm20 progress;
    EXPECT_EQ(progress.size(), QSize(284, 162));
    EXPECT_EQ(progress.panel->geometry(), QRect(0, 0, 284, 162));
    progress.show();
    TFdbThread thread(progress.panel->frame, progress.panel->size());
    thread.SetTotal(0);  // ignored: the bar unit never divides by zero
    EXPECT_EQ(thread.total(), 10);
    thread.SetTotal(4);
    const ProgressLayout layout = ComputeProgressLayout(284, 162);
    EXPECT_EQ(layout.bar, QRect(QPoint(28, 72), QPoint(254, 88)));
    const QColor green(0, 128, 0);
    const QRect barInside = layout.bar.adjusted(1, 1, -1, -1);
    const QDateTime later = QDateTime::currentDateTime().addSecs(90);

    thread.SetDone(1);
    const QImage one = thread.drawFrame(later);
    // With done 0 or 1 no estimate is drawn.
    EXPECT_EQ(CountPixels(one, layout.estimate, QColor(240, 240, 240)), layout.estimate.width() * layout.estimate.height());
    EXPECT_LT(CountPixels(one, layout.counts, QColor(240, 240, 240)), layout.counts.width() * layout.counts.height());
    const int quarter = CountPixels(one, barInside, green);

    thread.SetDone(2);
    const QImage two = thread.drawFrame(later);
    EXPECT_LT(CountPixels(two, layout.estimate, QColor(240, 240, 240)), layout.estimate.width() * layout.estimate.height());
    EXPECT_GT(CountPixels(two, barInside, green), quarter);

    thread.SetDone(4);
    const QImage all = thread.drawFrame(later);
    EXPECT_GE(CountPixels(all, barInside, green), barInside.width() * barInside.height() * 95 / 100);
    thread.SetDone(9);  // more than the total: the bar stops at its right edge
    const QImage beyond = thread.drawFrame(later);
    EXPECT_EQ(CountPixels(beyond, QRect(layout.bar.right() + 1, layout.bar.top(), 10, layout.bar.height()), green), 0);
    all.save(QDir::temp().filePath("kelvo_progress_frame.png"));
}

TEST(ProgressWindow, ThreadPaintsThePanelAndStopsWithTheWindow)
{
    TForm20 progress;
    progress.show();
    TFdbThread& thread = progress.startProgress(20);
    thread.SetDone(5);
    ASSERT_TRUE(RunEventsUntil([&] { return !progress.panel->frame.newest().isNull(); }));
    QApplication::processEvents();
    const QImage shown = progress.grab().toImage();
    shown.save(QDir::temp().filePath("kelvo_progress_window.png"));
    EXPECT_GT(CountPixels(shown, progress.rect(), QColor(0, 128, 0)), 0);
    progress.stopProgress();
    EXPECT_EQ(progress.thread(), nullptr);
    EXPECT_TRUE(progress.panel->frame.newest().isNull());
}
