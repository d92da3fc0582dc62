// The routines that turn bytes and platform handles into picture objects: the range handed to
// the picture loader, and who owns a handle after a conversion succeeds or fails.
#include "image/codecs/platform_wrappers.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace talvrin {
namespace {

// A loader that records what it was given and answers a 1x1 bitmap picture.
class RecordingLoader : public platform::PictureLoader {
  public:
    explicit RecordingLoader(std::vector<std::uint8_t>* seen) : seen_(seen) {}
    Decoded<std::unique_ptr<platform::Picture>> load(
        std::span<const std::uint8_t> bytes) noexcept override {
        seen_->assign(bytes.begin(), bytes.end());
        return {platform::Picture::fromBitmap(platform::Bitmap::create(1, 1, 32)), {}};
    }

  private:
    std::vector<std::uint8_t>* seen_;
};

class BytesToPictureTest : public ::testing::Test {
  protected:
    void TearDown() override { platform::setPictureLoader(std::move(saved_)); }
    std::unique_ptr<platform::PictureLoader> saved_ = platform::setPictureLoader(nullptr);
};

TEST_F(BytesToPictureTest, WithoutLoaderThereIsNoPicture) {
    const std::vector<std::uint8_t> bytes{1, 2, 3, 4};
    EXPECT_EQ(BytesToPicture(bytes, 0, 4).image, nullptr);
}

TEST_F(BytesToPictureTest, HandsExactlyTheRequestedRangeToTheLoader) {
    std::vector<std::uint8_t> seen;
    platform::setPictureLoader(std::make_unique<RecordingLoader>(&seen));
    const std::vector<std::uint8_t> bytes{1, 2, 3, 4, 5, 6};
    auto picture = BytesToPicture(bytes, 2, 3).image;
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->type(), platform::kPictureBitmap);
    EXPECT_EQ(seen, (std::vector<std::uint8_t>{3, 4, 5}));

    seen.clear();
    EXPECT_EQ(BytesToPicture(bytes, 4, 3).image, nullptr);  // one byte past the end
    EXPECT_EQ(BytesToPicture(bytes, -1, 2).image, nullptr);
    EXPECT_EQ(BytesToPicture(bytes, 0, 0).image, nullptr);
    EXPECT_TRUE(seen.empty());
}

TEST(HandleToPicture, BitmapOwnershipPassesToThePicture) {
    auto bitmap = platform::Bitmap::create(4, 2, 32);
    ASSERT_NE(bitmap, nullptr);
    const platform::Bitmap* raw = bitmap.get();
    auto picture = HandleToPicture(std::move(bitmap), platform::kPictureBitmap);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(bitmap, nullptr);
    EXPECT_TRUE(picture->ownsHandle());
    EXPECT_EQ(picture->bitmap(), raw);
    EXPECT_EQ(picture->pixelWidth(), 4);
    auto back = picture->releaseBitmap();
    EXPECT_EQ(back.get(), raw);
    EXPECT_FALSE(picture->ownsHandle());
}

TEST(HandleToPicture, FailureLeavesTheHandleWithTheCaller) {
    auto bitmap = platform::Bitmap::create(2, 2, 32);
    ASSERT_NE(bitmap, nullptr);
    const platform::Bitmap* raw = bitmap.get();
    for (std::int32_t type : {platform::kPictureNone, platform::kPictureMetafile,
                              platform::kPictureIcon, platform::kPictureEnhMetafile}) {
        EXPECT_EQ(HandleToPicture(std::move(bitmap), type), nullptr) << type;
        EXPECT_EQ(bitmap.get(), raw);
    }
    std::unique_ptr<platform::Bitmap> none;
    EXPECT_EQ(HandleToPicture(std::move(none), platform::kPictureBitmap), nullptr);
}

TEST(HandleToPicture, IconOwnershipPassesToThePicture) {
    auto icon = platform::Icon::create(true, platform::Bitmap::create(3, 3, 32),
                                       platform::MaskBitmap::create(3, 3));
    ASSERT_NE(icon, nullptr);
    const platform::Icon* raw = icon.get();
    EXPECT_EQ(HandleToPicture(std::move(icon), platform::kPictureBitmap), nullptr);
    ASSERT_EQ(icon.get(), raw);
    auto picture = HandleToPicture(std::move(icon), platform::kPictureIcon);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(icon, nullptr);
    EXPECT_EQ(picture->type(), platform::kPictureIcon);
    EXPECT_EQ(picture->icon(), raw);
    EXPECT_TRUE(picture->ownsHandle());
}

}  // namespace
}  // namespace talvrin
