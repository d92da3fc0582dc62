// The real window with the real command runner, headless.
#include "app/qt/frm_main.h"

#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/project_page.h"
#include "app/qt/graphical_button.h"
#include "app/qt/qt_imaging_sessions.h"
#include "app/qt/theme_controls.h"
#include "app/qt/vitrel_widget.h"
#include "image/bridge/gdiplus.h"
#include "platform/os/visual_styles.h"
#include "platform/qt/focus_frame_style.h"
#include "support/child_release.h"
#include "support/qt_test_app.h"

namespace talvrin::app::qt {
namespace {

QApplication& app() {
    static int argc = 1;
    static char name[] = "shell_tests";
    static char* argv[] = {name, nullptr};
    // The shell's other test files may have made it already.
    static QApplication* a = qApp ? static_cast<QApplication*>(qApp) : new QApplication(argc, argv);
    return *a;
}

// Accepts the next modal message box as soon as it appears, remembering its texts.
struct BoxWatcher {
    QString title, text;
    int seen = 0;
    QTimer poll;
    BoxWatcher() {
        poll.setInterval(20);
        QObject::connect(&poll, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                ++seen;
                title = box->windowTitle();
                text = box->text();
                EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
                EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
                box->accept();
            }
        });
        poll.start();
    }
};

class UrlCatcher : public QObject {
    Q_OBJECT
  public slots:
    void open(const QUrl& url) { urls.push_back(url); }

  public:
    std::vector<QUrl> urls;
};

// The logo: the control restored from the shipped bag shows the PNG blended over the window's
// background, at its own size through the imaging bridge (the window holds a session). Grabbing
// the window paints the control through its host; every pixel is the logo's own, premultiplied,
// over the background colour, within a level (the blend's rounding).
TEST(FrmMain, TheLogoShowsItsPixelsOverTheWindowBackground) {
    app();
    // The imaging sessions, as the program's start-up installs them (kept for the tests after).
    static const bool sessions = [] {
        installQtImagingSessions();
        return true;
    }();
    ASSERT_TRUE(sessions);
    FrmMain w;
    w.show();
    ASSERT_TRUE(testing::waitForExposed(w));
    const Vitrel& logo = w.Vitrel1->control();
    ASSERT_EQ(logo.surface().Width(), 128);
    EXPECT_EQ(w.Vitrel1->geometry(), QRect(2, 2, 128, 128));
    const std::uint64_t drawsBefore = bridge::drawsMade();
    const QImage shot = w.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_GT(bridge::drawsMade(), drawsBefore) << "the bridge drew the logo";
    const QColor bg = w.palette().color(QPalette::Window);
    int opaque = 0, translucent = 0, background = 0;
    for (int y = 0; y < 128; ++y) {
        for (int x = 0; x < 128; ++x) {
            std::int32_t alpha = 0;
            const std::int32_t c = logo.surface().GetPixel(x, y, alpha, true);
            const QColor got = shot.pixelColor(2 + x, 2 + y);
            const auto want = [&](int premultiplied, int back) {
                return premultiplied + back * (255 - alpha) / 255;
            };
            EXPECT_NEAR(got.red(), want(c & 0xFF, bg.red()), 1) << x << "," << y;
            EXPECT_NEAR(got.green(), want((c >> 8) & 0xFF, bg.green()), 1) << x << "," << y;
            EXPECT_NEAR(got.blue(), want((c >> 16) & 0xFF, bg.blue()), 1) << x << "," << y;
            (alpha == 255 ? opaque : alpha == 0 ? background : translucent)++;
        }
    }
    // The logo has all three kinds of pixel, so the comparison saw blending at work.
    EXPECT_GT(opaque, 2000);
    EXPECT_GT(translucent, 400);
    EXPECT_GT(background, 400);
}

TEST(FrmMain, LayoutFollowsTheDesignAtNinetySixDotsPerInch) {
    app();
    FrmMain w;
    w.show();
    EXPECT_EQ(w.size(), QSize(557, 183));
    EXPECT_EQ(w.Command1->geometry(), QRect(462, 106, 91, 23));
    EXPECT_EQ(w.List1->geometry(), QRect(134, 4, 419, 98));
    EXPECT_EQ(w.Command2->geometry(), QRect(368, 106, 91, 23));
    EXPECT_EQ(w.Image2->geometry(), QRect(134, 116, 16, 16));
    EXPECT_EQ(w.Label4->geometry(), QRect(152, 118, 156, 12));
    EXPECT_EQ(w.Label2->geometry(), QRect(4, 132, 549, 53));
    EXPECT_EQ(w.Label1->geometry(), QRect(134, 104, 185, 12));
    EXPECT_EQ(w.Vitrel1->geometry(), QRect(2, 2, 128, 128));
    EXPECT_EQ(w.Text2->geometry(), QRect(30, 2, 13, 14));
    EXPECT_EQ(w.Text2->text(), QStringLiteral("\""));
    EXPECT_EQ(w.Command2->text(), QStringLiteral("Start"));
    EXPECT_EQ(w.Command1->text(), QStringLiteral("Close"));
    EXPECT_TRUE(w.Label2->wordWrap());
    EXPECT_EQ(w.font().family(), QStringLiteral("Verdana"));
    EXPECT_DOUBLE_EQ(w.font().pointSizeF(), 6.75);
    EXPECT_EQ(w.font().weight(), QFont::Bold);
    EXPECT_EQ(w.Label4->palette().color(QPalette::WindowText),
              w.palette().color(QPalette::Highlight));
    EXPECT_FALSE(w.Image2->pixmap().isNull());
    EXPECT_EQ(w.Image2->pixmap().size(), QSize(16, 16));
    EXPECT_FALSE(w.windowIcon().isNull());
    // The link picture and its label share the drawn cursor (a bitmap cursor, not a stock one).
    EXPECT_EQ(w.Image2->cursor().shape(), Qt::BitmapCursor);
    EXPECT_EQ(w.Label4->cursor().shape(), Qt::BitmapCursor);
    EXPECT_EQ(w.Timer1->interval(), 100);
    EXPECT_FALSE(w.Timer1->isActive());
    EXPECT_NE(w.objDOS(), nullptr);
    // Stacking follows the design order: the logo's place lies above the text box.
    const auto kids = w.children();
    EXPECT_LT(kids.indexOf(w.Text2), kids.indexOf(w.Command1));
    EXPECT_LT(kids.indexOf(w.Label1), kids.indexOf(w.Vitrel1));
    // Tab order starts at "Start", then the list, then "Close".
    std::vector<QWidget*> tabStops;
    for (QWidget* x = w.Command2; tabStops.size() < 3; x = x->nextInFocusChain()) {
        if (x->parentWidget() == &w && (x->focusPolicy() & Qt::TabFocus) && x->isVisible())
            tabStops.push_back(x);
    }
    EXPECT_EQ(tabStops, (std::vector<QWidget*>{w.Command2, w.List1, w.Command1}));
    EXPECT_TRUE(w.Command2->hasFocus() || QApplication::focusWidget() == nullptr);
}

TEST(FrmMain, StartRunsTheRepairAndEndsWithTheBox) {
    app();
    FrmMain w;
    w.show();
    BoxWatcher watcher;
    QTest::mouseClick(w.Command2, Qt::LeftButton);
    // "Start" only enables the timer: the list changes at its first tick.
    EXPECT_TRUE(w.Timer1->isActive());
    EXPECT_EQ(w.List1->count(), 0);
    ASSERT_TRUE(testing::waitFor([&] { return watcher.seen == 1 && !w.isRepairRunning(); }));

    EXPECT_EQ(watcher.title, QStringLiteral("Talvrin"));
    EXPECT_EQ(watcher.text, QStringLiteral("All done!, You must restart your computer for the "
                                           "changes to take effect!"));
    ASSERT_EQ(w.List1->count(), 12);
    EXPECT_EQ(w.List1->item(0)->text(), QStringLiteral("Starting Repair, Please Wait..."));
    EXPECT_EQ(w.List1->item(10)->text(), QStringLiteral("Step 10/10 - Reregistering WMI EXE's..."));
    EXPECT_EQ(w.List1->item(11)->text(), QStringLiteral("DONE! PLEASE REBOOT!"));
    EXPECT_EQ(w.List1->currentRow(), 11);
    EXPECT_TRUE(w.Command1->isEnabled());
    EXPECT_TRUE(w.Command2->isEnabled());
    EXPECT_FALSE(w.Timer1->isActive());
}

TEST(FrmMain, ClosingDuringTheRunStopsItWithoutTheBox) {
    app();
    FrmMain w;
    w.show();
    BoxWatcher watcher;
    // When the third step is listed, a close request is posted: the window receives it through
    // the pumping that follows, while the tick (and possibly a read) is on the stack.
    QObject::connect(w.List1->model(), &QAbstractItemModel::rowsInserted, &w, [&] {
        if (w.List1->count() == 4)
            QMetaObject::invokeMethod(
                &w, [&w] { w.close(); }, Qt::QueuedConnection);
    });
    QTest::mouseClick(w.Command2, Qt::LeftButton);
    ASSERT_TRUE(testing::waitFor([&] { return w.isClosing() && !w.isRepairRunning(); }));
    // What the close left queued is delivered; the stopped timer (below) sends no further tick.
    testing::drainEvents();
    EXPECT_EQ(watcher.seen, 0);
    EXPECT_EQ(w.objDOS(), nullptr);
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(w.Timer1->isActive());
    ASSERT_GT(w.List1->count(), 0);
    EXPECT_NE(w.List1->item(w.List1->count() - 1)->text(), QStringLiteral("DONE! PLEASE REBOOT!"));
    EXPECT_EQ(w.List1->count(), 4) << "nothing is listed after the close";
}

// Counts the paint events of a widget.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

// A silent command, run as the sequence runs it: the window repaints during the silence, and a
// close request hides it at once while the command goes on; the run still reads the command's
// output to its end (well within the grace period). The command stays silent until the test,
// acting from the run's own pumping, has seen the repaint and the close.
TEST(FrmMain, StaysLiveWhileACommandIsSilentAndHidesAtOnceWhenClosed) {
    app();
    FrmMain w;
    w.show();
    ASSERT_TRUE(testing::waitForExposed(w));
    PaintCounter counter;
    w.List1->viewport()->installEventFilter(&counter);
    DOSOutputs* dos = w.objDOS();
    bool ended = false;
    std::string output;
    bool repaintedWhileSilent = false;
    bool hiddenWhileRunning = false;
    testsupport::ChildRelease release;
    // Each step counts only if it is delivered during the silence, before "B" is read. A look
    // is delivered by the run's next pumping and posts the next look; the first look in the
    // silence changes the list, which paints it later, from the event loop; the first look
    // after that paint closes the window and releases the command. A repaint that never comes
    // ends the silence after many looks, and the test fails.
    const auto silent = [&] { return dos->Outputs() == "A"; };
    int looks = 0, paintsBefore = -1;
    std::function<void()> look = [&] {
        if (silent() && paintsBefore < 0) {
            paintsBefore = counter.paints;
            w.List1->addItem(QStringLiteral("repainted"));
        } else if (silent() && (counter.paints > paintsBefore || ++looks == 200)) {
            repaintedWhileSilent = counter.paints > paintsBefore;
            w.close();
            hiddenWhileRunning = silent() && !w.isVisible();
            release.release();
        }
        if (!ended && !release.released()) QTimer::singleShot(0, &w, look);
    };
    QTimer::singleShot(0, &w, [&] {
        look();
        output = dos->ExecuteCommand(std::string("\"") + TALVRIN_RUNNER_CHILD + "\" out A " +
                                     release.waitArgs() + " out B");
        ended = true;
    });
    ASSERT_TRUE(testing::waitFor([&] { return ended; }));
    EXPECT_TRUE(repaintedWhileSilent);
    EXPECT_TRUE(hiddenWhileRunning);
    EXPECT_EQ(output, "AB");
    EXPECT_TRUE(w.isClosing());
    EXPECT_EQ(w.objDOS(), nullptr);
}

// The link opens the program's own page, a file shipped with it, not a page on the web.
TEST(FrmMain, LinkPictureAndLabelOpenTheProgramsOwnPage) {
    app();
    FrmMain w;
    w.show();
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
    QTest::mouseClick(w.Image2, Qt::LeftButton);
    QTest::mouseClick(w.Label4, Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    ASSERT_EQ(catcher.urls.size(), 2u);
    EXPECT_EQ(catcher.urls[0], FrmMain::makerPageUrl());
    EXPECT_EQ(catcher.urls[1], catcher.urls[0]);
    // The test runs from its own folder; the program's folder holds the page it would open.
    EXPECT_TRUE(catcher.urls[0].isLocalFile());
    EXPECT_EQ(catcher.urls[0].fileName(), QStringLiteral("talvrin.html"));
    QFile page(QString::fromStdString(projectPagePath(TALVRIN_BIN_DIR)));
    ASSERT_TRUE(page.open(QIODevice::ReadOnly)) << page.fileName().toStdString();
    EXPECT_TRUE(page.readAll().contains("<title>Talvrin</title>"));
    // The label's caption stays as the window's design gives it.
    EXPECT_EQ(w.Label4->text(), QStringLiteral("Follow Brennock on Facebook"));
}

// The focused button shows a frame: dark dots along a rectangle inside its edge. "Start" has the
// focus when the window opens; the frame follows the focus to "Close".
TEST(FrmMain, FocusedButtonShowsAFocusFrameAndStartHasItAtFirst) {
    app();
    FrmMain w;
    w.show();
    w.activateWindow();
    ASSERT_TRUE(testing::waitForActive(w));
    // The share of dark pixels on the top and bottom lines of the inset rectangle.
    const auto framed = [](QPushButton* button) {
        const QImage image = button->grab().toImage();
        const int inset = platform::qt::FocusFrameStyle::kFrameInset;
        int dark = 0, all = 0;
        for (const int y : {inset, image.height() - inset - 1}) {
            for (int x = inset + 2; x < image.width() - inset - 2; ++x, ++all)
                dark += qGray(image.pixel(x, y)) < 96 ? 1 : 0;
        }
        return dark * 4 > all;  // dots: about every other pixel
    };
    struct Case {
        QPushButton* focus;
        bool startFramed, closeFramed;
    };
    const Case cases[] = {
        {nullptr, true, false}, {w.Command1, false, true}, {w.Command2, true, false}};
    for (const Case& c : cases) {
        if (c.focus) c.focus->setFocus(Qt::MouseFocusReason);
        EXPECT_EQ(w.Command2->hasFocus(), c.startFramed);
        EXPECT_EQ(framed(w.Command2), c.startFramed);
        EXPECT_EQ(framed(w.Command1), c.closeFramed);
    }
}

// The window's icon is a 32 x 32, 256-colour icon of the logo's shield: each opaque pixel is the
// logo's 4 x 4 block beneath it, averaged with its alpha, and the icon is opaque where the block
// covers at least half.
TEST(FrmMain, WindowIconIsTheLogosShieldAtThirtyTwoPixelsIn256Colours) {
    app();
    FrmMain w;
    QFile file(QStringLiteral(":/talvrin/window.ico"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray ico = file.readAll();
    ASSERT_GE(ico.size(), 22);
    EXPECT_EQ(static_cast<unsigned char>(ico[6]), 32);  // the one entry: width, height
    EXPECT_EQ(static_cast<unsigned char>(ico[7]), 32);
    EXPECT_EQ(static_cast<unsigned char>(ico[12]), 8);  // bits per pixel: a palette of 256

    const QImage icon =
        w.windowIcon().pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(icon.size(), QSize(32, 32));
    const QImage logo = QImage(QString::fromUtf8(TALVRIN_SOURCE_DIR) + "/resources/logo.png")
                            .convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(logo.size(), QSize(128, 128));
    int opaque = 0, maskMismatches = 0;
    double colourError = 0;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            double r = 0, g = 0, b = 0, a = 0;
            for (int sy = 4 * y; sy < 4 * y + 4; ++sy) {
                for (int sx = 4 * x; sx < 4 * x + 4; ++sx) {
                    const QRgb p = logo.pixel(sx, sy);
                    r += qRed(p) * qAlpha(p);
                    g += qGreen(p) * qAlpha(p);
                    b += qBlue(p) * qAlpha(p);
                    a += qAlpha(p);
                }
            }
            const bool covered = a * 2 >= 255 * 16;
            const QRgb got = icon.pixel(x, y);
            if (covered != (qAlpha(got) == 255)) ++maskMismatches;
            if (!covered || qAlpha(got) != 255) continue;
            ++opaque;
            colourError += std::abs(qRed(got) - r / a) + std::abs(qGreen(got) - g / a) +
                           std::abs(qBlue(got) - b / a);
        }
    }
    EXPECT_EQ(maskMismatches, 0);
    EXPECT_GT(opaque, 400);  // the shield fills most of the square
    // The palette of 256 costs little: on average a few levels a channel.
    EXPECT_LT(colourError / (3.0 * opaque), 4.0);
}

// A desktop with common controls of version 6, for the theme fix.
struct Version6 final : platform::VisualStyleLibraries {
    std::optional<platform::DllVersionInfo> commonControlsVersion() noexcept override {
        platform::DllVersionInfo v;
        v.dwMajorVersion = 6;
        return v;
    }
    bool loadLibrary(std::string_view) noexcept override { return true; }
    bool initCommonControls(std::uint32_t, std::uint32_t) noexcept override { return true; }
    bool isAppThemed() noexcept override { return true; }
    bool isThemeActive() noexcept override { return true; }
    std::uint32_t themeAppProperties() noexcept override { return 7; }
};

// The theme fix over the window's controls: nothing here; with version 6, the frames and the
// graphical buttons (also inside a frame) and nothing else.
TEST(FrmMain, ThemeFixSubclassesOnlyFramesAndGraphicalButtonsFromVersion6On) {
    app();
    FrmMain w;
    auto* frame = new QGroupBox(QStringLiteral("Frame"), &w);
    auto* inFrame = new GraphicalButton(GraphicalButton::Kind::CheckBox, frame);
    auto* graphical = new GraphicalButton(GraphicalButton::Kind::CommandButton, &w);
    const auto fix = [&w] {
        const auto controls = themeControlsOf(w);
        std::vector<mdXpThemeSupport::ThemeControl*> list;
        for (const auto& c : controls)
            list.push_back(c.get());
        return mdXpThemeSupport::FixThemeSupport(list);
    };
    const auto subclassOf = [](QWidget* widget) {
        return widget->property(kSubclassProperty).toString().toStdString();
    };
    EXPECT_FALSE(fix());
    for (QWidget* widget : w.findChildren<QWidget*>())
        EXPECT_EQ(subclassOf(widget), "") << widget->objectName().toStdString();

    platform::setVisualStyleLibraries(std::make_unique<Version6>());
    EXPECT_TRUE(fix());
    platform::setVisualStyleLibraries(nullptr);
    EXPECT_EQ(subclassOf(frame), "pvRedirectFrame");
    EXPECT_EQ(subclassOf(inFrame), "pvRedirectButton");
    EXPECT_EQ(subclassOf(graphical), "pvRedirectButton");
    for (QWidget* standard : {static_cast<QWidget*>(w.Command1), static_cast<QWidget*>(w.Command2),
                              static_cast<QWidget*>(w.List1), static_cast<QWidget*>(w.Label4)})
        EXPECT_EQ(subclassOf(standard), "") << standard->objectName().toStdString();
}

}  // namespace
}  // namespace talvrin::app::qt

#include "frm_main_test.moc"
