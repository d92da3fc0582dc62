// Program resources: custom byte resources found by number or name within a named section, and
// picture resources (bitmap, icon, cursor) found by number or name.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "platform/picture/picture.h"

namespace talvrin::platform {

// A resource's number or name.
using ResourceId = std::variant<std::int32_t, std::string>;

// The kinds of picture resource.
enum class PictureResourceKind : std::int16_t { Bitmap = 0, Icon = 1, Cursor = 2 };

class ResourceProvider {
  public:
    virtual ~ResourceProvider() = default;
    // The bytes of the custom resource `id` in `section`, or nothing when there is none.
    [[nodiscard]] virtual std::optional<std::vector<std::uint8_t>> customResource(
        const ResourceId& id, const std::string& section) const = 0;
    // The picture resource `id` of the given kind, or null when there is none.
    [[nodiscard]] virtual std::unique_ptr<Picture> pictureResource(
        const ResourceId& id, PictureResourceKind kind) const = 0;
};

// One compiled-in resource.
struct EmbeddedResource {
    ResourceId id;
    std::string
        section;  // custom resources: the section's name; pictures: "BITMAP", "ICON", "CURSOR"
    std::span<const std::uint8_t> bytes;
};

// Resources held in a table of byte ranges; picture resources are decoded through the picture
// loader when asked for. Names compare without regard to case.
class EmbeddedResourceProvider final : public ResourceProvider {
  public:
    explicit EmbeddedResourceProvider(std::vector<EmbeddedResource> table)
        : table_(std::move(table)) {}
    std::optional<std::vector<std::uint8_t>> customResource(
        const ResourceId& id, const std::string& section) const override;
    std::unique_ptr<Picture> pictureResource(const ResourceId& id,
                                             PictureResourceKind kind) const override;

  private:
    const EmbeddedResource* find(const ResourceId& id, const std::string& section) const;
    std::vector<EmbeddedResource> table_;
};

// The program's own resources: the provider a program installs at start-up (null until then).
void setProgramResources(std::shared_ptr<const ResourceProvider> provider) noexcept;
[[nodiscard]] std::shared_ptr<const ResourceProvider> programResources() noexcept;

}  // namespace talvrin::platform
