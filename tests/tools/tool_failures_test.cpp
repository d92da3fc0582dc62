// The tool's failures on reading and writing files, as the one printing function words them:
// the file's reason (and the system's message where the reason does not say all), the encoder's
// reason, in the same "cannot <action> '<name>': error=<reason> (<detail>)" line.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "image/surface/c32bpp_dib.h"
#include "platform/picture/jpeg_encoder.h"
#include "support/temp_directory.h"
#include "tools/failure.h"
#include "tools/image_input.h"
#include "tools/image_io.h"

namespace {

using namespace talvrin::tool;
namespace fs = std::filesystem;

TEST(ToolFailures, ReadsWritesAndEncodingsPrintOneWay) {
    const fs::path dir = talvrin::testsupport::makeTempDirectory("tool-failures-");
    ASSERT_FALSE(dir.empty());
    const std::string folder = (dir / "sub").string(), missing = (dir / "no/o.png").string();
    fs::create_directory(folder);
    talvrin::c32bppDIB none, pixel, wide;
    ASSERT_TRUE(pixel.InitializeDIB(1, 1));
    ASSERT_TRUE(wide.InitializeDIB(65501, 1));
    const auto load = [](const std::string& name) {
        Input in;
        const auto failure = openInput(name, in);
        return failure ? failureLine("load", name, *failure) : std::string("loaded");
    };
    const auto write = [](const talvrin::c32bppDIB& image, OutputFormat format,
                          const std::string& path) {
        return writeImage(image, format, kDefaultEncodeSettings, path).value_or("written");
    };
    const std::string jpegTooWide = talvrin::platform::jpegEncoderAvailable()
                                        ? "too large (beyond JPEG's 65500 pixels a side)"
                                        : "unavailable (no JPEG encoder in this build)";
    const struct {
        std::function<std::string()> run;
        std::string line;
    } cases[] = {
        {[&] { return load(missing); }, "cannot load '" + missing + "': error=not found"},
        {[&] { return load(folder); }, "cannot load '" + folder + "': error=is a directory"},
        {[&] { return write(pixel, OutputFormat::kPng, missing); },
         "cannot write '" + missing + "': error=not found"},
        {[&] { return write(pixel, OutputFormat::kBmp, folder); },
         "cannot write '" + folder + "': error=is a directory"},
        {[&] { return write(none, OutputFormat::kPng, missing); },
         "cannot encode '" + missing + "' as png: error=no image"},
        {[&] { return write(wide, OutputFormat::kJpeg, missing); },
         "cannot encode '" + missing + "' as jpg: error=" + jpegTooWide},
#ifndef _WIN32
        // A sink that refuses every byte: the system's words in parentheses.
        {[&] { return write(pixel, OutputFormat::kRgba, "/dev/full"); },
         "cannot write '/dev/full': error=unwritable (No space left on device)"},
#endif
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.run(), c.line);
    fs::remove_all(dir);
}

}  // namespace
