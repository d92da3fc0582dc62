// The one shape of a failure record, whatever failed: a reason from the vocabulary of what was
// tried (decoding, encoding, reading or writing a file) plus a short constant detail saying what
// exactly was wrong. The detail never owns its text: a string literal, or text kept for the life
// of the process, so that a record can be copied and kept anywhere. A record whose reason is
// kNone is a success.
#pragma once

#include <string>
#include <string_view>

namespace talvrin {

template <typename Reason>
struct FailureRecord {
    Reason reason = Reason::kNone;
    std::string_view detail;

    [[nodiscard]] constexpr bool failed() const noexcept { return reason != Reason::kNone; }
    // Records why the work was refused and answers false, so that a refusal reads
    // `return failure_.refuse(DecodeFailure::kBadHeader, "interlace method above 1");`.
    constexpr bool refuse(Reason why, std::string_view what) noexcept {
        reason = why;
        detail = what;
        return false;
    }
    friend constexpr bool operator==(const FailureRecord&, const FailureRecord&) = default;
};

// The record as people read it: the reason's text (describe(), beside each vocabulary), then the
// detail in parentheses when there is one ("bad data (bad filter)", "unreadable").
template <typename Reason>
[[nodiscard]] std::string explain(const FailureRecord<Reason>& failure) {
    std::string text(describe(failure.reason));
    if (!failure.detail.empty()) {
        text += " (";
        text += failure.detail;
        text += ')';
    }
    return text;
}

}  // namespace talvrin
