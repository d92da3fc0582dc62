// The bridge's resampler: each vector row form against the scalar reference, and the rules of
// a draw (exact translations, uniform images staying uniform, pixel centres, no aliasing when
// reducing, turned draws) on whole draws.
#include "image/bridge/resample.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numeric>
#include <random>
#include <vector>

#include "base/simd.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/device_context.h"
#include "platform/gdi/gdi.h"

namespace talvrin::bridge::resample {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Premultiplied random pixels, in runs of 8 opaque, transparent or translucent ones so that the
// vector forms' whole-vector shortcuts are met at every offset.
Bytes randomPixels(std::size_t count, std::mt19937& rng) {
    Bytes p(count * 4);
    const unsigned firstRun = rng();
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned kind = (static_cast<unsigned>(i) / 8 + firstRun) % 3;
        const std::uint32_t a = kind == 0 ? 255 : kind == 1 ? 0 : rng() % 256;
        for (int c = 0; c < 3; ++c)
            p[4 * i + c] = static_cast<std::uint8_t>(a ? rng() % (a + 1) : 0);
        p[4 * i + 3] = static_cast<std::uint8_t>(a);
    }
    return p;
}

std::vector<const RowForms*> vectorForms() {
    std::vector<const RowForms*> forms;
    for (const simd::Level l : {simd::Level::kSse2, simd::Level::kAvx2})
        if (const RowForms* r = formsOf(l)) forms.push_back(r);
    return forms;
}

constexpr int kOffsets = 8;  // pixels of misalignment tried, within a 32-byte vector
constexpr int kGuard = 16;   // values after the output that must stay untouched

// Every vector form against the reference, across over bytes and over box averages (enlarging,
// reducing by whole and uneven factors, mirrored, a source narrower than the window), down with
// weights of any kind and with symmetric ones (stored or blended as made), a turned draw's pixels
// and the blend: for every output width from 1 to 64 at every offset, the same values, and nothing
// written past the output.
TEST(ResampleForms, EveryVectorFormMatchesTheReferenceAtEveryWidthAndOffset) {
    const auto forms = vectorForms();
    if (forms.empty()) GTEST_SKIP() << "no vector form of the resampler runs on this processor";
    const RowForms& ref = *formsOf(simd::Level::kScalar);
    std::mt19937 rng(24);
    struct Axis {
        const char* name;
        double step, origin;
        std::int32_t source;  // 0: enough for the widest output
        Kernel kernel;
    };
    const Axis axes[] = {{"enlarge 2", 0.5, 0.3, 0, Kernel::kCubic},
                         {"reduce 2", 2.0, 0.0, 0, Kernel::kCubic},
                         {"reduce 2 lanczos", 2.0, 1.0, 0, Kernel::kLanczos3},
                         {"reduce 3", 3.0, 0.0, 0, Kernel::kCubic},
                         {"reduce 1.37", 1.37, 0.2, 0, Kernel::kCubic},
                         {"reduce 10", 10.0, 0.0, 0, Kernel::kCubic},
                         {"mirrored 2", -2.0, 129.0, 0, Kernel::kCubic},
                         {"narrow source", 0.05, 0.0, 3, Kernel::kLanczos3}};
    for (const RowForms* vec : forms) {
        for (const Axis& a : axes) {
            for (std::int32_t width = 1; width <= 64; ++width) {
                const std::int32_t source =
                    a.source ? a.source
                             : static_cast<std::int32_t>(std::fabs(a.step) * (width + 8)) + 16;
                const AxisFilter f = axisFilter(a.kernel, a.step, a.origin, width + 3, source, 1);
                ASSERT_GT(f.taps, 0);
                const std::int32_t readable = std::max(source, f.taps);
                for (int off = 0; off < kOffsets; ++off) {
                    const Bytes row = randomPixels(std::size_t(off + readable), rng);
                    const std::int32_t begin = off % 4;  // bands start anywhere in the filter
                    std::vector<std::int16_t> want(4 * std::size_t(width) + kGuard, 7), got = want;
                    ref.across(row.data() + 4 * off, f, begin, width, want.data());
                    vec->across(row.data() + 4 * off, f, begin, width, got.data());
                    ASSERT_EQ(got, want)
                        << "across " << a.name << " width " << width << " offset " << off;
                    // Box averages of 7 fractional bits about the same pixels.
                    std::vector<std::int16_t> boxed(row.size());
                    for (std::size_t v = 0; v < row.size(); ++v)
                        boxed[v] = static_cast<std::int16_t>(std::min<unsigned>(
                            255u << kBoxBits, (row[v] << kBoxBits) + rng() % 128));
                    ref.acrossBoxed(boxed.data() + 4 * off, f, begin, width, want.data());
                    vec->acrossBoxed(boxed.data() + 4 * off, f, begin, width, got.data());
                    ASSERT_EQ(got, want)
                        << "across boxed " << a.name << " width " << width << " offset " << off;
                }
            }
        }
        for (const std::int32_t taps : {4, 8, 12, 16, 44}) {
            for (const bool symmetric : {false, true}) {
                for (std::int32_t width = 1; width <= 64; ++width) {
                    for (int off = 0; off < kOffsets; ++off) {
                        // Rows over the whole range between the passes, and weights that
                        // overshoot as a cubic's do, or that read the same both ways.
                        std::vector<std::vector<std::int16_t>> rows(static_cast<std::size_t>(taps));
                        std::vector<const std::int16_t*> at;
                        for (auto& r : rows) {
                            r.resize(4 * std::size_t(width + off));
                            for (auto& v : r)
                                v = static_cast<std::int16_t>(int(rng() % (4 * kMidBias)) -
                                                              2 * kMidBias);
                            at.push_back(r.data() + 4 * off);
                        }
                        std::vector<std::int16_t> w(static_cast<std::size_t>(taps));
                        for (auto& v : w)
                            v = static_cast<std::int16_t>(int(rng() % 1400) - 300);
                        if (symmetric) std::copy(w.begin(), w.begin() + taps / 2, w.rbegin());
                        const std::int32_t rest =
                            kUnitWeight - std::accumulate(w.begin(), w.end(), 0);
                        w[0] = static_cast<std::int16_t>(w[0] + rest / 2);
                        w[taps - 1] = static_cast<std::int16_t>(w[taps - 1] + rest - rest / 2);
                        Bytes want(4 * std::size_t(width) + kGuard, 7), got = want;
                        ref.down(at.data(), w.data(), taps, width, want.data());
                        vec->down(at.data(), w.data(), taps, width, got.data());
                        ASSERT_EQ(got, want) << "down taps " << taps << " symmetric " << symmetric
                                             << " width " << width << " offset " << off;
                        // The same, blended onto pixels as it is made.
                        for (auto& v : want)
                            v = static_cast<std::uint8_t>(rng());
                        got = want;
                        ref.downOver(at.data(), w.data(), taps, width, want.data());
                        vec->downOver(at.data(), w.data(), taps, width, got.data());
                        ASSERT_EQ(got, want)
                            << "down over taps " << taps << " symmetric " << symmetric << " width "
                            << width << " offset " << off;
                    }
                }
            }
        }
        for (const double scale : {1.0, 2.5}) {
            const PhaseTable px = phaseTable(Kernel::kCubic, scale, 1);
            const PhaseTable py = phaseTable(Kernel::kLanczos3, scale, 0.7);
            const std::int32_t sw = 23, sh = 17;
            const Bytes pixels = randomPixels(std::size_t(sw) * sh, rng);
            const Source src{pixels.data(), sw * 4, sw, sh};
            for (std::int32_t width = 1; width <= 64; ++width) {
                // Blocks inside the source and crossing each of its edges.
                std::vector<AffineSample> samples(static_cast<std::size_t>(width));
                for (auto& s : samples) {
                    s.x = int(rng() % (sw + 2 * px.taps)) - px.taps;
                    s.y = int(rng() % (sh + 2 * py.taps)) - py.taps;
                    s.phaseX = static_cast<std::uint8_t>(rng());
                    s.phaseY = static_cast<std::uint8_t>(rng());
                    s.coverage = static_cast<std::uint8_t>(rng() % 3 == 0 ? rng() : 255);
                }
                Bytes want(4 * std::size_t(width) + kGuard, 7), got = want;
                ref.affine(src, px, py, samples.data(), width, want.data());
                vec->affine(src, px, py, samples.data(), width, got.data());
                ASSERT_EQ(got, want) << "turned, scale " << scale << " width " << width;
            }
        }
        for (std::int32_t width = 1; width <= 64; ++width) {
            for (int off = 0; off < kOffsets; ++off) {
                Bytes src = randomPixels(std::size_t(width + off), rng);
                src[4 * off] = 200;  // a malformed pixel (colour above alpha): held to 255
                src[4 * off + 3] = 100;
                Bytes want(4 * std::size_t(width + off) + kGuard);
                for (auto& v : want)
                    v = static_cast<std::uint8_t>(rng());
                Bytes got = want;
                ref.over(want.data() + 4 * off, src.data() + 4 * off, width);
                vec->over(got.data() + 4 * off, src.data() + 4 * off, width);
                ASSERT_EQ(got, want) << "over width " << width << " offset " << off;
            }
        }
    }
}

// The box stage's row forms against the reference: sums down any number of rows up to kMaxBox
// (all 255 at the most), and box averages across of every width from 1 to 64 at every offset,
// for boxes of 1 to kMaxBox pixels; nothing written past the output.
TEST(ResampleForms, EveryVectorBoxFormMatchesTheReferenceAtEveryWidthAndOffset) {
    const auto forms = vectorForms();
    if (forms.empty()) GTEST_SKIP() << "no vector form of the resampler runs on this processor";
    const RowForms& ref = *formsOf(simd::Level::kScalar);
    std::mt19937 rng(33);
    for (const RowForms* vec : forms) {
        for (const std::int32_t rowCount : {1, 2, 3, 11, kMaxBox}) {
            for (const bool brightest : {false, true}) {
                for (std::int32_t width = 1; width <= 64; ++width) {
                    for (int off = 0; off < kOffsets; ++off) {
                        std::vector<Bytes> rows(static_cast<std::size_t>(rowCount));
                        std::vector<const std::uint8_t*> at;
                        for (auto& r : rows) {
                            r = brightest ? Bytes(4 * std::size_t(width + off), 255)
                                          : randomPixels(std::size_t(width + off), rng);
                            at.push_back(r.data() + 4 * off);
                        }
                        const std::int32_t values = 4 * width;
                        std::vector<std::uint16_t> want(std::size_t(values) + kGuard, 7),
                            got = want;
                        ref.boxDown(at.data(), rowCount, values, want.data());
                        vec->boxDown(at.data(), rowCount, values, got.data());
                        ASSERT_EQ(got, want) << "box down rows " << rowCount << " width " << width
                                             << " offset " << off;
                    }
                }
            }
        }
        struct Box {
            std::int32_t k, rows;  // the sums are of `rows` rows each
            bool brightest;
        };
        for (const Box b : {Box{1, 2, false}, Box{2, 1, false}, Box{3, 3, false}, Box{4, 4, false},
                            Box{5, 7, false}, Box{11, 11, false}, Box{kMaxBox, kMaxBox, true},
                            Box{7, kMaxBox, true}}) {
            const BoxDivisor d = boxDivisor(std::uint32_t(b.k) * std::uint32_t(b.rows));
            for (std::int32_t width = 1; width <= 64; ++width) {
                for (int off = 0; off < kOffsets; ++off) {
                    std::vector<std::uint16_t> sums(4 * std::size_t(b.k) *
                                                    std::size_t(width + off));
                    for (auto& v : sums) {
                        const std::uint32_t most = 255 * std::uint32_t(b.rows);
                        v = static_cast<std::uint16_t>(b.brightest ? most - rng() % 2
                                                                   : rng() % (most + 1));
                    }
                    const std::uint16_t* from = sums.data() + 4 * std::size_t(b.k) * off;
                    std::vector<std::int16_t> want(4 * std::size_t(width) + kGuard, 7), got = want;
                    ref.boxAcross(from, b.k, d, width, want.data());
                    vec->boxAcross(from, b.k, d, width, got.data());
                    ASSERT_EQ(got, want) << "box across k " << b.k << " rows " << b.rows
                                         << " width " << width << " offset " << off;
                }
            }
        }
    }
}

// The box stage's rules: its factor for a reduction (half of it, from a reduction by 4, held to
// kMaxBox), the sharpening that follows it, the division by the box's pixels as a multiply and
// shift that is the exact rounded division at every point where the quotient changes, and the
// averages it gives.
TEST(ResampleBox, FactorsSharpeningAndTheExactDivision) {
    struct Factor {
        double step;
        std::int32_t k;
    };
    for (const Factor f :
         {Factor{1, 1}, Factor{3.99, 1}, Factor{4, 2}, Factor{5.99, 2}, Factor{8.533, 4},
          Factor{23.4, 11}, Factor{-10, 5}, Factor{1e6, kMaxBox}, Factor{std::nan(""), 1}}) {
        EXPECT_EQ(boxFactor(f.step), f.k) << f.step;
    }
    EXPECT_EQ(boxSharpening(1), 0);
    EXPECT_DOUBLE_EQ(boxSharpening(2), 0.75 / 24);  // (1 - 1/4) / 24
    for (const std::uint32_t n :
         {1u, 2u, 3u, 7u, 25u, 121u, 255u, 256u, 257u, 1000u, 4093u, 32769u, 65535u, 65536u}) {
        const BoxDivisor d = boxDivisor(n);
        EXPECT_EQ(d.n, n);
        constexpr std::uint32_t kTop = 255u << kBoxBits;
        const auto x = [&](std::int64_t s) { return (std::uint64_t(s) << kBoxBits) + d.half; };
        for (std::uint32_t q = 0; q <= kTop; ++q) {
            // The sums on either side of where the rounded quotient steps from q - 1 to q (the
            // first with x >= q n), up to the largest sum a box can have (255 n): the product
            // grows with x, so matching there it matches everywhere.
            const std::int64_t first =
                (std::int64_t{q} * n - d.half + (1 << kBoxBits) - 1) >> kBoxBits;
            for (std::int64_t s = first - 1; s <= first; ++s) {
                if (s < 0 || s > 255 * std::int64_t{n}) continue;
                ASSERT_EQ((x(s) * d.multiplier) >> d.shift, x(s) / n) << "n " << n << " sum " << s;
            }
        }
        EXPECT_EQ((x(255 * std::int64_t{n}) * d.multiplier) >> d.shift, kTop) << "n " << n;
    }
    // The reference's box averages are the means of their premultiplied bytes with kBoxBits
    // fractional bits, to nearest (halves up), as double arithmetic has them.
    std::mt19937 rng(71);
    const RowForms& ref = *formsOf(simd::Level::kScalar);
    for (const auto& [k, rows] : {std::pair{3, 5}, {4, 4}, {kMaxBox, 2}, {2, kMaxBox}}) {
        const BoxDivisor d = boxDivisor(std::uint32_t(k * rows));
        std::vector<std::uint16_t> sums(4 * std::size_t(k) * 9);
        for (auto& v : sums)
            v = static_cast<std::uint16_t>(rng() % (255 * rows + 1));
        std::vector<std::int16_t> out(4 * 9);
        ref.boxAcross(sums.data(), k, d, 9, out.data());
        for (std::size_t i = 0; i < out.size(); ++i) {
            double total = 0;
            for (std::int32_t t = 0; t < k; ++t)
                total += sums[4 * (i / 4 * std::size_t(k) + std::size_t(t)) + i % 4];
            EXPECT_EQ(out[i], std::floor(total * (1 << kBoxBits) / (k * rows) + 0.5))
                << "k " << k << " rows " << rows << " value " << i;
        }
    }
}

// Each output pixel's weights sum to the gain exactly, so a uniform image stays uniform; and at
// scale 1 on whole positions the weights are the pixel itself.
TEST(ResampleFilters, WeightsSumToTheGainAndWholePositionsAreThePixel) {
    struct Case {
        Kernel kernel;
        double step, origin, gain;
        std::int32_t count, source;
        bool identity;
        double sharpen = 0;
    };
    const Case cases[] = {
        {Kernel::kCubic, 1.0, 3.0, 1, 20, 30, true},
        {Kernel::kLanczos3, 1.0, -2, 1, 9, 5, false},
        {Kernel::kCubic, 0.25, 0.1, 0.4, 50, 13, false},
        {Kernel::kCubic, 10, 0, 1, 7, 70, false},
        {Kernel::kLanczos3, 3.3, 1, 0.9, 11, 40, false},
        {Kernel::kCubic, -2, 60, 1, 30, 60, false},
        {Kernel::kCubic, 2, 0, 1, 5, 1, false},
        {Kernel::kCubic, 2.13, 0.4, 1, 25, 60, false, 0.039},
    };
    for (const Case& c : cases) {
        const AxisFilter f =
            axisFilter(c.kernel, c.step, c.origin, c.count, c.source, c.gain, c.sharpen);
        ASSERT_GT(f.taps, 0);
        EXPECT_EQ(f.taps % 4, 0);
        const auto gain = static_cast<std::int32_t>(std::lround(c.gain * kUnitWeight));
        for (std::int32_t i = 0; i < c.count; ++i) {
            const std::int16_t* w = f.weights.data() + std::size_t(i) * f.taps;
            std::int32_t sum = 0, units = 0;
            for (std::int32_t k = 0; k < f.taps; ++k) {
                sum += w[k];
                units += w[k] == kUnitWeight;
                // Taps past the source's last pixel weigh nothing.
                if (f.first[std::size_t(i)] + k >= c.source) {
                    EXPECT_EQ(w[k], 0);
                }
            }
            EXPECT_EQ(sum, gain) << "step " << c.step << " pixel " << i;
            EXPECT_GE(f.first[std::size_t(i)], 0);
            if (c.identity) {
                EXPECT_EQ(units, 1) << "pixel " << i;
            }
        }
    }
    for (const Kernel k : {Kernel::kCubic, Kernel::kLanczos3})
        for (const double scale : {0.5, 1.0, 1.7, 4.0}) {
            const PhaseTable t = phaseTable(k, scale, 1);
            ASSERT_GT(t.taps, 0);
            for (int p = 0; p < 256; ++p) {
                std::int32_t sum = 0;
                for (std::int32_t j = 0; j < t.taps; ++j)
                    sum += t.weights[std::size_t(p) * t.taps + j];
                EXPECT_EQ(sum, kUnitWeight) << "scale " << scale << " phase " << p;
            }
            if (scale <= 1) {
                EXPECT_EQ(t.weights[std::size_t(-t.offset)], kUnitWeight);
            }
        }
}

// ---- Whole draws ----

struct Image {
    std::int32_t width, height;
    Bytes pixels;  // top-down, no padding
    Image(std::int32_t w, std::int32_t h) : width(w), height(h), pixels(std::size_t(w) * h * 4) {}
    std::uint8_t* at(std::int32_t x, std::int32_t y) {
        return pixels.data() + (std::size_t(y) * width + x) * 4;
    }
    [[nodiscard]] Source source() const { return {pixels.data(), width * 4, width, height}; }
    [[nodiscard]] Target target() { return {pixels.data(), width * 4, width, height, 4}; }
};

Image uniform(std::int32_t w, std::int32_t h, std::array<std::uint8_t, 4> p) {
    Image im(w, h);
    for (std::size_t i = 0; i < im.pixels.size(); i += 4)
        std::copy(p.begin(), p.end(), im.pixels.begin() + std::ptrdiff_t(i));
    return im;
}

// The map that draws a w x h source onto the destination rectangle (x, y, dw, dh).
Map placing(double w, double h, double x, double y, double dw, double dh) {
    return {w / dw, 0, -x * w / dw, 0, h / dh, -y * h / dh};
}

// A whole-pixel translation puts the pixels down as they are, blended as AlphaBlend blends them
// (translucent, transparent and malformed pixels alike), on 32- and 24-bit targets.
TEST(ResampleDraws, AWholePixelTranslationBlendsAsAlphaBlend) {
    std::mt19937 rng(5);
    const std::int32_t w = 37, h = 11;
    Bytes pixels = randomPixels(std::size_t(w) * h, rng);
    pixels[9 * 4] = 250;  // colour above alpha
    pixels[9 * 4 + 3] = 30;
    for (const int bpp : {32, 24}) {
        for (const bool vectors : {true, false}) {
            const simd::ScopedLevelLimit limit(vectors ? simd::Level::kAvx2 : simd::Level::kScalar);
            auto ours = platform::Bitmap::create(60, 20, bpp);
            auto theirs = platform::Bitmap::create(60, 20, bpp);
            for (std::int32_t y = 0; y < 20; ++y)
                for (std::int32_t x = 0; x < 60 * bpp / 8; ++x)
                    ours->rowFromTop(y)[x] = theirs->rowFromTop(y)[x] = std::uint8_t(rng());
            // The source as a bottom-up 32-bit bitmap for AlphaBlend.
            auto srcBitmap = platform::Bitmap::create(w, h, 32);
            for (std::int32_t y = 0; y < h; ++y)
                std::memcpy(srcBitmap->rowFromTop(y), pixels.data() + std::size_t(y) * w * 4,
                            std::size_t(w) * 4);
            auto srcDc = platform::DeviceContext::createCompatible();
            auto dstDc = platform::DeviceContext::createCompatible();
            srcDc->select(srcBitmap.get());
            dstDc->select(theirs.get());
            ASSERT_TRUE(platform::AlphaBlend(*dstDc, 5, 4, w - 3, h - 2, *srcDc, 2, 1, w - 3, h - 2,
                                             platform::BlendFunction{255, true}));
            const Target t{ours->rowFromTop(0), -ours->stride(), 60, 20, bpp / 8};
            ASSERT_TRUE(draw({pixels.data(), w * 4, w, h}, Map{1, 0, -3, 0, 1, -3}, Kernel::kCubic,
                             1, Rect{5, 4, 5 + w - 3, 4 + h - 2}, t));
            EXPECT_EQ(std::memcmp(ours->bits(), theirs->bits(), ours->byteCount()), 0)
                << bpp << "-bit target, vectors " << vectors;
        }
    }
}

// A uniform image stays uniform to its last pixel at any scale, turned or not, reduced by any
// factor (the edge extended, weights summing to one); a turned draw's inside is uniform too,
// and its edges lie between nothing and the colour.
TEST(ResampleDraws, AUniformImageStaysUniformAtAnyScale) {
    const std::array<std::uint8_t, 4> colours[] = {{40, 90, 200, 255}, {20, 0, 60, 128}};
    struct Case {
        std::int32_t sw, sh, dw, dh;
        double degrees;
        Kernel kernel;
    };
    const Case cases[] = {
        {5, 4, 50, 40, 0, Kernel::kCubic},        {64, 48, 7, 5, 0, Kernel::kCubic},
        {100, 100, 10, 10, 0, Kernel::kLanczos3}, {9, 13, 23, 6, 0, Kernel::kLanczos3},
        {3, 1, 1, 9, 0, Kernel::kCubic},          {30, 20, 30, 20, 30, Kernel::kCubic},
        {40, 40, 15, 15, -75, Kernel::kLanczos3}, {200, 120, 11, 7, 10, Kernel::kCubic},
        {61, 47, 6, 5, 0, Kernel::kCubic},        {9, 13, 1, 1, 0, Kernel::kCubic},
    };
    for (const auto& colour : colours) {
        for (const Case& c : cases) {
            const Image src = uniform(c.sw, c.sh, colour);
            Image dst(c.dw + 20, c.dh + 20);
            Map m = placing(c.sw, c.sh, 10, 10, c.dw, c.dh);
            if (c.degrees != 0) {
                // Turned about the drawing's centre.
                const double t = c.degrees * 3.14159265358979 / 180, co = std::cos(t),
                             si = std::sin(t), cx = 10 + c.dw / 2.0, cy = 10 + c.dh / 2.0;
                const double sx = double(c.sw) / c.dw, sy = double(c.sh) / c.dh;
                m = {co * sx,  si * sx, (-co * cx - si * cy) * sx + c.sw / 2.0,
                     -si * sy, co * sy, (si * cx - co * cy) * sy + c.sh / 2.0};
            }
            ASSERT_TRUE(draw(src.source(), m, c.kernel, 1, Rect{0, 0, dst.width, dst.height},
                             dst.target()));
            int inside = 0, apart = 0;
            for (std::int32_t y = 0; y < dst.height; ++y)
                for (std::int32_t x = 0; x < dst.width; ++x) {
                    const std::uint8_t* p = dst.at(x, y);
                    const double u = m.a * (x + 0.5) + m.b * (y + 0.5) + m.c;
                    const double v = m.d * (x + 0.5) + m.e * (y + 0.5) + m.f;
                    const double margin =
                        c.degrees != 0
                            ? 0.75 * std::max({std::hypot(m.a, m.b), std::hypot(m.d, m.e), 1.0})
                            : 0;
                    const bool in =
                        u > margin && v > margin && u < c.sw - margin && v < c.sh - margin;
                    const bool out = u < -margin - 0.01 || v < -margin - 0.01 ||
                                     u > c.sw + margin + 0.01 || v > c.sh + margin + 0.01;
                    if (in) {
                        ++inside;
                        apart += !std::equal(colour.begin(), colour.end(), p);
                    } else if (out) {
                        apart += (p[0] | p[1] | p[2] | p[3]) != 0;
                    } else {
                        for (int k = 0; k < 4; ++k)
                            apart += p[k] > colour[k];
                    }
                }
            EXPECT_GT(inside, 0);
            EXPECT_EQ(apart, 0) << c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh << " at "
                                << c.degrees << " alpha " << int{colour[3]};
        }
    }
}

// Pixel centres map to pixel centres: a drawing of a mirrored image is the mirror of the
// drawing, at whole and uneven scales both ways, through box stages whose left-over pixels split
// evenly between the ends too; so one pixel enlarged spreads evenly about its centre.
TEST(ResampleDraws, PixelCentresMapToPixelCentres) {
    std::mt19937 rng(11);
    struct Case {
        std::int32_t sw, sh, dw, dh;
    };
    for (const Case c :
         {Case{5, 5, 10, 10}, Case{7, 3, 21, 9}, Case{16, 12, 5, 7}, Case{6, 6, 13, 13},
          Case{40, 2, 9, 3}, Case{42, 30, 5, 3}, Case{90, 7, 9, 1}}) {
        Image src(c.sw, c.sh), mirrored(c.sw, c.sh);
        src.pixels = randomPixels(src.pixels.size() / 4, rng);
        for (std::int32_t y = 0; y < c.sh; ++y)
            for (std::int32_t x = 0; x < c.sw; ++x)
                std::memcpy(mirrored.at(c.sw - 1 - x, c.sh - 1 - y), src.at(x, y), 4);
        Image a(c.dw, c.dh), b(c.dw, c.dh);
        const Map m = placing(c.sw, c.sh, 0, 0, c.dw, c.dh);
        ASSERT_TRUE(draw(src.source(), m, Kernel::kCubic, 1, Rect{0, 0, c.dw, c.dh}, a.target()));
        ASSERT_TRUE(
            draw(mirrored.source(), m, Kernel::kCubic, 1, Rect{0, 0, c.dw, c.dh}, b.target()));
        int apart = 0;
        for (std::int32_t y = 0; y < c.dh; ++y)
            for (std::int32_t x = 0; x < c.dw; ++x)
                apart += std::memcmp(a.at(x, y), b.at(c.dw - 1 - x, c.dh - 1 - y), 4) != 0;
        EXPECT_EQ(apart, 0) << c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh;
    }
    // One opaque pixel in the middle of a 5 x 5 image, enlarged by 2: its 10 x 10 drawing is
    // symmetric, and the four pixels that its centre maps between are alike and brightest.
    Image dot = uniform(5, 5, {0, 0, 0, 0});
    std::memcpy(dot.at(2, 2), std::array<std::uint8_t, 4>{255, 255, 255, 255}.data(), 4);
    Image big(10, 10);
    ASSERT_TRUE(draw(dot.source(), placing(5, 5, 0, 0, 10, 10), Kernel::kCubic, 1,
                     Rect{0, 0, 10, 10}, big.target()));
    for (std::int32_t y = 0; y < 10; ++y)
        for (std::int32_t x = 0; x < 5; ++x)
            EXPECT_EQ(std::memcmp(big.at(x, y), big.at(9 - x, y), 4), 0) << x << "," << y;
    EXPECT_EQ(big.at(4, 4)[3], big.at(5, 5)[3]);
    EXPECT_GT(big.at(4, 4)[3], big.at(3, 4)[3]);
}

// A reduction by 10 takes every source pixel into account: fine stripes and a checkerboard of
// single pixels come out as their mean, not as a pattern of their own. Unturned, the reduction
// averages boxes of 5 first, which pass stripes of 4 and 6 pixels' period at about a fifth of
// their swing (the box's first side lobe), and the cubic keeps part of that: far from the
// extremes an aliased pattern would show.
TEST(ResampleDraws, LargeReductionsDoNotAlias) {
    for (const int period : {1, 2, 3}) {
        Image src(400, 300);
        for (std::int32_t y = 0; y < 300; ++y)
            for (std::int32_t x = 0; x < 400; ++x) {
                const bool on = period == 1 ? (x + y) % 2 == 0 : (x / period) % 2 == 0;
                const std::uint8_t v = on ? 255 : 0;
                std::memcpy(src.at(x, y), std::array<std::uint8_t, 4>{v, v, v, 255}.data(), 4);
            }
        for (const double degrees : {0.0, 20.0}) {
            Image dst(40, 30);
            Map m = placing(400, 300, 0, 0, 40, 30);
            if (degrees != 0) {
                const double t = degrees * 3.14159265358979 / 180;
                const double co = std::cos(t), si = std::sin(t);
                m = {co * 10,  si * 10, (-co * 20 - si * 15) * 10 + 200,
                     -si * 10, co * 10, (si * 20 - co * 15) * 10 + 150};
            }
            ASSERT_TRUE(draw(src.source(), m, Kernel::kCubic, 1, Rect{0, 0, 40, 30}, dst.target()));
            int worst = 0;
            for (std::int32_t y = 8; y < 22; ++y)  // well inside, turned or not
                for (std::int32_t x = 12; x < 28; ++x)
                    worst = std::max(worst, std::abs(int(dst.at(x, y)[1]) - 128));
            // Aliased, the pattern would come back as its own extremes (0 or 255).
            EXPECT_LE(worst, degrees == 0 && period > 1 ? 32 : 8)
                << "period " << period << " at " << degrees;
        }
    }
}

// Turned by a quarter or a half turn, the cubic samples whole pixels: the drawing is the
// source turned, exactly, inside its edges.
TEST(ResampleDraws, QuarterTurnsAreExact) {
    std::mt19937 rng(3);
    Image src(9, 6);
    src.pixels = randomPixels(9 * 6, rng);
    for (const int quarter : {1, 2, 3}) {
        const double t = quarter * 3.14159265358979323846 / 2;
        const double co = std::round(std::cos(t) * 1e12) / 1e12,
                     si = std::round(std::sin(t) * 1e12) / 1e12;
        const bool swap = quarter % 2 == 1;
        const std::int32_t dw = swap ? 6 : 9, dh = swap ? 9 : 6;
        Image dst(dw, dh);
        // Destination centre (dw/2, dh/2) onto source centre (4.5, 3), turned by t.
        const Map m{co,  si, -co * dw / 2.0 - si * dh / 2.0 + 4.5,
                    -si, co, si * dw / 2.0 - co * dh / 2.0 + 3.0};
        ASSERT_TRUE(draw(src.source(), m, Kernel::kCubic, 1, Rect{0, 0, dw, dh}, dst.target()));
        for (std::int32_t y = 0; y < dh; ++y)
            for (std::int32_t x = 0; x < dw; ++x) {
                const auto u =
                    static_cast<std::int32_t>(std::floor(m.a * (x + 0.5) + m.b * (y + 0.5) + m.c));
                const auto v =
                    static_cast<std::int32_t>(std::floor(m.d * (x + 0.5) + m.e * (y + 0.5) + m.f));
                EXPECT_EQ(std::memcmp(dst.at(x, y), src.at(u, v), 4), 0)
                    << "quarter " << quarter << " at " << x << "," << y;
            }
    }
}

}  // namespace
}  // namespace talvrin::bridge::resample
