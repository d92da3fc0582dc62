// The loading dispatch and its sources: minimum sizes, decoder order, the kept bytes, icon
// preferences, ranges, picture objects, handles, the clipboard and resources.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "image/codecs/gifico_test_util.h"
#include "image/codecs/ico_parser.h"
#include "image/surface/c32bpp_dib.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/gdi_object.h"
#include "platform/gdi/icon.h"
#include "platform/os/files.h"
#include "platform/picture/clipboard.h"
#include "platform/picture/picture.h"
#include "platform/picture/resources.h"
#include "resources/builtin_resources.h"
#include "support/icon_file_builder.h"
#include "support/load_failure_printer.h"

namespace talvrin {
namespace {

using test::iconOfSizes;
using testutil::Bytes;

// A 2 x 2 PNG: red, green / blue, half-transparent white.
Bytes smallPng() {
    return testutil::makePngRgba(
        2, 2, {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 128});
}

// A 4 x 4 GIF of four colours, padded past the minimum size by a comment before the image.
Bytes smallGif() {
    testutil::GifRecipe s;
    s.width = s.height = 4;
    s.globalTable = {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};
    s.minCodeSize = 2;
    s.pixels = {0, 1, 2, 3, 1, 2, 3, 0, 2, 3, 0, 1, 3, 0, 1, 2};
    s.beforeImage = {0x21, 0xFE, 20};
    s.beforeImage.resize(s.beforeImage.size() + 20, 'x');
    s.beforeImage.push_back(0);
    return testutil::makeGif(s);
}

std::filesystem::path writeTemp(const std::string& name, const Bytes& bytes) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("talvrin_loading_" + std::to_string(::getpid()) + "_" + name);
    testutil::writeFile(path, bytes);
    return path;
}

// A surface that holds a marker image, so that "untouched" can be told from "emptied".
void mark(c32bppDIB& dib) {
    ASSERT_TRUE(dib.InitializeDIB(3, 3));
}
bool isMarked(const c32bppDIB& dib) {
    return dib.Width() == 3 && dib.Height() == 3;
}

TEST(LoadingMinimumSize, FiftySixBytesAreRefusedBeforeAnyDecoderFiftySevenReachThem) {
    Bytes junk(200, 0x5A);
    c32bppDIB dib;
    mark(dib);
    EXPECT_FALSE(dib.LoadPicture_Stream(junk, 0, 0, 0, 56));
    EXPECT_TRUE(isMarked(dib)) << "a refused range leaves the surface untouched";
    EXPECT_FALSE(dib.LoadPicture_Stream(junk, 0, 0, 0, 57));
    EXPECT_EQ(dib.Handle(), nullptr) << "57 bytes reach the dispatcher, which empties the surface";
    EXPECT_EQ(dib.ImageType(), imgNone);

    const auto p56 = writeTemp("56.bin", Bytes(56, 0x5A));
    mark(dib);
    EXPECT_FALSE(dib.LoadPicture_File(p56.string()));
    EXPECT_TRUE(isMarked(dib));
    std::filesystem::remove(p56);
    EXPECT_FALSE(dib.LoadPicture_File("/nonexistent/talvrin/file.png"));
}

TEST(LoadingDispatch, PngFromAFileKeepsTheWholeFile) {
    const Bytes png = smallPng();
    ASSERT_GE(png.size(), 57u);
    const auto path = writeTemp("a.png", png);
    c32bppDIB dib;
    ASSERT_TRUE(dib.LoadPicture_File(path.string(), 0, 0, true));
    EXPECT_EQ(dib.ImageType(), imgPNG);
    EXPECT_EQ(dib.Width(), 2);
    EXPECT_TRUE(dib.Alpha());
    EXPECT_EQ(dib.sourceBytes(), png);
    std::int32_t a = 0;
    EXPECT_EQ(dib.GetPixel(1, 1, a, true), 0x00808080);  // white at 128, premultiplied
    EXPECT_EQ(a, 128);
    // Without SaveFormat nothing is kept.
    ASSERT_TRUE(dib.LoadPicture_File(path.string()));
    EXPECT_TRUE(dib.sourceBytes().empty());
    std::filesystem::remove(path);
}

TEST(LoadingDispatch, GifFileGoesPastThePngDecoderAndIsKeptWhole) {
    const Bytes gif = smallGif();
    ASSERT_GE(gif.size(), 57u);
    const auto path = writeTemp("a.gif", gif);
    c32bppDIB dib;
    ASSERT_TRUE(dib.LoadPicture_File(path.string(), 0, 0, true));
    EXPECT_EQ(dib.ImageType(), imgGIF);
    EXPECT_EQ(dib.Width(), 4);
    EXPECT_EQ(dib.sourceBytes(), gif);
    std::int32_t a = 0;
    EXPECT_EQ(dib.GetPixel(1, 0, a, false), 0x000000FF);  // index 1: red
    std::filesystem::remove(path);
}

TEST(LoadingDispatch, FailedLoadLeavesTheSurfaceEmpty) {
    Bytes notAnImage(300, 0x11);
    c32bppDIB dib;
    mark(dib);
    EXPECT_FALSE(dib.LoadPicture_Stream(notAnImage, 0, 0, 0, 0, true));
    EXPECT_EQ(dib.Handle(), nullptr);
    EXPECT_EQ(dib.BitsPointer(), nullptr);
    EXPECT_TRUE(dib.sourceBytes().empty());
    // A PNG signature with damaged data is claimed by the PNG decoder: nothing else decodes it.
    Bytes png = smallPng();
    png[png.size() - 20] ^= 0xFF;  // inside the image data: its checksum fails
    EXPECT_FALSE(dib.LoadPicture_Stream(png));
    EXPECT_EQ(dib.Handle(), nullptr);
}

// The last load's failure: the decoder that claimed the data names it (with its detail), else
// the first that recognised it, else "not recognised" without a detail (the decoders that did
// not recognise the data have nothing to say about it); a load that succeeds clears it.
TEST(LoadingDispatch, TheLastLoadKeepsTheReasonOfItsFailure) {
    const Bytes png = smallPng();
    Bytes badCrc = png;
    badCrc[badCrc.size() - 20] ^= 0xFF;
    Bytes cutGif = smallGif();
    cutGif.resize(58);  // inside the image descriptor
    Bytes noTable = smallGif();
    noTable[10] &= 0x7F;  // no global table (and its bytes removed): neither decoder takes it
    noTable.erase(noTable.begin() + 13, noTable.begin() + 25);
    Bytes hugeBmp(80, 0);  // 8-bit run-length coded, 65280 x 32512 pixels: beyond any bitmap
    hugeBmp[0] = 'B', hugeBmp[1] = 'M', hugeBmp[10] = 54, hugeBmp[14] = 40;
    hugeBmp[19] = 0xFF, hugeBmp[23] = 0x7F, hugeBmp[26] = 1, hugeBmp[28] = 8, hugeBmp[30] = 1;
    struct Case {
        const char* name;
        Bytes bytes;
        LoadFailure want;
    };
    const Case cases[] = {
        {"junk", Bytes(300, 0x11), {DecodeFailure::kNotRecognised, {}}},
        {"56 bytes", Bytes(png.begin(), png.begin() + 56), {DecodeFailure::kTooShort, {}}},
        {"PNG with a bad checksum", badCrc, {DecodeFailure::kChecksum, "CRC mismatch in IDAT"}},
        {"GIF cut in its data", cutGif, {DecodeFailure::kTruncated, "block past the data"}},
        {"GIF without a colour table", noTable, {DecodeFailure::kBadHeader, "no colour table"}},
        {"bitmap larger than any surface",
         hugeBmp,
         {DecodeFailure::kTooLarge, "beyond the pixel limit"}},
        {"good PNG", png, {}},
    };
    c32bppDIB dib;
    for (const Case& c : cases) {
        EXPECT_EQ(dib.LoadPicture_Stream(c.bytes), !c.want.failed()) << c.name;
        EXPECT_EQ(dib.lastLoadFailure(), c.want) << c.name;
    }
    EXPECT_FALSE(dib.LoadPicture_File("/no/such/file.png"));
    EXPECT_EQ(dib.lastLoadFailure().reason, DecodeFailure::kUnreadable);
    EXPECT_FALSE(dib.LoadPicture_ByHandle(platform::GdiObjectRef{}));
    EXPECT_EQ(dib.lastLoadFailure().reason, DecodeFailure::kNotRecognised);
}

TEST(LoadingIcons, PreferencesReachTheIconDecoderAndKeptBytesDecodeAgain) {
    const Bytes ico = iconOfSizes({16, 32, 48});
    c32bppDIB dib;
    ASSERT_TRUE(dib.LoadPicture_Stream(ico, 16, 16, 0, 0, true));
    EXPECT_EQ(dib.Width(), 16);
    EXPECT_EQ(dib.sourceBytes(), ico);
    ASSERT_TRUE(dib.LoadPicture_FromOrignalFormat(48, 48, 32));
    EXPECT_EQ(dib.Width(), 48);
    std::int32_t a = 0;
    EXPECT_EQ(dib.GetPixel(0, 0, a, true), 48 << 16);  // blue 48: the 48 x 48 entry
    EXPECT_EQ(dib.sourceBytes(), ico) << "the re-decode keeps the bytes again";

    // Depths outside 0..32 ask for 32; negative sizes ask for no preference.
    c32bppDIB at40, atMinus1, at32;
    ASSERT_TRUE(at40.LoadPicture_Stream(ico, 48, 48, 0, 0, false, 40));
    ASSERT_TRUE(atMinus1.LoadPicture_Stream(ico, 48, 48, 0, 0, false, -1));
    ASSERT_TRUE(at32.LoadPicture_Stream(ico, 48, 48, 0, 0, false, 32));
    EXPECT_EQ(at40.Width(), at32.Width());
    EXPECT_EQ(atMinus1.Width(), at32.Width());
    c32bppDIB negative, none;
    ASSERT_TRUE(negative.LoadPicture_Stream(ico, -16, -16));
    ASSERT_TRUE(none.LoadPicture_Stream(ico, 0, 0));
    EXPECT_EQ(negative.Width(), none.Width());

    // Without kept bytes nothing happens and the image stays.
    c32bppDIB plain;
    ASSERT_TRUE(plain.LoadPicture_Stream(ico, 32, 32));
    EXPECT_FALSE(plain.LoadPicture_FromOrignalFormat(16, 16, 32));
    EXPECT_EQ(plain.Width(), 32);
}

// The sizes of a kept icon's images; a kept icon is needed for the full list.
TEST(LoadingIcons, SourceIconSizesListsTheKeptDirectory) {
    const Bytes ico = iconOfSizes({16, 48});
    c32bppDIB dib;
    std::vector<std::array<std::int32_t, 4>> sizes;
    ASSERT_TRUE(dib.LoadPicture_Stream(ico, 48, 48, 0, 0, true));
    ASSERT_EQ(dib.SourceIconSizes(sizes), 2);
    EXPECT_EQ(sizes,
              (std::vector<std::array<std::int32_t, 4>>{{16, 16, 32, -1}, {48, 48, 32, -1}}));
    ASSERT_TRUE(dib.LoadPicture_Stream(ico, 16, 16));  // nothing kept: the image's own size
    ASSERT_EQ(dib.SourceIconSizes(sizes), 1);
    EXPECT_EQ(sizes, (std::vector<std::array<std::int32_t, 4>>{{16, 16, 32, -1}}));
    ASSERT_TRUE(dib.LoadPicture_Stream(smallPng(), 0, 0, 0, 0, true));
    EXPECT_EQ(dib.SourceIconSizes(sizes), 0) << "not an icon";
    EXPECT_EQ(c32bppDIB().SourceIconSizes(sizes), 0);
}

TEST(LoadingRanges, StartAndLengthAreCheckedAgainstTheArray) {
    const Bytes png = smallPng();
    Bytes padded(10, 0xEE);
    testutil::append(padded, png);
    padded.insert(padded.end(), 7, 0xEE);
    c32bppDIB dib;

    // A sub-range decodes in place, and exactly that range is kept.
    ASSERT_TRUE(
        dib.LoadPicture_Stream(padded, 0, 0, 10, static_cast<std::int64_t>(png.size()), true));
    EXPECT_EQ(dib.sourceBytes(), png);
    ASSERT_TRUE(dib.LoadPicture_FromOrignalFormat());
    EXPECT_EQ(dib.Width(), 2);

    // A start below the array starts at its first byte.
    ASSERT_TRUE(dib.LoadPicture_Stream(png, 0, 0, -5, 0));
    EXPECT_EQ(dib.Width(), 2);

    // A start beyond the array is refused with the surface untouched.
    mark(dib);
    EXPECT_FALSE(dib.LoadPicture_Stream(png, 0, 0, static_cast<std::int64_t>(png.size()), 0));
    EXPECT_FALSE(dib.LoadPicture_Stream(png, 0, 0, 1LL << 40, 0));
    EXPECT_TRUE(isMarked(dib));
    // Only a length of 0 means "to the end": a negative one is refused, the surface untouched.
    EXPECT_FALSE(dib.LoadPicture_Stream(png, 0, 0, 0, -1));
    EXPECT_FALSE(dib.LoadPicture_Stream(padded, 0, 0, 10, -100));
    EXPECT_TRUE(isMarked(dib));

    // A length past the end is clamped to the bytes there are, before the minimum-size test.
    ASSERT_TRUE(dib.LoadPicture_Stream(padded, 0, 0, 10, 1LL << 40));
    EXPECT_EQ(dib.Width(), 2);
    mark(dib);
    EXPECT_FALSE(
        dib.LoadPicture_Stream(padded, 0, 0, static_cast<std::int64_t>(padded.size()) - 56, 1000));
    EXPECT_TRUE(isMarked(dib)) << "56 bytes remain after the start";

    // An empty array has never been sized.
    EXPECT_FALSE(dib.LoadPicture_Stream({}, 0, 0, 0, 0));
    EXPECT_TRUE(isMarked(dib));
}

// An opaque 2 x 1 bitmap object: blue then red.
std::unique_ptr<platform::Bitmap> twoPixelBitmap() {
    auto bmp = platform::Bitmap::create(2, 1, 32);
    std::uint8_t* p = bmp->bits();
    const std::uint8_t px[] = {255, 0, 0, 255, 0, 0, 255, 255};
    std::copy(std::begin(px), std::end(px), p);
    return bmp;
}

TEST(LoadingObjects, PicturesHandlesAndTheirKinds) {
    auto bmp = twoPixelBitmap();
    c32bppDIB dib;
    ASSERT_TRUE(dib.LoadPicture_ByHandle(platform::GdiObjectRef::of(bmp.get())));
    EXPECT_EQ(dib.Width(), 2);
    std::int32_t a = 0;
    EXPECT_EQ(dib.GetPixel(0, 0, a, true), 0x00FF0000);  // blue
    EXPECT_EQ(dib.GetPixel(1, 0, a, true), 0x000000FF);  // red
    EXPECT_NE(bmp->bits(), nullptr) << "the caller keeps its bitmap";

    // Metafiles are not drawn here: false, and nothing of the caller's is taken.
    mark(dib);
    platform::GdiObjectRef meta;
    meta.kind = platform::GdiObjectRef::Kind::EnhMetafile;
    EXPECT_FALSE(dib.LoadPicture_ByHandle(meta));
    EXPECT_EQ(dib.Handle(), nullptr);
    EXPECT_FALSE(dib.LoadPicture_ByHandle({}));

    auto picture = platform::Picture::borrowBitmap(*bmp);
    ASSERT_TRUE(dib.LoadPicture_StdPicture(picture.get()));
    EXPECT_EQ(dib.Width(), 2);
    EXPECT_FALSE(dib.LoadPicture_StdPicture(nullptr));
    EXPECT_EQ(dib.Handle(), nullptr);
}

class FakeClipboard final : public platform::Clipboard {
  public:
    FakeClipboard(bool offersBitmap, const platform::Bitmap* bmp)
        : offers_(offersBitmap), bmp_(bmp) {}
    bool hasFormat(platform::ClipboardFormat f) const override {
        return offers_ && f == platform::ClipboardFormat::Dib;
    }
    std::unique_ptr<platform::Picture> picture() const override {
        ++reads;
        return bmp_ ? platform::Picture::borrowBitmap(*bmp_) : nullptr;
    }
    mutable int reads = 0;

  private:
    bool offers_;
    const platform::Bitmap* bmp_;
};

TEST(LoadingObjects, ClipboardPictureLoadsOnlyWhenAnImageFormatIsOffered) {
    auto bmp = twoPixelBitmap();
    c32bppDIB dib;
    auto previous = platform::setClipboard(std::make_unique<FakeClipboard>(false, bmp.get()));
    EXPECT_FALSE(dib.LoadPicture_ClipBoard());
    platform::setClipboard(std::make_unique<FakeClipboard>(true, bmp.get()));
    EXPECT_TRUE(dib.LoadPicture_ClipBoard());
    EXPECT_EQ(dib.Width(), 2);
    platform::setClipboard(std::move(previous));
}

TEST(LoadingObjects, ResourcesByNameAndByPictureKind) {
    const Bytes png = smallPng();
    const Bytes ico = iconOfSizes({16, 32});
    auto provider = std::make_shared<platform::EmbeddedResourceProvider>(
        std::vector<platform::EmbeddedResource>{
            {std::string("LOGO"), "Custom", png}, {101, "CUSTOM", ico}, {1, "ICON", ico}});
    installIconPictureRoute();  // picture resources of icons go through the icon decoder
    c32bppDIB dib;
    ASSERT_TRUE(
        dib.LoadPicture_Resource(std::string("logo"), std::string("CUSTOM"), provider.get()));
    EXPECT_EQ(dib.ImageType(), imgPNG);
    EXPECT_TRUE(dib.sourceBytes().empty()) << "resource bytes are never kept";
    ASSERT_TRUE(dib.LoadPicture_Resource(101, std::string("custom"), provider.get(), 16, 16));
    EXPECT_EQ(dib.Width(), 16);
    EXPECT_FALSE(dib.LoadPicture_Resource(102, std::string("CUSTOM"), provider.get()));
    EXPECT_FALSE(dib.LoadPicture_Resource(1, 7, provider.get()));  // no such picture kind
    // A picture resource goes through the picture loader and the icon conversion.
    ASSERT_TRUE(dib.LoadPicture_Resource(1, 1, provider.get()));
    EXPECT_GT(dib.Width(), 0);

    // Without a provider, the program's own resources are used.
    auto before = platform::programResources();
    platform::setProgramResources(provider);
    EXPECT_TRUE(dib.LoadPicture_Resource(std::string("LOGO"), std::string("CUSTOM")));
    platform::setProgramResources(nullptr);
    EXPECT_FALSE(dib.LoadPicture_Resource(std::string("LOGO"), std::string("CUSTOM")));
    platform::setProgramResources(before);
}

TEST(LoadingObjects, ProgramsOwnResourcesAreCompiledIn) {
    // What the program installs at start-up.
    installIconPictureRoute();
    const auto before = platform::programResources();
    platform::setProgramResources(builtInResources());
    c32bppDIB dib;
    ASSERT_TRUE(dib.LoadPicture_Resource(101, std::string("CUSTOM")));  // the window icon
    EXPECT_EQ(dib.Width(), 32);
    EXPECT_EQ(dib.Height(), 32);
    ASSERT_TRUE(dib.LoadPicture_Resource(102, std::string("CUSTOM")));  // the link picture
    EXPECT_EQ(dib.ImageType(), imgGIF);
    EXPECT_EQ(dib.Width(), 16);
    ASSERT_TRUE(dib.LoadPicture_Resource(1, 2));  // the link cursor, as a picture
    EXPECT_EQ(dib.Width(), 32);
    EXPECT_FALSE(dib.LoadPicture_Resource(999, std::string("CUSTOM")));
    platform::setProgramResources(before);
}

}  // namespace
}  // namespace talvrin
