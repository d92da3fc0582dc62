// File-system redirection: 64-bit Windows shows a 32-bit process another system folder under the
// usual name. The repair commands name the real system folder, so the repair run turns the
// redirection off for its thread and back on at its end.
#pragma once

namespace talvrin::platform {

// Redirection turned off for the calling thread for the life of the object (or until revert).
// Where there is none to turn off (POSIX, a 64-bit process, a system without the calls, which
// are looked up at run time) nothing is called and the object does nothing.
class FileSystemRedirectionOff {
  public:
    FileSystemRedirectionOff() noexcept;
    ~FileSystemRedirectionOff() { revert(); }
    FileSystemRedirectionOff(const FileSystemRedirectionOff&) = delete;
    FileSystemRedirectionOff& operator=(const FileSystemRedirectionOff&) = delete;

    // Turns redirection back on with the value saved when it was turned off; once only.
    void revert() noexcept;

    // True while redirection is off on this object's account.
    [[nodiscard]] bool isOff() const noexcept { return off_; }

  private:
    // The system's opaque value, given back on revert (unused on POSIX, which has none).
    [[maybe_unused]] void* saved_ = nullptr;
    bool off_ = false;
};

}  // namespace talvrin::platform
