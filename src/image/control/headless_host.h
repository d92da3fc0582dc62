// The host of an image control with no window system behind it (the command-line render, the
// benchmarks, the fuzz targets, and the tests' fake host built on it): a window of a given size
// in a running program, or in a designer, at the desktop's default resolution, in a container
// laid out in pixels. It keeps what the control stores in it and asks for nothing: repaints
// and resizes go nowhere (the size is the caller's), and it has no timers, cursor or windows.
#pragma once

#include <cstdint>

#include "image/control/vitrel_host_base.h"

namespace talvrin {

class HeadlessHost : public VitrelHostBase {
  public:
    HeadlessHost(std::int32_t width, std::int32_t height, bool running = true) noexcept
        : width_(width), height_(height), running_(running) {}

    [[nodiscard]] bool userMode() const override { return running_; }
    [[nodiscard]] std::int32_t width() const override { return width_; }
    [[nodiscard]] std::int32_t height() const override { return height_; }
    void requestRepaint() override {}
    [[nodiscard]] std::optional<std::int32_t> containerScaleMode() const override { return 3; }

  protected:
    [[nodiscard]] std::int32_t dotsPerInch(bool /*horizontal*/) const override;
    void resizeWindow(std::int32_t /*width*/, std::int32_t /*height*/) override {}
    // A host that does resize its window sets the new size here.
    void setSize(std::int32_t width, std::int32_t height) noexcept {
        width_ = width;
        height_ = height;
    }

  private:
    std::int32_t width_, height_;
    bool running_;
};

}  // namespace talvrin
