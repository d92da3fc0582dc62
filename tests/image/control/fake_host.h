// A deterministic host for the image control, in three parts:
// - FakeDesktop: a manual clock with the desktop's window timers (keyed by window and
//   identifier, periodic until killed), a settable cursor and a settable window under it;
// - FakeContainer: a container window on that desktop with its client origin on the screen and
//   its collection of controls (last = topmost), which routes a mouse event the way a
//   container of windowless controls does: it asks the controls whose rectangle holds the point,
//   from the top, and gives the event to the first whose hit test says hit;
// - FakeHost: one control's window in the container (a headless host at a settable position),
//   that records repaint requests, change reports and resizes, delivers the resize event at
//   once, as the desktop does for a window the program resizes itself, and answers the scale
//   mode a test sets.
// A FakeHost made without a container has a desktop and a container of its own.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "image/control/headless_host.h"
#include "image/control/vitrel.h"

namespace talvrin::testing {

class FakeDesktop {
  public:
    struct Timer {
        std::uint32_t period = 0;
        std::int64_t due = 0;
        std::uint64_t order = 0;  // arming order: ties fire first-armed first
        std::function<void()> onTick;
    };
    using Key = std::pair<WindowHandle, std::intptr_t>;

    void setTimer(WindowHandle window, std::intptr_t id, std::uint32_t ms,
                  std::function<void()> onTick) {
        // The desktop makes a period of 0 at least its shortest one.
        const std::uint32_t period = std::max<std::uint32_t>(ms, 1);
        timers_[{window, id}] = Timer{period, now + period, ++armings_, std::move(onTick)};
    }
    void killTimer(WindowHandle window, std::intptr_t id) { timers_.erase({window, id}); }
    [[nodiscard]] bool armed(WindowHandle window, std::intptr_t id) const {
        return timers_.count({window, id}) != 0;
    }
    [[nodiscard]] std::optional<std::uint32_t> period(WindowHandle window, std::intptr_t id) const {
        const auto it = timers_.find({window, id});
        if (it == timers_.end()) return std::nullopt;
        return it->second.period;
    }
    [[nodiscard]] std::size_t armedCount() const { return timers_.size(); }

    // Moves the clock on by ms, firing each timer as it falls due, in order of due time. A
    // timer's next due time is set before its callback runs, which may kill or set timers.
    void advance(std::int64_t ms) {
        const std::int64_t end = now + ms;
        for (;;) {
            auto next = timers_.end();
            for (auto it = timers_.begin(); it != timers_.end(); ++it) {
                if (it->second.due > end) continue;
                if (next == timers_.end() || it->second.due < next->second.due ||
                    (it->second.due == next->second.due && it->second.order < next->second.order))
                    next = it;
            }
            if (next == timers_.end()) break;
            now = next->second.due;
            next->second.due += next->second.period;
            const std::function<void()> onTick = next->second.onTick;  // may be replaced
            ++ticks;
            onTick();
        }
        now = end;
    }

    std::int64_t now = 0;
    int ticks = 0;
    Point cursor;
    WindowHandle windowUnderCursor = 0;

  private:
    std::map<Key, Timer> timers_;
    std::uint64_t armings_ = 0;
};

class FakeHost;

class FakeContainer {
  public:
    FakeContainer(FakeDesktop& desktop, WindowHandle window, Point clientOrigin = {300, 200},
                  WindowHandle topLevel = 0x10)
        : desktop(desktop), window(window), clientOrigin(clientOrigin), topLevel(topLevel) {}

    // The container's collection of controls: image controls by their host, others by name.
    struct Member {
        std::string typeName;
        FakeHost* host = nullptr;
    };

    // The cursor moves to a point of the client area (over the container window), and a mouse
    // event is routed there: hit tests from the topmost control down; the first control that
    // is hit receives the event (in control pixels). Answers that control's host, or null.
    FakeHost* mouseMove(Point client, std::int16_t button = 0, std::int16_t shift = 0);
    FakeHost* mouseDown(Point client, std::int16_t button, std::int16_t shift = 0);
    // The button's release and, when it lands on the control that had the press, its click.
    FakeHost* mouseUp(Point client, std::int16_t button, std::int16_t shift = 0);
    // The cursor leaves for another window (no event reaches any control).
    void leaveTo(Point screen, WindowHandle other) {
        desktop.cursor = screen;
        desktop.windowUnderCursor = other;
    }

    FakeDesktop& desktop;
    WindowHandle window;
    Point clientOrigin;
    WindowHandle topLevel;
    std::vector<Member> members;

  private:
    FakeHost* route(Point client, const std::function<void(FakeHost&, float, float)>& deliver);
    FakeHost* pressed_ = nullptr;
};

class FakeHost final : public HeadlessHost {
  public:
    explicit FakeHost(std::int32_t width = 200, std::int32_t height = 200, bool running = true)
        : HeadlessHost(width, height, running),
          ownDesktop_(std::make_unique<FakeDesktop>()),
          ownContainer_(std::make_unique<FakeContainer>(*ownDesktop_, 0x100)),
          container(*ownContainer_) {
        container.members.push_back({Vitrel::kTypeName, this});
    }
    FakeHost(FakeContainer& into, Point position, std::int32_t width, std::int32_t height,
             bool running = true)
        : HeadlessHost(width, height, running), position(position), container(into) {
        container.members.push_back({Vitrel::kTypeName, this});
    }
    ~FakeHost() override {
        auto& m = container.members;
        m.erase(
            std::remove_if(m.begin(), m.end(), [this](const auto& e) { return e.host == this; }),
            m.end());
    }
    FakeHost(const FakeHost&) = delete;
    FakeHost& operator=(const FakeHost&) = delete;

    void requestRepaint() override { ++repaints; }
    void requestResize(std::int32_t widthTwips, std::int32_t heightTwips) override {
        resizes.push_back({widthTwips, heightTwips});
        HeadlessHost::requestResize(widthTwips, heightTwips);
    }
    void propertyChanged(std::string_view name) override { changes.emplace_back(name); }
    std::optional<std::int32_t> containerScaleMode() const override { return scaleMode; }
    std::optional<float> pixelsToContainer(float pixels, bool, std::int32_t mode) const override {
        if (mode == 3) return pixels;       // pixels
        if (mode == 1) return pixels * 15;  // twips
        return std::nullopt;
    }
    WindowHandle containerWindow() const override { return container.window; }
    WindowHandle topLevelWindow(WindowHandle window) const override {
        return window == container.window ? container.topLevel : window;
    }
    std::vector<ContainerControl> containerControls() const override {
        std::vector<ContainerControl> list;
        for (const auto& m : container.members)
            list.push_back({m.typeName, m.host ? m.host->control : nullptr});
        return list;
    }
    bool setTimer(WindowHandle window, std::intptr_t id, std::uint32_t ms,
                  std::function<void()> onTick) override {
        container.desktop.setTimer(window, id, ms, std::move(onTick));
        return true;
    }
    void killTimer(WindowHandle window, std::intptr_t id) override {
        container.desktop.killTimer(window, id);
    }
    Point cursorPos() const override { return container.desktop.cursor; }
    WindowHandle windowFromPoint(Point) const override {
        return container.desktop.windowUnderCursor;
    }
    std::optional<Point> clientToScreen(WindowHandle window, Point p) const override {
        if (window != container.window) return std::nullopt;
        return Point{container.clientOrigin.x + p.x, container.clientOrigin.y + p.y};
    }

    // The control's rectangle in the container's client area.
    [[nodiscard]] Rect rect() const {
        return {position.x, position.y, position.x + width(), position.y + height()};
    }

    Point position{};
    Vitrel* control = nullptr;  // receives the resize events and the routed mouse events
    int repaints = 0;
    std::vector<std::string> changes;
    std::vector<std::pair<std::int32_t, std::int32_t>> resizes;
    std::optional<std::int32_t> scaleMode = 1;

  protected:
    // The new size at once, and its resize event when it changed.
    void resizeWindow(std::int32_t width, std::int32_t height) override {
        const bool changed = width != this->width() || height != this->height();
        setSize(width, height);
        if (changed && control) control->Resize();
    }

  private:
    std::unique_ptr<FakeDesktop> ownDesktop_;
    std::unique_ptr<FakeContainer> ownContainer_;

  public:
    FakeContainer& container;
};

inline FakeHost* FakeContainer::route(Point client,
                                      const std::function<void(FakeHost&, float, float)>& deliver) {
    desktop.cursor = {clientOrigin.x + client.x, clientOrigin.y + client.y};
    desktop.windowUnderCursor = window;
    for (auto it = members.rbegin(); it != members.rend(); ++it) {
        FakeHost* host = it->host;
        if (!host || !host->control || !host->rect().contains(client)) continue;
        const auto x = static_cast<float>(client.x - host->position.x);
        const auto y = static_cast<float>(client.y - host->position.y);
        HitResult result = HitResult::Outside;
        host->control->HitTestQuery(x, y, result);
        if (result != HitResult::Hit) continue;
        // A disabled control takes the point but receives no input.
        if (host->enabled()) deliver(*host, x, y);
        return host;
    }
    return nullptr;
}

inline FakeHost* FakeContainer::mouseMove(Point client, std::int16_t button, std::int16_t shift) {
    return route(client, [&](FakeHost& h, float x, float y) {
        h.control->onMouseMove(button, shift, x, y);
    });
}

inline FakeHost* FakeContainer::mouseDown(Point client, std::int16_t button, std::int16_t shift) {
    pressed_ = route(client, [&](FakeHost& h, float x, float y) {
        h.control->onMouseDown(button, shift, x, y);
    });
    return pressed_;
}

inline FakeHost* FakeContainer::mouseUp(Point client, std::int16_t button, std::int16_t shift) {
    FakeHost* const pressed = std::exchange(pressed_, nullptr);
    return route(client, [&](FakeHost& h, float x, float y) {
        h.control->onMouseUp(button, shift, x, y);
        if (&h == pressed) h.control->onClick();
    });
}

// A control on its own fake host, with the resize events and mouse routing wired.
struct HostedControl {
    explicit HostedControl(std::int32_t width = 200, std::int32_t height = 200, bool running = true)
        : host(width, height, running), control(host) {
        host.control = &control;
        control.InitProperties();
    }
    HostedControl(FakeContainer& into, Point position, std::int32_t width, std::int32_t height,
                  bool running = true)
        : host(into, position, width, height, running), control(host) {
        host.control = &control;
        control.InitProperties();
    }
    FakeHost host;
    Vitrel control;
};

// Records the control's events as text, in order: "MouseEnter", "Click 1",
// "MouseDown 1 0 15 30" (button, shift, X, Y), "FadeTerminated 0" ...
struct EventLog final : VitrelEvents {
    explicit EventLog(std::string name = {}) : prefix(name.empty() ? "" : name + ".") {}
    void add(std::string text) { entries->push_back(prefix + std::move(text)); }
    static std::string num(float v) {
        std::string s = std::to_string(v);
        s.erase(s.find_last_not_of('0') + 1);
        if (!s.empty() && s.back() == '.') s.pop_back();
        return s;
    }
    static std::string mouse(const char* name, std::int16_t b, std::int16_t s, float x, float y) {
        return std::string(name) + " " + std::to_string(b) + " " + std::to_string(s) + " " +
               num(x) + " " + num(y);
    }
    void Click(std::int16_t b) override { add("Click " + std::to_string(b)); }
    void DblClick(std::int16_t b) override { add("DblClick " + std::to_string(b)); }
    void MouseExit() override { add("MouseExit"); }
    void MouseEnter() override { add("MouseEnter"); }
    void MouseUp(std::int16_t b, std::int16_t s, float x, float y) override {
        add(mouse("MouseUp", b, s, x, y));
    }
    void MouseMove(std::int16_t b, std::int16_t s, float x, float y) override {
        add(mouse("MouseMove", b, s, x, y));
    }
    void MouseDown(std::int16_t b, std::int16_t s, float x, float y) override {
        add(mouse("MouseDown", b, s, x, y));
    }
    void KeyDown(std::int16_t k, std::int16_t s) override {
        add("KeyDown " + std::to_string(k) + " " + std::to_string(s));
    }
    void KeyUp(std::int16_t k, std::int16_t s) override {
        add("KeyUp " + std::to_string(k) + " " + std::to_string(s));
    }
    void KeyPress(std::int16_t k) override { add("KeyPress " + std::to_string(k)); }
    void OLEDragDrop(platform::DropDataObject&, std::int32_t& effect, std::int16_t b,
                     std::int16_t s, float x, float y) override {
        add(mouse("OLEDragDrop", b, s, x, y) + " effect " + std::to_string(effect));
        effect = 1;
    }
    void OLEDragOver(platform::DropDataObject&, std::int32_t& effect, std::int16_t b,
                     std::int16_t s, float x, float y, std::int16_t state) override {
        add(mouse("OLEDragOver", b, s, x, y) + " state " + std::to_string(state));
        effect = 2;
    }
    void FadeTerminated(std::int32_t opacity) override {
        add("FadeTerminated " + std::to_string(opacity));
    }

    std::string prefix;
    // Shared between the logs of several controls, so their events interleave in one list.
    std::shared_ptr<std::vector<std::string>> entries =
        std::make_shared<std::vector<std::string>>();
};

}  // namespace talvrin::testing
