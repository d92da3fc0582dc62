// The process backend's half that both platforms share: the start's order of checks, the pipe's
// write end given up once the child holds it, and the texts of the start's failures.
#include "platform/os/child_process.h"

namespace talvrin::platform {

bool ChildProcess::start(const std::string& narrowLine, WordSplitter splitWords) noexcept {
    failure_ = StartFailure::System;
    error_ = 0;
    try {
        if (hasChild()) return false;
        if (!writeEnd_.isOpen()) {
            failure_ = StartFailure::NoPipe;
            return false;
        }
        if (!launch(narrowLine, splitWords)) return false;
        failure_ = StartFailure::None;
        // Only the child holds the write end now, so the end of its output ends the reads.
        writeEnd_.close();
        return true;
    } catch (...) {
        return false;
    }
}

std::string ChildProcess::startFailure() const {
    switch (failure_) {
        case StartFailure::None:
            return {};
        case StartFailure::NoPipe:
            return "no pipe";
        case StartFailure::NoWords:
            return "no program named";
        case StartFailure::OpenQuote:
            return "a quote is left open";
        case StartFailure::NulInLine:
            return "a NUL character in the line";
        case StartFailure::NotFound:
            return "not found";
        case StartFailure::PermissionDenied:
            return "permission denied";
        case StartFailure::NotExecutable:
            return "not an executable";
        case StartFailure::System:
            break;
    }
    return "system error " + std::to_string(error_);
}

}  // namespace talvrin::platform
