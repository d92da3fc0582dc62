// Cross-control coordination: the cCrossComm object that all image controls of one container
// share, and ICrossComm, the small interface through which the controls and that object reach
// each other. The object keeps the registered controls, decides which single control counts as
// being under the mouse (the captured control), and owns the imaging library's session start:
// at most one start per top-level window.
//
// The window shell installs the ImagingSessionBridge that starts the imaging bridge's sessions
// and marks the top-level windows; without one (tests, the command-line tool) ManageGDIToken
// answers 0 and every draw runs under a session of its own.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "image/control/vitrel_host.h"

namespace talvrin {

class cCrossComm;

// Implemented by every image control, in the system's slot order.
class ICrossComm {
  public:
    virtual ~ICrossComm() = default;
    // The control's coordination object, or null before it attached.
    [[nodiscard]] virtual std::shared_ptr<cCrossComm> CrossTalkClass() const = 0;
    // The control stops its enter/exit polling timer (when its marker says it runs), clears the
    // marker and raises MouseExit.
    virtual void ReleaseMouseCapture() = 0;
};

// The imaging library's session as ManageGDIToken starts it; installed by a bridge.
class ImagingSessionBridge {
  public:
    // The marker window a started session leaves under its top-level window, and the delay
    // after that window's destruction at which the session is shut down.
    static constexpr const char* kMarkerClass = "Static";
    static constexpr const char* kMarkerTitle = "GDI+Safe Patch";
    static constexpr std::uint32_t kShutdownDelayMs = 50;

    virtual ~ImagingSessionBridge() = default;
    // True when the top-level window has the marker child (a session was started for it).
    [[nodiscard]] virtual bool hasMarker(WindowHandle topLevel) const = 0;
    // Starts a session (version 1, every other input 0): its token, or 0.
    virtual std::uint32_t startup() = 0;
    // Makes the hidden marker child of the top-level window and arranges for the session to be
    // shut down kShutdownDelayMs after that window is destroyed and its last message handled.
    // False when the marker cannot be made; the session then stays started.
    virtual bool guard(WindowHandle topLevel, std::uint32_t token) = 0;
};

// Installs the bridge (null: none, the default here) and gives back the previous one.
std::unique_ptr<ImagingSessionBridge> setImagingSessionBridge(
    std::unique_ptr<ImagingSessionBridge> bridge) noexcept;

class cCrossComm {
  public:
    // The token when a session had already been started for the top-level window.
    static constexpr std::uint32_t kTokenStartedElsewhere = 0xFFFFFFFFu;  // -1

    cCrossComm() = default;
    cCrossComm(const cCrossComm&) = delete;
    cCrossComm& operator=(const cCrossComm&) = delete;

    // The captured control's identity, 0 for none.
    [[nodiscard]] std::int32_t CapturedControl() const noexcept { return captured_; }
    // Stores ucPointer. When another control is captured, that control is looked up in the
    // registration list and, if still registered, released first (ReleaseMouseCapture: it
    // raises MouseExit); an identity no longer registered is skipped.
    void setCapturedControl(std::int32_t ucPointer);
    // The captured control gives the capture up itself (no release is called): the captured
    // control becomes 0 when it is ucPointer.
    void leaveCapture(std::int32_t ucPointer) noexcept;

    // The session token: 0 none, kTokenStartedElsewhere when started for another container.
    [[nodiscard]] std::uint32_t gdiToken() const noexcept { return gdiToken_; }

    // Registers a control (identity 0, a null control or an identity already present is
    // ignored).
    void AddRef(std::int32_t ucPointer, ICrossComm* control);
    // Unregisters the control if present; present or not, when it is the captured control the
    // captured control becomes 0.
    void RemoveRef(std::int32_t ucPointer);

    // Starts the imaging library's session for the window's top-level window, or finds that it
    // was started (token -1), and returns the token (0 when it could not be started).
    std::uint32_t ManageGDIToken(const VitrelHost& windows, WindowHandle window);

    // ---- State for tests ----
    [[nodiscard]] std::int32_t count() const noexcept { return count_; }
    // Room in the registration list: 6 at the first registration, the new count plus 5 when
    // full, shrunk to the count when more than 5 entries are spare, 0 when empty.
    [[nodiscard]] std::size_t capacity() const noexcept { return slots_.size(); }
    [[nodiscard]] std::vector<std::int32_t> registered() const;

  private:
    struct Entry {
        std::int32_t id = 0;
        ICrossComm* control = nullptr;
    };
    // Bisection over the ascending list: true with the entry's index when found, else false
    // with the index at which the identity belongs.
    [[nodiscard]] bool find(std::int32_t id, std::int32_t& index) const noexcept;

    std::vector<Entry> slots_;  // the first count_ entries are used, ascending by identity
    std::int32_t count_ = 0;
    std::int32_t captured_ = 0;
    std::uint32_t gdiToken_ = 0;
};

}  // namespace talvrin
