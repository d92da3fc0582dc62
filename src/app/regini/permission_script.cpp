#include "app/regini/permission_script.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "platform/os/files.h"

namespace talvrin::regini {

namespace {

using platform::KeyAccess;
using platform::KeyRights;
using platform::Trustee;

// Codes 1 to 23, in order.
constexpr std::array<KeyAccess, 23> kCodes = {{
    {Trustee::Administrators, KeyRights::Full},
    {Trustee::Administrators, KeyRights::Read},
    {Trustee::Administrators, KeyRights::ReadWrite},
    {Trustee::Administrators, KeyRights::ReadWriteDelete},
    {Trustee::CreatorOwner, KeyRights::Full},
    {Trustee::CreatorOwner, KeyRights::ReadWrite},
    {Trustee::Everyone, KeyRights::Full},
    {Trustee::Everyone, KeyRights::Read},
    {Trustee::Everyone, KeyRights::ReadWrite},
    {Trustee::Everyone, KeyRights::ReadWriteDelete},
    {Trustee::PowerUsers, KeyRights::Full},
    {Trustee::PowerUsers, KeyRights::ReadWrite},
    {Trustee::PowerUsers, KeyRights::ReadWriteDelete},
    {Trustee::SystemOperators, KeyRights::Full},
    {Trustee::SystemOperators, KeyRights::ReadWrite},
    {Trustee::SystemOperators, KeyRights::ReadWriteDelete},
    {Trustee::LocalSystem, KeyRights::Full},
    {Trustee::LocalSystem, KeyRights::ReadWrite},
    {Trustee::LocalSystem, KeyRights::Read},
    {Trustee::Administrators, KeyRights::ReadWriteExecute},
    {Trustee::Interactive, KeyRights::Full},
    {Trustee::Interactive, KeyRights::ReadWrite},
    {Trustee::Interactive, KeyRights::ReadWriteDelete},
}};

constexpr std::string_view kMachine = "\\registry\\machine\\";
constexpr std::string_view kRegistry = "\\registry\\";
// The system's limit on one key name, in UTF-16 units.
constexpr std::size_t kMaxKeyName = 255;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool startsWithIgnoringCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[i])) != prefix[i]) return false;
    return true;
}

// Why the path below \Registry\Machine cannot name a key, or empty when it can.
std::string problemOfSubkey(std::string_view subkey) {
    if (subkey.empty()) return "no key is named below \\Registry\\Machine";
    for (const char c : subkey) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) return "a control character in the key's path";
    }
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = std::min(subkey.find('\\', start), subkey.size());
        const std::string_view name = subkey.substr(start, end - start);
        if (name.empty()) return "an empty name in the key's path";
        if (platform::utf8ToUtf16(name).size() > kMaxKeyName)
            return "a key name longer than 255 characters";
        if (end == subkey.size()) return {};
        start = end + 1;
    }
}

}  // namespace

std::optional<KeyAccess> accessOfCode(unsigned long code) {
    if (code < 1 || code > kCodes.size()) return std::nullopt;
    return kCodes[code - 1];
}

ParsedLine parseLine(std::string_view raw) {
    const std::string_view line = trimmed(raw);
    if (line.empty() || line.front() == ';') return NoKey{};
    if (platform::utf16ToUtf8(platform::utf8ToUtf16(line)) != line) return "not UTF-8 text";

    const std::size_t open = line.rfind('[');
    if (open == std::string_view::npos) return "no access list in brackets";
    const std::size_t close = line.find(']', open);
    if (close == std::string_view::npos) return "the access list's closing bracket is missing";
    if (!trimmed(line.substr(close + 1)).empty()) return "text after the access list";

    const std::string_view path = trimmed(line.substr(0, open));
    if (path.size() + 1 == kMachine.size() &&
        startsWithIgnoringCase(path, kMachine.substr(0, path.size())))
        return "no key is named below \\Registry\\Machine";
    if (!startsWithIgnoringCase(path, kMachine)) {
        if (startsWithIgnoringCase(path, kRegistry))
            return "not a key of the machine (\\Registry\\Machine\\...)";
        return "the key is not named from \\Registry\\Machine\\";
    }
    KeyLine key;
    key.subkey = std::string(path.substr(kMachine.size()));
    if (std::string problem = problemOfSubkey(key.subkey); !problem.empty()) return problem;

    std::string_view codes = line.substr(open + 1, close - open - 1);
    for (;;) {
        codes = trimmed(codes);
        if (codes.empty()) break;
        std::size_t end = 0;
        while (end < codes.size() && !isBlank(codes[end]))
            ++end;
        const std::string_view token = codes.substr(0, end);
        codes.remove_prefix(end);
        if (!std::all_of(token.begin(), token.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return "'" + std::string(token.substr(0, 16)) + "' is not an access code";
        // More digits than any code has: unknown, and never converted.
        const unsigned long code = token.size() > 4 ? 0 : std::stoul(std::string(token));
        const std::optional<KeyAccess> access = accessOfCode(code);
        if (!access) return "unknown access code " + std::string(token.substr(0, 16));
        if (std::find(key.access.begin(), key.access.end(), *access) == key.access.end())
            key.access.push_back(*access);
    }
    if (key.access.empty()) return "no access codes in the brackets";
    return key;
}

void ScriptLines::feed(std::string_view bytes) {
    // A byte order mark may only start the script, and the chunks may cut it.
    constexpr std::string_view kMark = "\xEF\xBB\xBF";
    if (markPending_) {
        while (!bytes.empty() && head_.size() < kMark.size() &&
               kMark.substr(0, head_.size()) == head_) {
            head_ += bytes.front();
            bytes.remove_prefix(1);
        }
        if (head_ == kMark) {
            markPending_ = false;
        } else if (kMark.substr(0, head_.size()) != head_) {
            markPending_ = false;
            append(head_);  // no mark: these bytes start the first line
        } else {
            return;  // still the start of a mark
        }
    }
    append(bytes);
}

void ScriptLines::append(std::string_view bytes) {
    while (!bytes.empty()) {
        const std::size_t newline = bytes.find('\n');
        const std::string_view piece = bytes.substr(0, newline);
        // One byte past the limit is kept, for a "\r" that may end the line.
        if (!tooLong_ && line_.size() + piece.size() > kMaxLineBytes + 1) {
            tooLong_ = true;
            line_.clear();
        }
        if (!tooLong_) line_.append(piece);
        if (newline == std::string_view::npos) return;
        bytes.remove_prefix(newline + 1);
        endLine();
    }
}

void ScriptLines::finish() {
    if (markPending_) {
        markPending_ = false;
        append(head_);
    }
    if (!line_.empty() || tooLong_) endLine();
}

void ScriptLines::endLine() {
    ++number_;
    if (!line_.empty() && line_.back() == '\r') line_.pop_back();
    if (tooLong_ || line_.size() > kMaxLineBytes) {
        sink_(number_, std::nullopt);
    } else {
        sink_(number_, std::string_view(line_));
    }
    line_.clear();
    tooLong_ = false;
}

}  // namespace talvrin::regini
