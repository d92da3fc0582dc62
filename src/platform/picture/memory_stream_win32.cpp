// Memory streams over global blocks: GlobalAlloc, CreateStreamOnHGlobal, GetHGlobalFromStream.
#include "platform/picture/memory_stream_win32.h"

#include <objbase.h>
#include <windows.h>

#include <cstring>

namespace talvrin::platform {

void StreamRelease::operator()(IStream* stream) const noexcept {
    if (stream != nullptr) stream->Release();
}

StreamPtr streamOverBytes(std::span<const std::uint8_t> bytes) noexcept {
    // A block of at least one byte, so an empty span still gives a (zero-length) stream.
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.empty() ? 1 : bytes.size());
    if (block == nullptr) return nullptr;
    if (!bytes.empty()) {
        void* memory = GlobalLock(block);
        if (memory == nullptr) {
            GlobalFree(block);
            return nullptr;
        }
        std::memcpy(memory, bytes.data(), bytes.size());
        GlobalUnlock(block);
    }
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(block, TRUE, &stream)) || stream == nullptr) {
        GlobalFree(block);
        return nullptr;
    }
    // The stream's size is the block's, which the allocator may have rounded up: set it exactly.
    ULARGE_INTEGER size;
    size.QuadPart = bytes.size();
    if (FAILED(stream->SetSize(size))) {
        stream->Release();
        return nullptr;
    }
    return StreamPtr(stream);
}

StreamPtr growableStream() noexcept {
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream)) || stream == nullptr) return nullptr;
    return StreamPtr(stream);
}

bool streamBytes(IStream& stream, std::vector<std::uint8_t>& out) noexcept {
    try {
        // The stream's own size, not the block's: a global block may be larger than its data.
        STATSTG stat{};
        if (FAILED(stream.Stat(&stat, STATFLAG_NONAME))) return false;
        HGLOBAL block = nullptr;
        if (FAILED(GetHGlobalFromStream(&stream, &block)) || block == nullptr) return false;
        const std::size_t size = static_cast<std::size_t>(stat.cbSize.QuadPart);
        if (size > GlobalSize(block)) return false;
        out.assign(size, 0);
        if (size == 0) return true;
        const void* memory = GlobalLock(block);
        if (memory == nullptr) return false;
        std::memcpy(out.data(), memory, size);
        GlobalUnlock(block);
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace talvrin::platform
