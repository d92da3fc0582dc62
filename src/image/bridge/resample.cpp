// The resampler's filters, its scalar reference forms and its drivers: the separable draw (a
// ring of filtered source rows, each filtered once), the turned draw (per pixel, after a
// separable pre-reduction when it shrinks by more than kMaxAffineScale), and the unfiltered
// draw of a whole-pixel translation.
#include "image/bridge/resample.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "base/simd.h"
#include "image/bridge/resample_forms.h"

namespace talvrin::bridge::resample {

namespace {

constexpr double kPi = 3.14159265358979323846;

// A turned draw that shrinks by more than this along an axis is first reduced by the separable
// filter to about twice this density: its per-pixel block stays small (at most 28 taps a side).
constexpr double kMaxAffineScale = 4;

// The ring of filtered rows is held to this many bytes; wider draws go in column bands.
constexpr std::size_t kRingBytes = std::size_t{32} << 20;

std::int32_t roundUp4(std::int64_t n) noexcept {
    return static_cast<std::int32_t>((n + 3) / 4 * 4);
}

// Weights (doubles summing to 1) quantised to Q14 summing to exactly `total`: the rounding
// remainder goes to the largest weight, or is shared between two equal largest ones when it
// halves (the symmetric phase of a reduction by 2), so that mirrored positions keep mirrored
// weights.
void quantise(const double* w, std::int32_t n, std::int32_t total, std::int16_t* out) noexcept {
    std::int32_t sum = 0, largest = 0, tie = -1;
    for (std::int32_t k = 0; k < n; ++k) {
        const auto q = static_cast<std::int32_t>(std::floor(w[k] * total + 0.5));
        out[k] = detail::saturate16(q);
        sum += out[k];
        if (w[k] > w[largest] + 1e-12) {
            largest = k;
            tie = -1;
        } else if (k != largest && std::fabs(w[k] - w[largest]) <= 1e-12) {
            tie = k;
        }
    }
    const std::int32_t rest = total - sum;
    if (tie >= 0 && rest % 2 == 0) {
        out[largest] = detail::saturate16(out[largest] + rest / 2);
        out[tie] = detail::saturate16(out[tie] + rest / 2);
        return;
    }
    out[largest] = detail::saturate16(out[largest] + rest);
}

}  // namespace

double kernelRadius(Kernel kernel) noexcept {
    return kernel == Kernel::kLanczos3 ? 3.0 : 2.0;
}

double kernelAt(Kernel kernel, double x) noexcept {
    x = std::fabs(x);
    if (kernel == Kernel::kLanczos3) {
        if (x < 1e-12) return 1;
        if (x >= 3) return 0;
        const double px = kPi * x;
        return 3 * std::sin(px) * std::sin(px / 3) / (px * px);
    }
    // Catmull-Rom (the cubic of B = 0, C = 0.5): interpolating, so phase 0 is the pixel itself.
    if (x < 1) return (1.5 * x - 2.5) * x * x + 1;
    if (x < 2) return ((-0.5 * x + 2.5) * x - 4) * x + 2;
    return 0;
}

AxisFilter axisFilter(Kernel kernel, double step, double origin, std::int32_t count,
                      std::int32_t sourceCount, double gain, double sharpen) noexcept {
    AxisFilter f;
    if (count < 1 || sourceCount < 1 || !std::isfinite(step) || !std::isfinite(origin) ||
        !(sharpen >= 0 && sharpen < 1))
        return f;
    const double scale = std::max(std::fabs(step), 1.0);
    // The sharpening's taps reach one pixel further on each side.
    const int margin = sharpen > 0 ? 1 : 0;
    const double reach = kernelRadius(kernel) * scale + margin;
    // Taps a pixel can touch (the whole positions strictly within the kernel's reach of its
    // centre: at most ceil(2 reach)), and no more than the source has: past its edges every tap
    // folds onto the edge pixel.
    const std::int64_t span = std::min<std::int64_t>(
        std::max<std::int64_t>(static_cast<std::int64_t>(std::ceil(2 * reach)), 1), sourceCount);
    const std::int32_t taps = roundUp4(span);
    const auto total = static_cast<std::int32_t>(std::lround(gain * kUnitWeight));
    try {
        f.first.resize(static_cast<std::size_t>(count));
        f.weights.assign(static_cast<std::size_t>(count) * static_cast<std::size_t>(taps), 0);
        std::vector<double> folded(static_cast<std::size_t>(taps));
        const double lastIndex = sourceCount - 1;
        double previousFraction = -1;
        for (std::int32_t i = 0; i < count; ++i) {
            const double t = origin + step * (i + 0.5) - 0.5;  // the source index position
            const double lo = std::floor(t - reach) + 1, hi = std::ceil(t + reach) - 1;
            const auto clampIndex = [&](double j) {
                return static_cast<std::int32_t>(std::clamp(j, 0.0, lastIndex));
            };
            const std::int32_t jlo = clampIndex(lo);
            const std::int32_t first = std::min(jlo, std::max(sourceCount - taps, 0));
            f.first[static_cast<std::size_t>(i)] = first;
            std::int16_t* out = f.weights.data() + std::size_t(i) * std::size_t(taps);
            // A pixel wholly inside the source at the previous pixel's phase has its weights.
            const double fraction = t - std::floor(t);
            const bool inside = lo >= 0 && hi <= lastIndex && first == jlo;
            if (inside && fraction == previousFraction) {
                std::copy(out - taps, out, out);
                continue;
            }
            previousFraction = inside ? fraction : -1;
            std::fill(folded.begin(), folded.end(), 0.0);
            double sum = 0;
            // Samples outside the source fold onto its edge pixels (the edge extended); a pixel
            // mapped far outside takes the edge pixel alone.
            const auto weightAt = [&](double j) {
                const double w = kernelAt(kernel, (j - t) / scale);
                if (margin == 0) return w;
                return (1 + 2 * sharpen) * w - sharpen * (kernelAt(kernel, (j - 1 - t) / scale) +
                                                          kernelAt(kernel, (j + 1 - t) / scale));
            };
            if (hi >= lo && hi - lo < 2 * reach + 2) {
                for (double j = lo; j <= hi; ++j) {
                    const double w = weightAt(j);
                    // (At most taps positions; the bound holds against rounding at the ends.)
                    const std::int32_t at = std::min(clampIndex(j) - first, taps - 1);
                    folded[static_cast<std::size_t>(at)] += w;
                    sum += w;
                }
            }
            if (!(sum > 0)) {
                std::fill(folded.begin(), folded.end(), 0.0);
                folded[static_cast<std::size_t>(clampIndex(std::round(t)) - first)] = 1;
                sum = 1;
            }
            for (double& w : folded)
                w /= sum;
            quantise(folded.data(), taps, total, out);
        }
    } catch (...) {
        return {};
    }
    f.taps = taps;
    f.sourceCount = sourceCount;
    // The longest run of pixels with the same weights, each window a whole number of pixels on
    // from the last: an integer reduction's interior, which the vector forms run with the
    // weights held in registers.
    const auto same = [&](std::size_t i) {
        return std::equal(f.weights.begin() + std::ptrdiff_t(i * taps),
                          f.weights.begin() + std::ptrdiff_t((i + 1) * taps),
                          f.weights.begin() + std::ptrdiff_t((i - 1) * taps));
    };
    for (std::int32_t i = 1, runStart = 0; i <= count; ++i) {
        const auto at = std::size_t(i);
        const bool continues = i < count && same(at) &&
                               (i - runStart < 2 ||
                                f.first[at] - f.first[at - 1] == f.first[at - 1] - f.first[at - 2]);
        if (continues) continue;
        if (i - runStart > f.uniformEnd - f.uniformBegin && i - runStart >= 2) {
            f.uniformBegin = runStart;
            f.uniformEnd = i;
            f.uniformStride = f.first[std::size_t(runStart) + 1] - f.first[std::size_t(runStart)];
        }
        runStart = i;
    }
    return f;
}

PhaseTable phaseTable(Kernel kernel, double scale, double gain) noexcept {
    PhaseTable t;
    scale = std::max(std::fabs(scale), 1.0);
    const double reach = kernelRadius(kernel) * scale;
    // Taps from the sample's floor: offset ... last over every phase p / 256.
    const auto offset = static_cast<std::int32_t>(std::floor(-reach) + 1);
    const auto last = static_cast<std::int32_t>(std::ceil(255.0 / 256 + reach) - 1);
    const std::int32_t taps = roundUp4(std::int64_t{last} - offset + 1);
    if (taps > detail::kMaxAffineTaps) return t;
    const auto total = static_cast<std::int32_t>(std::lround(gain * kUnitWeight));
    try {
        t.weights.resize(256 * static_cast<std::size_t>(taps));
        std::vector<double> w(static_cast<std::size_t>(taps));
        for (int p = 0; p < 256; ++p) {
            double sum = 0;
            for (std::int32_t k = 0; k < taps; ++k) {
                w[std::size_t(k)] = kernelAt(kernel, ((offset + k) - p / 256.0) / scale);
                sum += w[std::size_t(k)];
            }
            for (double& v : w)
                v /= sum;
            quantise(w.data(), taps, total, t.weights.data() + std::size_t(p) * taps);
        }
    } catch (...) {
        return {};
    }
    t.taps = taps;
    t.offset = offset;
    return t;
}

// ---- The scalar forms: the reference -----------------------------------------------------------

namespace {

// Across over bytes (Shift kMidShift) or over box averages (kBoxedMidShift).
template <typename Pixel, int Shift>
void acrossOf(const Pixel* src, const AxisFilter& f, std::int32_t begin, std::int32_t count,
              std::int16_t* out) noexcept {
    const std::int32_t taps = f.taps;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::size_t at = std::size_t(begin) + std::size_t(i);
        const std::int16_t* w = f.weights.data() + at * std::size_t(taps);
        const Pixel* p = src + 4 * std::size_t(f.first[at]);
        for (int c = 0; c < 4; ++c) {
            std::int32_t s = 0;
            for (std::int32_t k = 0; k < taps; ++k)
                s += w[k] * p[4 * k + c];
            out[4 * i + c] = detail::midOfSum(s, Shift);
        }
    }
}

void acrossScalar(const std::uint8_t* src, const AxisFilter& f, std::int32_t begin,
                  std::int32_t count, std::int16_t* out) noexcept {
    acrossOf<std::uint8_t, kMidShift>(src, f, begin, count, out);
}

void acrossBoxedScalar(const std::int16_t* src, const AxisFilter& f, std::int32_t begin,
                       std::int32_t count, std::int16_t* out) noexcept {
    acrossOf<std::int16_t, kBoxedMidShift>(src, f, begin, count, out);
}

// Pixel i of the down pass.
void downPixel(const std::int16_t* const* rows, const std::int16_t* w, std::int32_t taps,
               std::int32_t start, std::int32_t i, std::uint8_t* px) noexcept {
    for (int c = 0; c < 4; ++c) {
        std::int32_t s = start;
        for (std::int32_t k = 0; k < taps; ++k)
            s += w[k] * rows[k][4 * i + c];
        px[c] = static_cast<std::uint8_t>(std::clamp(s >> kOutShift, 0, 255));
    }
    for (int c = 0; c < 3; ++c)
        px[c] = std::min(px[c], px[3]);
}

void downScalar(const std::int16_t* const* rows, const std::int16_t* w, std::int32_t taps,
                std::int32_t count, std::uint8_t* out) noexcept {
    const std::int32_t start = detail::downStart(w, taps);
    for (std::int32_t i = 0; i < count; ++i)
        downPixel(rows, w, taps, start, i, out + 4 * i);
}

void affineScalar(const Source& src, const PhaseTable& px, const PhaseTable& py,
                  const AffineSample* samples, std::int32_t count, std::uint8_t* out) noexcept {
    std::uint8_t gathered[4 * detail::kMaxAffineTaps];
    for (std::int32_t i = 0; i < count; ++i) {
        const AffineSample& s = samples[i];
        const std::int16_t* wx = px.weights.data() + std::size_t(s.phaseX) * px.taps;
        const std::int16_t* wy = py.weights.data() + std::size_t(s.phaseY) * py.taps;
        const bool inside = s.x >= 0 && s.x <= src.width - px.taps;
        std::int32_t acc[4] = {0, 0, 0, 0};
        for (std::int32_t ky = 0; ky < py.taps; ++ky) {
            const std::uint8_t* row = src.row(detail::heldTo(s.y + ky, src.height));
            const std::uint8_t* p = row + 4 * std::ptrdiff_t(s.x);
            if (!inside) {
                detail::gatherHeld(row, s.x, px.taps, src.width, gathered);
                p = gathered;
            }
            for (int c = 0; c < 4; ++c) {
                std::int32_t h = 0;
                for (std::int32_t kx = 0; kx < px.taps; ++kx)
                    h += wx[kx] * p[4 * kx + c];
                acc[c] += wy[ky] * detail::saturate16((h + (1 << (kMidShift - 1))) >> kMidShift);
            }
        }
        std::uint8_t* o = out + 4 * i;
        for (int c = 0; c < 4; ++c)
            o[c] = static_cast<std::uint8_t>(
                std::clamp((acc[c] + (1 << (kOutShift - 1))) >> kOutShift, 0, 255));
        for (int c = 0; c < 3; ++c)
            o[c] = std::min(o[c], o[3]);
        detail::applyCoverage(o, s.coverage);
    }
}

void overScalar(std::uint8_t* d, const std::uint8_t* s, std::int32_t count) noexcept {
    for (std::int32_t i = 0; i < count; ++i, d += 4, s += 4) {
        const std::uint32_t ia = 255 - s[3];
        for (int c = 0; c < 4; ++c)
            d[c] = static_cast<std::uint8_t>(
                std::min<std::uint32_t>(255, s[c] + div255Round(d[c] * ia)));
    }
}

void downOverScalar(const std::int16_t* const* rows, const std::int16_t* w, std::int32_t taps,
                    std::int32_t count, std::uint8_t* dst) noexcept {
    const std::int32_t start = detail::downStart(w, taps);
    for (std::int32_t i = 0; i < count; ++i) {
        std::uint8_t px[4];
        downPixel(rows, w, taps, start, i, px);
        overScalar(dst + 4 * i, px, 1);
    }
}

}  // namespace

const RowForms detail::kScalarForms = {acrossScalar,          downScalar,
                                       affineScalar,          overScalar,
                                       detail::boxDownScalar, detail::boxAcrossScalar,
                                       acrossBoxedScalar,     downOverScalar};

namespace {

#if defined(TALVRIN_SIMD_X86)
constinit const simd::KernelTables<RowForms> kTables = {
    {&detail::kScalarForms, &detail::kSse2Forms, &detail::kSse2Forms, &detail::kAvx2Forms}};
#else
constinit const simd::KernelTables<RowForms> kTables = {
    {&detail::kScalarForms, &detail::kScalarForms, &detail::kScalarForms, &detail::kScalarForms}};
#endif

}  // namespace

const RowForms* formsOf(simd::Level level) noexcept {
    return kTables.of(level);
}

const RowForms& activeForms() noexcept {
    return kTables.active();
}

// ---- The drivers
// ---------------------------------------------------------------------------------

namespace {

enum class Op : std::uint8_t { kOver, kCopy };

// Puts one finished row of premultiplied pixels onto the target row at column x.
void put(const RowForms& forms, Op op, const Target& target, std::int32_t y, std::int32_t x,
         const std::uint8_t* px, std::int32_t count) noexcept {
    std::uint8_t* d = target.row(y) + std::ptrdiff_t(x) * target.bytesPerPixel;
    if (op == Op::kCopy) {
        std::memcpy(d, px, std::size_t(count) * 4);
    } else if (target.bytesPerPixel == 4) {
        forms.over(d, px, count);
    } else {
        for (std::int32_t i = 0; i < count; ++i, d += 3, px += 4) {
            const std::uint32_t ia = 255 - px[3];
            for (int c = 0; c < 3; ++c)
                d[c] = static_cast<std::uint8_t>(
                    std::min<std::uint32_t>(255, px[c] + div255Round(d[c] * ia)));
        }
    }
}

// Asks the processor to fetch bytes it will read soon, line by line.
void prefetch(const std::uint8_t* p, std::size_t bytes) noexcept {
#if defined(__GNUC__)
    for (std::size_t at = 0; at < bytes; at += 64)
        __builtin_prefetch(p + at);
#else
    (void)p;
    (void)bytes;
#endif
}

template <typename T>
std::unique_ptr<T[]> allocate(std::size_t n) noexcept {
    return std::unique_ptr<T[]>(new (std::nothrow) T[n]);
}

bool isWhole(double v) noexcept {
    return std::isfinite(v) && v == std::floor(v) && std::fabs(v) < 2e9;
}

// A whole-pixel translation at full opacity: the source rows blended as they are.
bool drawTranslated(const RowForms& forms, const Source& src, const Map& m, const Rect& drawn,
                    const Target& target) noexcept {
    const auto sx = static_cast<std::int64_t>(drawn.left + m.c);
    const auto sy = static_cast<std::int64_t>(drawn.top + m.f);
    const auto w = static_cast<std::int32_t>(drawn.width());
    if (sx < 0 || sy < 0 || sx + w > src.width || sy + drawn.height() > src.height) return false;
    for (std::int32_t y = drawn.top; y < drawn.bottom; ++y)
        put(forms, Op::kOver, target, y, drawn.left,
            src.row(static_cast<std::int32_t>(sy + (y - drawn.top))) + 4 * sx, w);
    return true;
}

bool drawSeparable(const RowForms& forms, const Source& src, const Map& sourceMap, Kernel kernel,
                   double opacity, const Rect& drawn, const Target& target, Op op) noexcept {
    const auto width = static_cast<std::int32_t>(drawn.width());
    const auto height = static_cast<std::int32_t>(drawn.height());
    // A large reduction filters the box averages of the source instead of its own rows.
    detail::BoxedRows boxed(src, sourceMap);
    const bool boxes = boxed.reduces();
    const Map& m = boxes ? boxed.map() : sourceMap;
    const std::int32_t sourceWidth = boxes ? boxed.width() : src.width;
    const std::int32_t sourceHeight = boxes ? boxed.height() : src.height;
    const AxisFilter fx = axisFilter(kernel, m.a, m.a * drawn.left + m.c, width, sourceWidth, 1.0,
                                     boxSharpening(boxed.factorX()));
    // A square drawing at full opacity (a square image halved, say) filters both axes alike.
    const bool alike = opacity == 1 && m.e == m.a &&
                       m.e * drawn.top + m.f == m.a * drawn.left + m.c && height == width &&
                       sourceHeight == sourceWidth && boxed.factorY() == boxed.factorX();
    const AxisFilter ownY = alike
                                ? AxisFilter{}
                                : axisFilter(kernel, m.e, m.e * drawn.top + m.f, height,
                                             sourceHeight, opacity, boxSharpening(boxed.factorY()));
    const AxisFilter& fy = alike ? fx : ownY;
    if (fx.taps == 0 || fy.taps == 0) return false;
    const std::size_t slotPixelBytes = std::size_t(fy.taps) * 8;
    if (slotPixelBytes > kRingBytes) return false;  // a reduction by millions along one axis
    const std::int32_t band = static_cast<std::int32_t>(
        std::min<std::size_t>(std::size_t(width), kRingBytes / slotPixelBytes));

    const auto slots = static_cast<std::size_t>(fy.taps);
    auto ring = allocate<std::int16_t>(slots * std::size_t(band) * 4);
    auto tags = allocate<std::int32_t>(slots);
    auto rows = allocate<const std::int16_t*>(slots);
    auto out = allocate<std::uint8_t>(std::size_t(band) * 4);
    // A source narrower than the window is read from a copy padded to the window.
    std::unique_ptr<std::uint8_t[]> padded;
    if (boxes) {
        if (!boxed.allocate(fx.taps)) return false;
    } else if (src.width < fx.taps) {
        padded = allocate<std::uint8_t>(std::size_t(fx.taps) * 4);
        if (!padded) return false;
        std::memset(padded.get(), 0, std::size_t(fx.taps) * 4);
    }
    if (!ring || !tags || !rows || !out) return false;

    for (std::int32_t x0 = 0; x0 < width; x0 += band) {
        const std::int32_t n = std::min(band, width - x0);
        // The first lines of a row: the processor fetches the rest ahead once it reads on.
        const std::size_t fetchBytes = std::min<std::size_t>(
            512, 4 * std::size_t(std::max(0, fx.first[std::size_t(x0 + n - 1)] + fx.taps -
                                                 fx.first[std::size_t(x0)])));
        // The reduced pixels the band's windows read.
        const std::int32_t j0 = fx.first[std::size_t(x0)];
        const std::int32_t j1 = std::min(fx.first[std::size_t(x0 + n - 1)] + fx.taps, sourceWidth);
        std::fill(tags.get(), tags.get() + slots, -1);
        for (std::int32_t y = 0; y < height; ++y) {
            const std::int32_t first = fy.first[std::size_t(y)];
            for (std::int32_t k = 0; k < fy.taps; ++k) {
                // Rows past the source's last (a source shorter than the window) weigh 0.
                const std::int32_t r = std::min(first + k, sourceHeight - 1);
                const auto slot = std::size_t(std::uint32_t(r) % std::uint32_t(slots));
                std::int16_t* mid = ring.get() + slot * std::size_t(band) * 4;
                if (tags[slot] == r) {
                    rows[std::size_t(k)] = mid;
                    continue;
                }
                if (boxes) {
                    forms.acrossBoxed(boxed.row(forms, r, j0, j1), fx, x0, n, mid);
                    tags[slot] = r;
                } else {
                    const std::uint8_t* line = src.row(r);
                    // The row after it in the drawing's direction is asked for next: its start is
                    // fetched while this one is filtered (a row of a large image starts a page
                    // of its own, which the processor does not fetch ahead by itself).
                    const std::int32_t next = r + (m.e < 0 ? -1 : 1);
                    if (next >= 0 && next < src.height)
                        prefetch(src.row(next) + 4 * std::ptrdiff_t(fx.first[std::size_t(x0)]),
                                 fetchBytes);
                    if (padded) {
                        std::memcpy(padded.get(), line, std::size_t(src.width) * 4);
                        line = padded.get();
                    }
                    forms.across(line, fx, x0, n, mid);
                    tags[slot] = r;
                }
                rows[std::size_t(k)] = mid;
            }
            const std::int16_t* w = fy.weights.data() + std::size_t(y) * fy.taps;
            if (op == Op::kOver && target.bytesPerPixel == 4) {
                // Blended as it is made, without a trip through `out`.
                forms.downOver(rows.get(), w, fy.taps, n,
                               target.row(drawn.top + y) + 4 * std::ptrdiff_t(drawn.left + x0));
                continue;
            }
            forms.down(rows.get(), w, fy.taps, n, out.get());
            put(forms, op, target, drawn.top + y, drawn.left + x0, out.get(), n);
        }
    }
    return true;
}

// The destination pixels of row y (centre y + 0.5) whose centres map to within half a
// destination pixel of the source rectangle, as [x0, x1), cut to `drawn`.
struct Span {
    std::int32_t x0 = 0, x1 = 0;
};
Span rowSpan(const Map& m, double marginU, double marginV, double w, double h, std::int32_t y,
             const Rect& drawn) noexcept {
    double lo = drawn.left, hi = drawn.right;
    const double yc = y + 0.5;
    // Each of u and v is linear in x: p x + q, to lie in (-margin, size + margin).
    const auto cut = [&](double p, double q, double minV, double maxV) {
        if (std::fabs(p) < 1e-12) {
            if (q <= minV || q >= maxV) hi = lo;
            return;
        }
        double a = (minV - q) / p - 0.5, b = (maxV - q) / p - 0.5;  // x + 0.5 is the centre
        if (a > b) std::swap(a, b);
        lo = std::max(lo, std::floor(a));
        hi = std::min(hi, std::ceil(b) + 1);
    };
    cut(m.a, m.b * yc + m.c, -marginU, w + marginU);
    cut(m.d, m.e * yc + m.f, -marginV, h + marginV);
    if (hi <= lo) return {};
    return {static_cast<std::int32_t>(lo), static_cast<std::int32_t>(hi)};
}

bool drawTurned(const RowForms& forms, const Source& src, const Map& m, Kernel kernel,
                double opacity, const Rect& drawn, const Target& target) noexcept {
    const double scaleX = std::hypot(m.a, m.b), scaleY = std::hypot(m.d, m.e);
    if (!(scaleX > 0) || !(scaleY > 0) || !std::isfinite(scaleX) || !std::isfinite(scaleY))
        return false;
    // An axis shrunk by more than the limit is first reduced, separably, to about half the
    // limit; the map then addresses the reduced image, whose pixels each stand for stepX x stepY
    // source pixels. (A source of one pixel along an axis cannot be reduced: any kernel gives
    // that pixel.)
    const auto reduced = [](std::int32_t n, double scale) {
        const double factor = scale > kMaxAffineScale ? scale / 2 : 1.0;
        return static_cast<std::int32_t>(std::max(1.0, std::round(n / factor)));
    };
    const std::int32_t rw = reduced(src.width, scaleX), rh = reduced(src.height, scaleY);
    if (rw < src.width || rh < src.height) {
        const double stepX = double(src.width) / rw, stepY = double(src.height) / rh;
        auto pixels = allocate<std::uint8_t>(std::size_t(rw) * std::size_t(rh) * 4);
        if (!pixels) return false;
        const Target small{pixels.get(), std::ptrdiff_t(rw) * 4, rw, rh, 4};
        if (!drawSeparable(forms, src, Map{stepX, 0, 0, 0, stepY, 0}, kernel, 1.0,
                           Rect{0, 0, rw, rh}, small, Op::kCopy))
            return false;
        const Source smaller{pixels.get(), std::ptrdiff_t(rw) * 4, rw, rh};
        const Map mm{m.a / stepX, m.b / stepX, m.c / stepX, m.d / stepY, m.e / stepY, m.f / stepY};
        return drawTurned(forms, smaller, mm, kernel, opacity, drawn, target);
    }
    const PhaseTable px = phaseTable(kernel, std::min(scaleX, kMaxAffineScale), 1.0);
    const PhaseTable py = phaseTable(kernel, std::min(scaleY, kMaxAffineScale), opacity);
    if (px.taps == 0 || py.taps == 0) return false;

    const auto width = static_cast<std::size_t>(drawn.width());
    auto samples = allocate<AffineSample>(width);
    auto out = allocate<std::uint8_t>(width * 4);
    if (!samples || !out) return false;
    // Positions step along the row in fixed point: q = (position - 0.5) * 256 with 16 more
    // fractional bits, so a pixel's tap and phase are (q + 2^15) >> 16, split at 8 bits.
    constexpr double kQ = 256.0 * 65536.0;
    const auto fixedOf = [](double v) {
        return static_cast<std::int64_t>(std::llround(std::clamp(v, -1e17, 1e17)));
    };
    const auto tapOf = [](std::int64_t q, std::int32_t offset, std::int32_t limit, std::int32_t& at,
                          std::uint8_t& phase) {
        const std::int64_t whole = (q + 32768) >> 16;
        phase = static_cast<std::uint8_t>(whole & 255);
        at = static_cast<std::int32_t>(std::clamp<std::int64_t>(
                 whole >> 8, -std::int64_t{limit} - 64, std::int64_t{limit} + 64)) +
             offset;
    };
    // Coverage: the distance of the centre from each edge, in destination pixels, plus a half,
    // held to 0 ... 1 (exact for edges along the pixel grid); whole between the edge bands.
    const double kU = 1 / scaleX, kV = 1 / scaleY;
    const double w = src.width, h = src.height;
    const double bandU = 0.5 * scaleX, bandV = 0.5 * scaleY;
    const std::int64_t innerU0 = fixedOf((bandU - 0.5) * kQ),
                       innerU1 = fixedOf((w - bandU - 0.5) * kQ);
    const std::int64_t innerV0 = fixedOf((bandV - 0.5) * kQ),
                       innerV1 = fixedOf((h - bandV - 0.5) * kQ);
    const std::int64_t du = fixedOf(m.a * kQ), dv = fixedOf(m.d * kQ);
    for (std::int32_t y = drawn.top; y < drawn.bottom; ++y) {
        const Span span = rowSpan(m, bandU, bandV, w, h, y, drawn);
        if (span.x1 <= span.x0) continue;
        const double yc = y + 0.5, xc = span.x0 + 0.5;
        std::int64_t qu = fixedOf((m.a * xc + m.b * yc + m.c - 0.5) * kQ);
        std::int64_t qv = fixedOf((m.d * xc + m.e * yc + m.f - 0.5) * kQ);
        const std::int32_t n = span.x1 - span.x0;
        for (std::int32_t i = 0; i < n; ++i, qu += du, qv += dv) {
            AffineSample& s = samples[std::size_t(i)];
            tapOf(qu, px.offset, src.width, s.x, s.phaseX);
            tapOf(qv, py.offset, src.height, s.y, s.phaseY);
            if (qu >= innerU0 && qu <= innerU1 && qv >= innerV0 && qv <= innerV1) {
                s.coverage = 255;
                continue;
            }
            const double u = double(qu) / kQ + 0.5, v = double(qv) / kQ + 0.5;
            const double cu = std::clamp(0.5 + std::min(u, w - u) * kU, 0.0, 1.0);
            const double cv = std::clamp(0.5 + std::min(v, h - v) * kV, 0.0, 1.0);
            s.coverage = static_cast<std::uint8_t>(std::lround(255 * cu * cv));
        }
        forms.affine(src, px, py, samples.get(), n, out.get());
        put(forms, Op::kOver, target, y, span.x0, out.get(), n);
    }
    return true;
}

}  // namespace

bool draw(const Source& source, const Map& map, Kernel kernel, double opacity, const Rect& drawn,
          const Target& target) noexcept {
    if (!source.top || source.width < 1 || source.height < 1 || !target.top || drawn.isEmpty())
        return false;
    if (target.bytesPerPixel != 4 && target.bytesPerPixel != 3) return false;
    if (drawn.left < 0 || drawn.top < 0 || drawn.right > target.width ||
        drawn.bottom > target.height)
        return false;
    if (!(opacity > 0)) return true;
    opacity = std::min(opacity, 1.0);
    const RowForms& forms = activeForms();
    const bool axisAligned = map.b == 0 && map.d == 0;
    if (axisAligned && map.a == 1 && map.e == 1 && opacity == 1 && isWhole(map.c) &&
        isWhole(map.f) && drawTranslated(forms, source, map, drawn, target))
        return true;
    if (axisAligned) {
        // Only the pixels whose centres map inside the source take part.
        const auto inside = [](double p, double q, double size, std::int32_t lo, std::int32_t hi) {
            double a = -q / p - 0.5, b = (size - q) / p - 0.5;  // centre x + 0.5 at u = 0, size
            if (a > b) std::swap(a, b);
            const double first = std::max(double(lo), std::floor(a) + 1);
            const double end = std::min(double(hi), std::ceil(b));
            return std::pair{static_cast<std::int32_t>(first),
                             static_cast<std::int32_t>(std::max(first, end))};
        };
        if (map.a == 0 || map.e == 0) return true;
        const auto [x0, x1] = inside(map.a, map.c, source.width, drawn.left, drawn.right);
        const auto [y0, y1] = inside(map.e, map.f, source.height, drawn.top, drawn.bottom);
        const Rect cut{x0, y0, x1, y1};
        if (cut.isEmpty()) return true;
        return drawSeparable(forms, source, map, kernel, opacity, cut, target, Op::kOver);
    }
    return drawTurned(forms, source, map, kernel, opacity, drawn, target);
}

}  // namespace talvrin::bridge::resample
