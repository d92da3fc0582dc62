#include "platform/qt/qt_timers.h"

#include <QTimer>
#include <algorithm>
#include <limits>
#include <map>
#include <memory>
#include <utility>

namespace talvrin::platform::qt {

namespace {

struct Entry {
    std::unique_ptr<QTimer, void (*)(QTimer*)> timer{nullptr, nullptr};
    std::function<void()> onTick;
};

using Key = std::pair<std::uintptr_t, std::intptr_t>;

// Never destroyed: timers may be killed by controls torn down during the program's exit.
std::map<Key, Entry>& table() {
    static auto* timers = new std::map<Key, Entry>;
    return *timers;
}

// A timer is deleted later, so that killing it from its own timeout is safe.
void deleteLater(QTimer* timer) {
    timer->stop();
    timer->deleteLater();
}

void fire(const Key& key) {
    auto& timers = table();
    const auto it = timers.find(key);
    if (it == timers.end()) return;
    // The callback may kill or re-arm this timer (or others): it runs from a copy.
    const std::function<void()> onTick = it->second.onTick;
    if (onTick) onTick();
}

}  // namespace

void setWindowTimer(std::uintptr_t window, std::intptr_t id, std::uint32_t ms,
                    std::function<void()> onTick) {
    const Key key{window, id};
    Entry& entry = table()[key];
    if (!entry.timer) {
        entry.timer = {new QTimer, deleteLater};
        QObject::connect(entry.timer.get(), &QTimer::timeout, [key] { fire(key); });
    }
    entry.onTick = std::move(onTick);
    entry.timer->start(static_cast<int>(std::min<std::uint32_t>(ms, 0x7FFFFFFF)));
}

void killWindowTimer(std::uintptr_t window, std::intptr_t id) {
    table().erase({window, id});
}

bool isWindowTimerArmed(std::uintptr_t window, std::intptr_t id) {
    return table().count({window, id}) != 0;
}

void killWindowTimers(std::uintptr_t window) {
    auto& timers = table();
    for (auto it = timers.lower_bound({window, std::numeric_limits<std::intptr_t>::min()});
         it != timers.end() && it->first.first == window;)
        it = timers.erase(it);
}

}  // namespace talvrin::platform::qt
