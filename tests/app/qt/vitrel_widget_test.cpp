// The Qt host of the image control: input routed as the control expects
// it on a real (offscreen) window with two overlapping image controls over a button. The mouse
// moves by QCursor::setPos, which on the offscreen platform also sends the move to the window
// under the new position, as a real mouse does.
#include "app/qt/vitrel_widget.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QCursor>
#include <QImage>
#include <QPushButton>
#include <QTest>
#include <functional>

#include "image/control/fake_host.h"
#include "platform/qt/qt_timers.h"
#include "support/qt_test_app.h"

namespace talvrin::app::qt {
namespace {

using testing::EventLog;
using Log = std::vector<std::string>;

using platform::qt::isWindowTimerArmed;
using platform::qt::killWindowTimer;
using platform::qt::setWindowTimer;
using testing::waitFor;

// An n x n opaque blue square, or a disc in it with transparent corners, as PNG bytes.
std::vector<std::uint8_t> png(int n, bool disc) {
    QImage image(n, n, QImage::Format_ARGB32);
    const double c = (n - 1) / 2.0, r = n / 2.0 - 1;
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const bool in = !disc || (x - c) * (x - c) + (y - c) * (y - c) <= r * r;
            image.setPixel(x, y, in ? qRgba(30, 90, 200, 255) : qRgba(0, 0, 0, 0));
        }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return {bytes.begin(), bytes.end()};
}

VitrelWidget* imageControl(QWidget* parent, QRect geometry, bool disc, EventLog& log) {
    auto* w = new VitrelWidget(parent);
    w->setGeometry(geometry);
    w->control().InitProperties();
    std::int32_t iw = 0, ih = 0, depth = 0;
    EXPECT_TRUE(w->control().LoadImage_FromArray(png(geometry.width(), disc), iw, ih, depth));
    if (disc) w->control().setHitTest(3);
    w->setEventSink(&log);
    return w;
}

TEST(QtVitrelWidget, OverlappingControlsAndTheButtonBeneathGetTheirOwnPoints) {
    testing::qtTestApp();
    QWidget window;
    window.resize(200, 100);
    window.move(100, 100);
    EventLog la("A"), lb("B");
    lb.entries = la.entries;
    // Stacking: the button, then A, then B on top; B's transparent lower-right corner lies over
    // the button, its upper-left corner over A.
    auto* button = new QPushButton(&window);
    button->setGeometry(62, 42, 20, 20);
    int clicks = 0;
    QObject::connect(button, &QPushButton::clicked, [&] { ++clicks; });
    VitrelWidget* a = imageControl(&window, {10, 10, 40, 40}, false, la);
    VitrelWidget* b = imageControl(&window, {30, 10, 40, 40}, true, lb);
    window.show();
    ASSERT_TRUE(testing::waitForExposed(window));
    ASSERT_EQ(a->control().CrossTalkClass(), b->control().CrossTalkClass());
    EXPECT_EQ(a->containerWindow(), VitrelWidget::handleOf(&window));
    const auto moveTo = [&](QPoint p) {
        QCursor::setPos(window.mapToGlobal(p));
        QCoreApplication::processEvents();
    };
    const auto take = [&] { return std::exchange(*la.entries, {}); };

    moveTo({20, 30});  // A alone; X and Y in twips
    EXPECT_EQ(take(), (Log{"A.MouseEnter", "A.MouseMove 0 0 150 300"}));
    EXPECT_TRUE(a->control().isMouseOver());
    // The cursor over A is over A's container, as for a windowless control.
    EXPECT_EQ(a->windowFromPoint({QCursor::pos().x(), QCursor::pos().y()}),
              VitrelWidget::handleOf(&window));
    moveTo({31, 11});  // B's transparent corner over A: still A's
    EXPECT_EQ(take(), (Log{"A.MouseMove 0 0 315 15"}));
    moveTo({50, 30});  // B's disc: A leaves first
    EXPECT_EQ(take(), (Log{"A.MouseExit", "B.MouseEnter", "B.MouseMove 0 0 300 300"}));
    EXPECT_TRUE(b->control().isMouseOver());

    // A press in B's corner over the button goes on to the button, and so does its release;
    // B's hit test missed, so B lets the mouse go. (QTest hands a widget's mouse events
    // straight to it: B is the topmost widget there.)
    QTest::mouseClick(b, Qt::LeftButton, {}, b->mapFrom(&window, QPoint(67, 47)));
    QCoreApplication::processEvents();
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(take(), (Log{"B.MouseExit"}));
    // A click on B's disc is B's.
    QTest::mouseClick(b, Qt::LeftButton, {}, b->mapFrom(&window, QPoint(50, 30)));
    EXPECT_EQ(take(), (Log{"B.MouseEnter", "B.MouseDown 1 0 300 300", "B.MouseUp 1 0 300 300",
                           "B.Click 1"}));
    EXPECT_EQ(clicks, 1);

    // Out of the window: the polling timer ends the capture.
    QCursor::setPos(window.mapToGlobal(QPoint(-50, -50)));
    ASSERT_TRUE(waitFor([&] { return !la.entries->empty(); }));
    EXPECT_EQ(take(), Log{"B.MouseExit"});
    EXPECT_FALSE(a->control().isMouseOver() || b->control().isMouseOver());
    EXPECT_FALSE(isWindowTimerArmed(VitrelWidget::handleOf(&window), b->control().identity()));
}

// A repaint of part of a control draws that part as the full paint draws it: the window behind
// it, the image over it (a disc with transparent corners, scaled), at the same place.
TEST(QtVitrelWidget, APartialRepaintDrawsItsRectangleAsTheFullPaintDoes) {
    testing::qtTestApp();
    QWidget window;
    window.resize(120, 100);
    QPalette palette = window.palette();
    palette.setColor(QPalette::Window, QColor(200, 120, 40));
    window.setPalette(palette);
    window.setAutoFillBackground(true);
    EventLog log("A");
    VitrelWidget* w = imageControl(&window, {7, 5, 61, 53}, true, log);
    w->control().setAutoSize(false);
    w->control().setStretchQuality(true);
    w->resize(90, 70);
    window.show();
    ASSERT_TRUE(testing::waitForExposed(window));
    const auto paint = [&](const QRegion& region) {
        QImage image(w->size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(QColor(1, 2, 3));
        // The region's corner lands at the offset given: its own place.
        w->render(&image, region.boundingRect().topLeft(), region);
        return image;
    };
    const QImage full = paint(QRegion(w->rect()));
    for (const QRect part : {QRect(0, 0, 9, 7), QRect(40, 30, 1, 1), QRect(33, 11, 40, 21),
                             QRect(70, 50, 20, 20), QRect(1, 60, 88, 10)}) {
        const QImage partial = paint(QRegion(part));
        int apart = 0;
        for (int y = part.top(); y <= part.bottom(); ++y)
            for (int x = part.left(); x <= part.right(); ++x)
                apart += partial.pixel(x, y) != full.pixel(x, y);
        EXPECT_EQ(apart, 0) << part.x() << "," << part.y() << " " << part.width() << "x"
                            << part.height();
    }
}

TEST(QtVitrelWidget, ADestroyedControlLeavesNoTimerBehind) {
    testing::qtTestApp();
    QWidget window;
    window.resize(100, 100);
    EventLog log;
    VitrelWidget* w = imageControl(&window, {0, 0, 40, 40}, false, log);
    window.show();
    ASSERT_TRUE(testing::waitForExposed(window));
    w->control().FadeInOut(0, 1, 10);
    const WindowHandle box = VitrelWidget::handleOf(&window);
    const std::int32_t id = w->control().identity();
    ASSERT_TRUE(isWindowTimerArmed(box, -id));
    delete w;
    EXPECT_FALSE(isWindowTimerArmed(box, -id));
    // A timer of the fade's period on another window: by its third tick a fade tick left
    // behind would have reached the log (or, under the sanitizers, the deleted control).
    int ticks = 0;
    setWindowTimer(box + 1, 1, 10, [&] { ++ticks; });
    ASSERT_TRUE(waitFor([&] { return ticks >= 3; }));
    killWindowTimer(box + 1, 1);
    EXPECT_TRUE(log.entries->empty());
}

}  // namespace
}  // namespace talvrin::app::qt
