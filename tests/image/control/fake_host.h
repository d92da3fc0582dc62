// A deterministic host for the image control: a window of a settable size that records repaint
// requests, change reports and resizes, and delivers the resize event at once, as the desktop
// does for a window the program resizes itself.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "image/control/vitrel.h"

namespace talvrin::testing {

class FakeHost final : public VitrelHost {
  public:
    explicit FakeHost(std::int32_t width = 200, std::int32_t height = 200, bool running = true)
        : w(width), h(height), running(running) {}

    bool userMode() const override { return running; }
    std::int32_t width() const override { return w; }
    std::int32_t height() const override { return h; }
    std::int32_t twipsPerPixelX() const override { return 15; }
    std::int32_t twipsPerPixelY() const override { return 15; }
    void requestRepaint() override { ++repaints; }
    void requestResize(std::int32_t widthTwips, std::int32_t heightTwips) override {
        resizes.push_back({widthTwips, heightTwips});
        const std::int32_t nw = widthTwips / 15, nh = heightTwips / 15;
        const bool changed = nw != w || nh != h;
        w = nw;
        h = nh;
        if (changed && control) control->Resize();
    }
    void propertyChanged(std::string_view name) override { changes.emplace_back(name); }
    std::optional<std::int32_t> containerScaleMode() const override { return scaleMode; }
    std::optional<float> pixelsToContainer(float pixels, bool, std::int32_t mode) const override {
        if (mode == 3) return pixels;       // pixels
        if (mode == 1) return pixels * 15;  // twips
        return std::nullopt;
    }
    bool enabled() const override { return isEnabled; }
    void setEnabled(bool value) override { isEnabled = value; }
    std::int16_t mousePointer() const override { return pointer; }
    bool setMousePointer(std::int16_t value) override {
        pointer = value;
        return true;
    }
    std::optional<StoredPicture> mouseIcon() const override { return icon; }
    bool setMouseIcon(std::optional<StoredPicture> value) override {
        icon = std::move(value);
        return true;
    }
    std::int16_t oleDropMode() const override { return dropMode; }
    bool setOleDropMode(std::int16_t value) override {
        dropMode = value;
        return true;
    }
    std::string tag() const override { return tagText; }
    void setTag(std::string value) override { tagText = std::move(value); }

    std::int32_t w;
    std::int32_t h;
    bool running;
    Vitrel* control = nullptr;  // receives the resize events
    int repaints = 0;
    std::vector<std::string> changes;
    std::vector<std::pair<std::int32_t, std::int32_t>> resizes;
    std::optional<std::int32_t> scaleMode = 1;
    bool isEnabled = true;
    std::int16_t pointer = 0;
    std::optional<StoredPicture> icon;
    std::int16_t dropMode = 0;
    std::string tagText;
};

// A control on its own fake host, with the resize events wired.
struct HostedControl {
    explicit HostedControl(std::int32_t width = 200, std::int32_t height = 200, bool running = true)
        : host(width, height, running), control(host) {
        host.control = &control;
        control.InitProperties();
    }
    FakeHost host;
    Vitrel control;
};

}  // namespace talvrin::testing
