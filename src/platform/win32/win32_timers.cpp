#include "platform/win32/win32_timers.h"

#include <map>
#include <memory>
#include <utility>

namespace talvrin::platform::win32 {

namespace {

using Key = std::pair<HWND, UINT_PTR>;

// The callbacks, shared so that a callback that kills or re-arms its own timer while it runs
// keeps running on the copy it started with.
std::map<Key, std::shared_ptr<const std::function<void()>>>& table() {
    static std::map<Key, std::shared_ptr<const std::function<void()>>> timers;
    return timers;
}

void CALLBACK onTimer(HWND window, UINT, UINT_PTR id, DWORD) {
    const auto found = table().find({window, id});
    if (found == table().end()) {
        KillTimer(window, id);  // a tick already queued when the timer was killed
        return;
    }
    const auto callback = found->second;
    if (*callback) (*callback)();
}

}  // namespace

bool setWindowTimer(HWND window, std::intptr_t id, std::uint32_t ms, std::function<void()> onTick) {
    const auto key = Key{window, static_cast<UINT_PTR>(id)};
    if (SetTimer(window, key.second, ms, onTimer) == 0) return false;
    table()[key] = std::make_shared<const std::function<void()>>(std::move(onTick));
    return true;
}

void killWindowTimer(HWND window, std::intptr_t id) {
    const auto key = Key{window, static_cast<UINT_PTR>(id)};
    if (table().erase(key) != 0) KillTimer(window, key.second);
}

bool isWindowTimerArmed(HWND window, std::intptr_t id) {
    return table().count({window, static_cast<UINT_PTR>(id)}) != 0;
}

}  // namespace talvrin::platform::win32
