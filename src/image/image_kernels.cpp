#include "image/image_kernels.h"

#include "image/codecs/codec_rows.h"
#include "image/surface/surface_rows.h"

namespace talvrin {

namespace {

namespace png = png::detail;
namespace eng = engine::detail;

constexpr ImageKernels kScalar = {
    png::unfilterRowScalar,    png::rgba8AdjacentScalar,
    png::rgb8AdjacentScalar,   detail::classifyAlphaScalar,
    detail::premultiplyScalar, detail::makeOpaqueScalar,
    eng::blendHostScalar,      eng::blendContext32Scalar,
    eng::blendContext24Scalar, nullptr,
    eng::rotateBilinearScalar, detail::exportRow32Scalar,
};

#if defined(TALVRIN_SIMD_X86)
constexpr ImageKernels kSse2 = {
    png::unfilterRowSse2,      png::rgba8AdjacentSse2,
    png::rgb8AdjacentScalar,   detail::classifyAlphaSse2,
    detail::premultiplySse2,   detail::makeOpaqueSse2,
    eng::blendHostSse2,        eng::blendContext32Sse2,
    eng::blendContext24Sse2,   nullptr,
    eng::rotateBilinearScalar, detail::exportRow32Sse2,
};
// SSSE3 adds the byte shuffle of RGB rows.
constexpr ImageKernels kSsse3 = {
    png::unfilterRowSse2,      png::rgba8AdjacentSse2,
    png::rgb8AdjacentSsse3,    detail::classifyAlphaSse2,
    detail::premultiplySse2,   detail::makeOpaqueSse2,
    eng::blendHostSse2,        eng::blendContext32Sse2,
    eng::blendContext24Sse2,   nullptr,
    eng::rotateBilinearScalar, detail::exportRow32Sse2,
};
constexpr ImageKernels kAvx2 = {
    png::unfilterRowAvx2,      png::rgba8AdjacentSse2,  png::rgb8AdjacentSsse3,
    detail::classifyAlphaSse2, detail::premultiplySse2, detail::makeOpaqueSse2,
    eng::blendHostAvx2,        eng::blendContext32Avx2, eng::blendContext24Avx2,
    &eng::kBilinearScaleAvx2,  eng::rotateBilinearAvx2, detail::exportRow32Avx2,
};
constinit const simd::KernelTables<ImageKernels> kTables = {{&kScalar, &kSse2, &kSsse3, &kAvx2}};
#else
constinit const simd::KernelTables<ImageKernels> kTables = {
    {&kScalar, &kScalar, &kScalar, &kScalar}};
#endif

}  // namespace

const ImageKernels& imageKernels() noexcept {
    return kTables.active();
}

const ImageKernels* imageKernelsFor(simd::Level level) noexcept {
    return kTables.of(level);
}

}  // namespace talvrin
