// Pixels out and in, the bitmap and PNG files, the kept bytes, and the file names of a drop or
// of the clipboard.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "base/simd.h"
#include "image/bridge/gdiplus.h"
#include "image/codecs/compression.h"
#include "image/codecs/png_writer.h"
#include "image/surface/c32bpp_dib.h"
#include "image/surface/c32bpp_dib_internal.h"
#include "platform/picture/clipboard.h"
#include "platform/picture/jpeg_encoder.h"
#include "render_test_support.h"

namespace talvrin {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::Pixel;

// 3 x 2, premultiplied, top row first: opaque red, (B64, G32, R16) at alpha 128, transparent;
// then opaque 1, 2, 3 / 4, 5, 6 / 7, 8, 9 (as B, G, R).
std::unique_ptr<c32bppDIB> sample() {
    auto dib = std::make_unique<c32bppDIB>();
    dib->InitializeDIB(3, 2);
    testing::put(*dib, 0, 0, {0, 0, 255, 255});
    testing::put(*dib, 1, 0, {64, 32, 16, 128});
    testing::put(*dib, 2, 0, {0, 0, 0, 0});
    testing::put(*dib, 0, 1, {1, 2, 3, 255});
    testing::put(*dib, 1, 1, {4, 5, 6, 255});
    testing::put(*dib, 2, 1, {7, 8, 9, 255});
    SurfaceInternals::setAlpha(*dib, true);
    return dib;
}

TEST(PixelExport, LayoutsRectanglesAndUnpremultiplying) {
    const auto dib = sample();
    struct Case {
        const char* name;
        bool bgr, four, aligned, bottomUp, premultiplied;
        std::int32_t x, y, w, h;
        Bytes want;
    };
    const Case cases[] = {
        {"whole image as stored", true, true, false, true, true, 0, 0, 0, 0,
         Bytes(dib->BitsPointer(), dib->BitsPointer() + 24)},
        {"top row, 24-bit padded",
         true,
         false,
         true,
         false,
         true,
         0,
         0,
         0,
         1,
         {0, 0, 255, 64, 32, 16, 0, 0, 0, 0, 0, 0}},
        {"top row, 24-bit unpadded",
         true,
         false,
         false,
         false,
         true,
         0,
         0,
         0,
         1,
         {0, 0, 255, 64, 32, 16, 0, 0, 0}},
        // 16, 32, 64 at alpha 128: 16 * 255 / 128 = 31, 63, 127; transparent stays zeros.
        {"top row straight RGBA",
         false,
         true,
         false,
         false,
         false,
         0,
         0,
         0,
         1,
         {255, 0, 0, 255, 31, 63, 127, 128, 0, 0, 0, 0}},
        {"columns 1-2 bottom-up RGB",
         false,
         false,
         false,
         true,
         true,
         1,
         0,
         2,
         0,
         {6, 5, 4, 9, 8, 7, 16, 32, 64, 0, 0, 0}},
        {"a rectangle reaching past the edge is cut",
         true,
         true,
         false,
         false,
         true,
         2,
         1,
         50,
         50,
         {7, 8, 9, 255}},
    };
    for (const Case& c : cases) {
        Bytes out;
        ASSERT_TRUE(dib->GetDIBbits(out, false, c.bgr, c.four, c.aligned, c.bottomUp, c.x, c.y, c.w,
                                    c.h, c.premultiplied))
            << c.name;
        EXPECT_EQ(out, c.want) << c.name;
    }
    // Nothing to export: false, and the array keeps what it held.
    Bytes kept{42};
    for (const auto& [x, y, w, h] : std::vector<std::array<std::int32_t, 4>>{
             {-1, 0, 0, 0}, {0, -1, 0, 0}, {3, 0, 0, 0}, {0, 2, 0, 0}, {0, 0, -2, 0}}) {
        EXPECT_FALSE(dib->GetDIBbits(kept, false, true, true, false, true, x, y, w, h))
            << x << "," << y << " " << w << "x" << h;
        EXPECT_EQ(kept, Bytes{42});
    }
    EXPECT_FALSE(c32bppDIB().GetDIBbits(kept, false, true, true, false, true));
    // A malformed pixel whose colour exceeds its alpha is held to 255, not wrapped.
    auto odd = testing::engineSurface(1, 1);
    testing::put(*odd, 0, 0, {200, 0, 0, 100});
    ASSERT_TRUE(odd->GetDIBbits(kept, false, true, true, false, true, 0, 0, 0, 0, false));
    EXPECT_EQ(kept, (Bytes{255, 0, 0, 100}));
}

// The 4-byte layouts move opaque pixels (and every pixel, premultiplied) several at a time, in
// a wide and a narrow vector form, or one at a time: each form, for every width from 1 to 64 at
// every start column, over rows that mix opaque pixels with others, in both channel orders,
// against the formula pixel by pixel.
TEST(PixelExport, FourByteRowsMatchThePixelFormulaForEveryWidthAndStart) {
    constexpr int kWidth = 72;
    auto dib = testing::engineSurface(kWidth, 2);
    std::mt19937 rng(17);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            // Mostly opaque runs (row 0) or mostly mixed alpha (row 1).
            const bool opaque = y == 0 ? rng() % 8 != 0 : rng() % 4 == 0;
            const std::uint8_t a = opaque ? 255 : static_cast<std::uint8_t>(rng());
            auto c = [&] { return static_cast<std::uint8_t>(a ? rng() % (a + 1u) : 0); };
            testing::put(*dib, x, y, {c(), c(), c(), a});
        }
    }
    for (const simd::Level level : {simd::Level::kAvx2, simd::Level::kSse2, simd::Level::kScalar}) {
        // Each limit leaves the narrower forms to run where the wider one would.
        const simd::ScopedLevelLimit held(level);
        for (const bool bgr : {false, true}) {
            for (const bool premultiplied : {false, true}) {
                for (int start = 0; start < 8; ++start) {
                    for (int w = 1; w <= 64; ++w) {
                        Bytes out;
                        ASSERT_TRUE(dib->GetDIBbits(out, false, bgr, true, false, false, start, 0,
                                                    w, 2, premultiplied));
                        ASSERT_EQ(out.size(), static_cast<std::size_t>(w) * 4 * 2);
                        for (int y = 0; y < 2; ++y) {
                            for (int i = 0; i < w; ++i) {
                                const Pixel p = testing::get(*dib, start + i, y);
                                std::uint8_t b = p[0], g = p[1], r = p[2];
                                const std::uint8_t a = p[3];
                                if (!premultiplied && a != 255) {
                                    auto un = [a](std::uint8_t v) {
                                        return a == 0 ? std::uint8_t{0}
                                                      : static_cast<std::uint8_t>(
                                                            std::min(255, v * 255 / a));
                                    };
                                    b = un(b), g = un(g), r = un(r);
                                }
                                const std::uint8_t* o = out.data() + (y * w + i) * 4;
                                const Pixel want = bgr ? Pixel{b, g, r, a} : Pixel{r, g, b, a};
                                ASSERT_EQ((Pixel{o[0], o[1], o[2], o[3]}), want)
                                    << "bgr " << bgr << " premultiplied " << premultiplied
                                    << " start " << start << " width " << w << " pixel " << i
                                    << " level " << int(level);
                            }
                        }
                    }
                }
            }
        }
    }
}

TEST(PixelImport, RowsPlacesAndTheAlphaDecidedAgain) {
    // A 2 x 1 rectangle at (1, 0) of a 3 x 2 image, in RGBA with straight alpha, bottom-up input:
    // input row 0 would go to image row 0 + 1 - 1 - 0 = 0 (one row). The array must still hold
    // the image's 2 rows of 8 bytes.
    auto dib = sample();
    const std::int32_t type = dib->ImageType();
    Bytes in = {10, 20, 30, 255, 200, 100, 50, 128};
    EXPECT_FALSE(dib->SetDIBbits(in, false, true, false, true, 1, 0, 2, 1))
        << "one row of data is less than the image's height of rows";
    in.resize(16, 0xEE);
    ASSERT_TRUE(dib->SetDIBbits(in, false, true, false, true, 1, 0, 2, 1));
    EXPECT_EQ(testing::get(*dib, 1, 0), (Pixel{30, 20, 10, 255}));
    // 50, 100, 200 at alpha 128 premultiplied by truncation: 25, 50, 100.
    EXPECT_EQ(testing::get(*dib, 2, 0), (Pixel{25, 50, 100, 128}));
    EXPECT_EQ(testing::get(*dib, 0, 0), (Pixel{0, 0, 255, 255})) << "outside the rectangle";
    EXPECT_EQ(testing::get(*dib, 1, 1), (Pixel{4, 5, 6, 255}));
    EXPECT_TRUE(dib->Alpha());
    EXPECT_EQ(dib->ImageType(), type);

    // 3-byte BGR input keeps the alpha bytes; an all-opaque result clears the alpha flag.
    auto opaque = testing::engineSurface(2, 2);
    testing::fill(*opaque, {0, 0, 0, 255});
    const Bytes bgr = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};  // padded rows
    ASSERT_TRUE(opaque->SetDIBbits(bgr, true, false, true, false));
    EXPECT_EQ(testing::get(*opaque, 1, 0), (Pixel{4, 5, 6, 255}));
    EXPECT_EQ(testing::get(*opaque, 0, 1), (Pixel{7, 8, 9, 255}));
    EXPECT_FALSE(opaque->Alpha());

    // Export then import gives the same pixels, in every layout.
    for (const bool bgrOrder : {false, true})
        for (const bool bottomUp : {false, true}) {
            auto src = sample();
            Bytes rows;
            ASSERT_TRUE(src->GetDIBbits(rows, false, bgrOrder, true, false, bottomUp));
            auto dst = testing::engineSurface(3, 2);
            ASSERT_TRUE(dst->SetDIBbits(rows, bgrOrder, true, false, bottomUp));
            EXPECT_EQ(Bytes(dst->BitsPointer(), dst->BitsPointer() + 24),
                      Bytes(src->BitsPointer(), src->BitsPointer() + 24));
        }
    // Refusals leave the pixels alone.
    EXPECT_FALSE(dib->SetDIBbits({}, true, true, false, true));
    EXPECT_FALSE(dib->SetDIBbits(in, true, true, false, true, 3, 0));
    EXPECT_FALSE(dib->SetDIBbits(in, true, true, false, true, -1, 0));
    EXPECT_FALSE(c32bppDIB().SetDIBbits(in, true, true, false, true));
}

TEST(Saving, BitmapFilesOfBothDepthsReadBackAsTheSurface) {
    for (const bool alpha : {false, true}) {
        auto dib = testing::engineSurface(3, 2);
        testing::fillRandom(*dib, 5, !alpha);
        SurfaceInternals::setAlpha(*dib, alpha);
        Bytes file;
        ASSERT_TRUE(dib->SaveToStream(file));
        const std::size_t rowBytes = alpha ? 12 : 12;  // 3 * 4, or 3 * 3 padded to 12
        ASSERT_EQ(file.size(), 54 + rowBytes * 2);
        EXPECT_EQ(file[0], 'B');
        EXPECT_EQ(file[28], alpha ? 32 : 24);
        EXPECT_EQ(file[2] | (file[3] << 8), static_cast<int>(file.size()));
        c32bppDIB back;
        ASSERT_TRUE(back.LoadPicture_Stream(file));
        ASSERT_EQ(back.Width(), 3);
        EXPECT_EQ(Bytes(back.BitsPointer(), back.BitsPointer() + 24),
                  Bytes(dib->BitsPointer(), dib->BitsPointer() + 24));
    }
    // A wider 24-bit image pads each row: 5 * 3 = 15 bytes become 16.
    auto wide = testing::engineSurface(5, 3);
    testing::fillRandom(*wide, 9, true);
    SurfaceInternals::setAlpha(*wide, false);
    Bytes file;
    ASSERT_TRUE(wide->SaveToStream(file));
    EXPECT_EQ(file.size(), 54u + 16 * 3);
    EXPECT_FALSE(c32bppDIB().SaveToStream(file));
}

TEST(Saving, PngFilesAndKeptBytes) {
    auto dib = sample();
    // The own encoder, exact for translucent pixels too (the desktop's imaging library, which
    // the save tries first where it is present, is tested with the bridge).
    const bridge::ScopedBackendAbsent ownEncoder;
    Bytes png;
    ASSERT_TRUE(dib->SaveToStream_PNG(png));
    c32bppDIB back;
    ASSERT_TRUE(back.LoadPicture_Stream(png, 0, 0, 0, 0, true));
    EXPECT_EQ(Bytes(back.BitsPointer(), back.BitsPointer() + 24),
              Bytes(dib->BitsPointer(), dib->BitsPointer() + 24));
    Bytes kept;
    EXPECT_TRUE(back.GetOrginalFormat(kept));
    EXPECT_EQ(kept, png);
    EXPECT_FALSE(dib->GetOrginalFormat(kept));
    EXPECT_TRUE(kept.empty());
    EXPECT_FALSE(c32bppDIB().SaveToStream_PNG(png));
}

TEST(Saving, EachEncoderSaysWhyItFailed) {
    // 4 x 1 pixels, the first translucent with its colour above its alpha (no premultiplied
    // pixel), or nothing at all.
    const auto surface = [](bool image, bool premultiplied) {
        auto dib = image ? testing::engineSurface(4, 1) : std::make_unique<c32bppDIB>();
        if (image) {
            testing::fillRandom(*dib, 3, true);
            SurfaceInternals::setAlpha(*dib, true);
            if (!premultiplied) {
                dib->BitsPointer()[0] = 200;  // blue
                dib->BitsPointer()[3] = 100;  // alpha
            }
        }
        return dib;
    };
    const auto png = [](const c32bppDIB& dib) {
        cPNGwriter writer;
        Bytes out;
        const bool written = writer.WritePNG(dib, out);
        EXPECT_EQ(written, !writer.lastSaveFailure().failed());
        return writer.lastSaveFailure();
    };
    const auto bmp = [](const c32bppDIB& dib) {
        Bytes out;
        SaveFailure failure{EncodeFailure::kCompression, "stale"};
        const bool written = dib.SaveToStream(out, failure);
        EXPECT_EQ(written, !failure.failed());
        return failure;
    };
    const auto surfacePng = [](const c32bppDIB& dib) {
        Bytes out;
        SaveFailure failure{EncodeFailure::kCompression, "stale"};
        const bool written = dib.SaveToStream_PNG(out, failure);
        EXPECT_EQ(written, !failure.failed());
        return failure;
    };
    const auto jpeg = [](std::int32_t w, std::int32_t h) {
        Bytes out;
        return platform::encodeJpeg(
            w, h, 90, [](std::int32_t, std::uint8_t*) {}, out);
    };
    const bool haveJpeg = platform::jpegEncoderAvailable();
    const bridge::ScopedBackendAbsent ownEncoder;
    const struct {
        const char* name;
        std::function<SaveFailure()> encode;
        EncodeFailure expected;
    } cases[] = {
        {"png, no image", [&] { return png(*surface(false, true)); }, EncodeFailure::kNoImage},
        {"bmp, no image", [&] { return bmp(*surface(false, true)); }, EncodeFailure::kNoImage},
        {"surface png, no image", [&] { return surfacePng(*surface(false, true)); },
         EncodeFailure::kNoImage},
        {"png, no compression library",
         [&] {
             const compression::ScopedAbsent absent;
             return png(*surface(true, true));
         },
         EncodeFailure::kUnavailable},
        {"png, colour above alpha", [&] { return png(*surface(true, false)); },
         EncodeFailure::kNotPremultiplied},
        {"surface png, colour above alpha", [&] { return surfacePng(*surface(true, false)); },
         EncodeFailure::kNotPremultiplied},
        {"png", [&] { return png(*surface(true, true)); }, EncodeFailure::kNone},
        {"bmp", [&] { return bmp(*surface(true, true)); }, EncodeFailure::kNone},
        {"jpeg, no pixels", [&] { return jpeg(0, 8); },
         haveJpeg ? EncodeFailure::kNoImage : EncodeFailure::kUnavailable},
        {"jpeg, beyond its largest side", [&] { return jpeg(65501, 1); },
         haveJpeg ? EncodeFailure::kTooLarge : EncodeFailure::kUnavailable},
    };
    for (const auto& c : cases) {
        const SaveFailure got = c.encode();
        EXPECT_EQ(got.reason, c.expected) << c.name << ": " << explain(got);
        // A failure's detail is never stale; a success has none.
        EXPECT_NE(got.detail, "stale") << c.name;
        if (!got.failed()) {
            EXPECT_TRUE(got.detail.empty()) << c.name;
        }
    }
}

// A drop's data object whose raw structure and own list are set by the test.
class FakeDrop final : public platform::DropDataObject {
  public:
    bool offers = true;
    std::optional<platform::FileDrop> raw;
    std::vector<std::string> list;
    bool hasFormat(platform::ClipboardFormat f) const override {
        return offers && f == platform::ClipboardFormat::FileDrop;
    }
    std::optional<platform::FileDrop> fileDrop() const override { return raw; }
    std::vector<std::string> files() const override { return list; }
    void clearFiles() override { list.clear(); }
    void addFile(std::string name) override { list.push_back(std::move(name)); }
};

class FileClipboard final : public platform::Clipboard {
  public:
    explicit FileClipboard(std::optional<platform::FileDrop> drop) : drop_(std::move(drop)) {}
    bool hasFormat(platform::ClipboardFormat f) const override {
        return drop_ && f == platform::ClipboardFormat::FileDrop;
    }
    std::unique_ptr<platform::Picture> picture() const override { return nullptr; }
    std::optional<platform::FileDrop> fileDrop() const override { return drop_; }

  private:
    std::optional<platform::FileDrop> drop_;
};

TEST(FileNames, DroppedNamesComeWholeFromTheRawStructurePastedOnesFromTheClipboard) {
    FakeDrop drop;
    drop.list = {"?t?.png", "b.gif"};  // as a narrow code page would mangle them
    drop.raw = platform::FileDrop{true, {"\xC3\xA9t\xC3\xA9.png", "b.gif", "extra.bmp"}};
    ASSERT_TRUE(c32bppDIB::GetDroppedFileNames(drop));
    EXPECT_EQ(drop.list, (std::vector<std::string>{"\xC3\xA9t\xC3\xA9.png", "b.gif"}));
    drop.raw->wide = false;  // a narrow structure: the list stays as it is
    drop.list = {"x"};
    EXPECT_TRUE(c32bppDIB::GetDroppedFileNames(drop));
    EXPECT_EQ(drop.list, std::vector<std::string>{"x"});
    drop.raw.reset();  // the fetch fails
    EXPECT_FALSE(c32bppDIB::GetDroppedFileNames(drop));
    drop.offers = false;
    EXPECT_FALSE(c32bppDIB::GetDroppedFileNames(drop));

    std::vector<std::string> names;
    auto previous = platform::setClipboard(
        std::make_unique<FileClipboard>(platform::FileDrop{true, {"/a.png", "/b c.ico"}}));
    EXPECT_EQ(c32bppDIB::GetPastedFileNames(names), 2);
    EXPECT_EQ(names, (std::vector<std::string>{"/a.png", "/b c.ico"}));
    platform::setClipboard(std::make_unique<FileClipboard>(std::nullopt));
    EXPECT_EQ(c32bppDIB::GetPastedFileNames(names), 0);
    platform::setClipboard(nullptr);
    EXPECT_EQ(c32bppDIB::GetPastedFileNames(names), 0);
    platform::setClipboard(std::move(previous));
}

}  // namespace
}  // namespace talvrin
