#include "platform/picture/resources.h"

#include <algorithm>
#include <cctype>
#include <mutex>

namespace talvrin::platform {

namespace {

bool equalNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

bool sameId(const ResourceId& a, const ResourceId& b) {
    if (a.index() != b.index()) return false;
    if (const auto* n = std::get_if<std::int32_t>(&a)) return *n == std::get<std::int32_t>(b);
    return equalNoCase(std::get<std::string>(a), std::get<std::string>(b));
}

const char* sectionOf(PictureResourceKind kind) {
    switch (kind) {
        case PictureResourceKind::Bitmap:
            return "BITMAP";
        case PictureResourceKind::Icon:
            return "ICON";
        case PictureResourceKind::Cursor:
            return "CURSOR";
    }
    return "";
}

std::mutex gMutex;
std::shared_ptr<const ResourceProvider> gProgramResources;

}  // namespace

const EmbeddedResource* EmbeddedResourceProvider::find(const ResourceId& id,
                                                       const std::string& section) const {
    for (const auto& r : table_) {
        if (equalNoCase(r.section, section) && sameId(r.id, id)) return &r;
    }
    return nullptr;
}

std::optional<std::vector<std::uint8_t>> EmbeddedResourceProvider::customResource(
    const ResourceId& id, const std::string& section) const {
    const EmbeddedResource* r = find(id, section);
    if (!r) return std::nullopt;
    return std::vector<std::uint8_t>(r->bytes.begin(), r->bytes.end());
}

std::unique_ptr<Picture> EmbeddedResourceProvider::pictureResource(const ResourceId& id,
                                                                   PictureResourceKind kind) const {
    const EmbeddedResource* r = find(id, sectionOf(kind));
    if (!r) return nullptr;
    return loadPicture(r->bytes).image;
}

void setProgramResources(std::shared_ptr<const ResourceProvider> provider) noexcept {
    std::lock_guard lock(gMutex);
    gProgramResources = std::move(provider);
}

std::shared_ptr<const ResourceProvider> programResources() noexcept {
    std::lock_guard lock(gMutex);
    return gProgramResources;
}

}  // namespace talvrin::platform
