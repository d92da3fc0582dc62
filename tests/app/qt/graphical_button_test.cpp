// The graphical button in a real window, headless: its state through hovering, pressing,
// focus and enabling, and its picture over the styled button.
#include "app/qt/graphical_button.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QTest>

#include "platform/gdi/screen.h"
#include "support/qt_test_app.h"

namespace talvrin::app::qt {
namespace {

using mdXpThemeSupport::ButtonState;

void ensureApp() {
    testing::qtTestApp();
}

void enter(QWidget& w) {
    QEnterEvent event(QPointF(5, 5), QPointF(5, 5), w.mapToGlobal(QPointF(5, 5)));
    QCoreApplication::sendEvent(&w, &event);
}
void leave(QWidget& w) {
    QEvent event(QEvent::Leave);
    QCoreApplication::sendEvent(&w, &event);
}

TEST(GraphicalButton, StateFollowsPressHoverFocusAndEnabled) {
    ensureApp();
    QWidget form;
    form.resize(200, 60);
    GraphicalButton button(GraphicalButton::Kind::CommandButton, &form);
    button.setGeometry(10, 10, 91, 23);
    button.setCaption(QStringLiteral("Go"));
    QPushButton other(QStringLiteral("Other"), &form);
    other.setGeometry(110, 10, 80, 23);
    form.show();
    form.activateWindow();
    ASSERT_TRUE(testing::waitForActive(form));
    other.setFocus();

    enter(button);
    EXPECT_TRUE(button.isHot());
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(button.look().state, ButtonState::Pressed);
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(5, 5));
    ASSERT_TRUE(button.hasFocus());
    EXPECT_EQ(button.look().state, ButtonState::Hot);
    leave(button);
    EXPECT_FALSE(button.isHot());
    EXPECT_EQ(button.look().state, ButtonState::Defaulted);  // focused, mouse away
    enter(button);
    other.setFocus();  // losing the focus clears Hot too
    EXPECT_FALSE(button.isHot());
    EXPECT_EQ(button.look().state, ButtonState::Normal);
    button.setDefault(true);
    EXPECT_EQ(button.look().state, ButtonState::Normal);  // another button has the focus
    button.setEnabled(false);
    EXPECT_EQ(button.look().state, ButtonState::Disabled);

    GraphicalButton check(GraphicalButton::Kind::CheckBox, &form);
    check.setValue(true);
    EXPECT_EQ(check.look().state, ButtonState::Pressed);
}

std::unique_ptr<platform::Picture> solidPicture(int side, std::uint32_t pixel) {
    auto bitmap = platform::Bitmap::create(side, side, 32);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            std::memcpy(bitmap->rowFromTop(y) + 4 * x, &pixel, 4);
    return platform::Picture::fromBitmap(std::move(bitmap));
}

// The picture is centred over the styled button; disabled it shows embossed instead.
TEST(GraphicalButton, PaintsThePictureCentredAndEmbossedWhenDisabled) {
    ensureApp();
    QWidget form;
    form.resize(80, 60);
    GraphicalButton button(GraphicalButton::Kind::CommandButton, &form);
    button.setGeometry(0, 0, 64, 48);
    button.setPicture(solidPicture(16, 0x00FF0000));  // red
    form.show();
    ASSERT_TRUE(testing::waitForExposed(form));

    const QRgb red = qRgb(255, 0, 0);
    QImage shot = button.grab().toImage();
    EXPECT_EQ(shot.pixel(32, 24), red);
    EXPECT_EQ(shot.pixel(24, 16), red);  // the picture spans 24 ... 39 and 16 ... 31
    EXPECT_NE(shot.pixel(22, 24), red);
    EXPECT_NE(shot.pixel(32, 33), red);

    button.setEnabled(false);
    shot = button.grab().toImage();
    const ColorRef shadow = platform::systemColor(platform::kColorBtnShadow);
    EXPECT_EQ(shot.pixel(32, 24), qRgb(redOf(shadow), greenOf(shadow), blueOf(shadow)));
}

}  // namespace
}  // namespace talvrin::app::qt
