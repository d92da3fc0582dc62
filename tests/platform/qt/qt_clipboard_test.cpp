// The desktop clipboard through Qt, as the surface's clipboard loader sees it.
#include "platform/qt/qt_clipboard.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QUrl>

#include "image/surface/c32bpp_dib.h"
#include "support/qt_test_app.h"

namespace talvrin {
namespace {

QGuiApplication& app() {
    return testing::qtTestApp();
}

TEST(QtClipboard, AnImageOnTheClipboardLoadsIntoASurface) {
    app();
    platform::qt::installQtClipboard();
    QImage image(3, 2, QImage::Format_ARGB32);
    image.fill(qRgba(0, 0, 255, 255));
    image.setPixel(1, 0, qRgba(200, 100, 50, 128));  // straight alpha: premultiplied on load
    image.setPixel(2, 1, qRgba(0, 0, 0, 0));
    QGuiApplication::clipboard()->setImage(image);

    c32bppDIB dib;
    ASSERT_TRUE(dib.LoadPicture_ClipBoard());
    EXPECT_EQ(dib.Width(), 3);
    EXPECT_EQ(dib.Height(), 2);
    EXPECT_TRUE(dib.Alpha());
    std::int32_t a = 0;
    EXPECT_EQ(dib.GetPixel(0, 0, a, true), 0x00FF0000);  // blue, top-left stays top-left
    EXPECT_EQ(a, 255);
    // 200, 100, 50 at alpha 128, truncated: 100, 50, 25.
    EXPECT_EQ(dib.GetPixel(1, 0, a, true), (25 << 16) | (50 << 8) | 100);
    EXPECT_EQ(a, 128);
    EXPECT_EQ(dib.GetPixel(2, 1, a, true), 0);
    EXPECT_EQ(a, 0);
}

TEST(QtClipboard, TextOrNothingOnTheClipboardIsNoPicture) {
    app();
    platform::qt::installQtClipboard();
    QGuiApplication::clipboard()->setText(QStringLiteral("not a picture"));
    c32bppDIB dib;
    ASSERT_TRUE(dib.InitializeDIB(2, 2));
    EXPECT_FALSE(dib.LoadPicture_ClipBoard());
    EXPECT_EQ(dib.Width(), 2) << "nothing to load: the surface keeps its image";
    QGuiApplication::clipboard()->clear();
    EXPECT_FALSE(dib.LoadPicture_ClipBoard());
    const platform::Clipboard* board = platform::clipboard();
    ASSERT_NE(board, nullptr);
    EXPECT_FALSE(board->hasFormat(platform::ClipboardFormat::EnhMetafile));
    EXPECT_EQ(board->picture(), nullptr);
}

TEST(QtClipboard, CopiedLocalFilesArePastedFileNames) {
    app();
    platform::qt::installQtClipboard();
    auto* data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/a b.png")),
                   QUrl(QStringLiteral("https://example.invalid/remote.png")),
                   QUrl::fromLocalFile(QString::fromUtf8("/tmp/\u00e9t\u00e9.gif"))});
    QGuiApplication::clipboard()->setMimeData(data);
    std::vector<std::string> names;
    ASSERT_EQ(c32bppDIB::GetPastedFileNames(names), 2) << "only local files are file names";
    EXPECT_EQ(names, (std::vector<std::string>{"/tmp/a b.png", "/tmp/\u00e9t\u00e9.gif"}));
    QGuiApplication::clipboard()->setText(QStringLiteral("no files"));
    EXPECT_EQ(c32bppDIB::GetPastedFileNames(names), 0);
}

}  // namespace
}  // namespace talvrin
