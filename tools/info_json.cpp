// info --json: the record through nlohmann::json, in insertion order.
#include "tools/info_json.h"

#include <nlohmann/json.hpp>

namespace talvrin::tool {

std::string infoJson(const InfoRecord& r) {
    nlohmann::ordered_json j;
    j["name"] = r.name;
    if (r.read) j["format"] = std::string(r.facts.format);
    if (r.loaded) {
        j["width"] = r.width;
        j["height"] = r.height;
        j["type"] = r.type;
        j["type_name"] = std::string(imageTypeName(r.type));
        j["alpha"] = r.alpha;
    }
    if (r.read) {
        const ImageFacts& f = r.facts;
        if (f.bitDepth) j["bit_depth"] = *f.bitDepth;
        if (f.colorType) j["color_type"] = std::string(*f.colorType);
        if (f.frames) j["frames"] = *f.frames;
        if (f.format == "ico" || f.format == "cur") {
            auto icons = nlohmann::ordered_json::array();
            for (const IconEntry& e : f.icons)
                icons.push_back(
                    {{"width", e.width}, {"height", e.height}, {"bit_depth", e.bitDepth}});
            j["icons"] = std::move(icons);
        }
        if (f.orientation) j["orientation"] = *f.orientation;
    }
    if (!r.loaded) {
        nlohmann::ordered_json error;
        error["reason"] = r.error.reason;
        if (!r.error.detail.empty()) error["detail"] = r.error.detail;
        j["error"] = std::move(error);
    }
    return j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace talvrin::tool
