// The repair run's redirection switch over the platform's file-system redirection.
#pragma once

#include <optional>

#include "app/repair_sequence.h"
#include "platform/os/file_system_redirection.h"

namespace talvrin {

class SystemRedirection final : public RedirectionSwitch {
  public:
    void turnOff() override { off_.emplace(); }
    void restore() override { off_.reset(); }

  private:
    std::optional<platform::FileSystemRedirectionOff> off_;
};

}  // namespace talvrin
