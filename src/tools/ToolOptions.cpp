#include "tools/ToolOptions.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "core/Decimal.h"
#include "platform/Messages.h"
#include "selection/SelectionShape.h"
#include "tools/CropSize.h"
#include "tools/ToolTable.h"

namespace zelvo {

namespace {

enum class Kind { Int, Word, Text, Color, Number };

struct Control {
    const char* key;
    Kind kind;
    int min = 0, max = 0;
    std::vector<std::string> words;
    const char* message = "";  // shown when an integer lies outside min..max
    bool shared = false;       // one control for every page that shows it
    bool resetOnRefusal = false;
};

Control Int(const char* key, int min, int max, const char* message = "", bool shared = false,
            bool reset = false) {
    return {key, Kind::Int, min, max, {}, message, shared, reset};
}
Control Word(const char* key, std::vector<std::string> words, bool shared = false) {
    return {key, Kind::Word, 0, 0, std::move(words), "", shared, false};
}
Control Other(const char* key, Kind kind) {
    return {key, kind, 0, 0, {}, "", false, false};
}

const Control kDiameter = Int("diameter", 1, 500, "Diameter range is 1~500", true);
const Control kHardness = Int("hardness", 0, 100, "Hardness range is 0~100", true);
const Control kOpacity = Int("opacity", 0, 100, "Opacity range is 0~100");
const Control kMode = Word("mode", {"new", "add", "subtract", "intersect"}, true);
const Control kCurveMode = Word("mode", {"draw", "select", "convert", "add", "delete"});
// The wand and the bucket share the control; a value outside the range becomes 0.
const Control kTolerance = Int("tolerance", 0, 255, "Color range is 0~255", true, true);
const Control kContiguous = Int("contiguous", 0, 1, "", true);
const Control kAligned = Int("aligned", 0, 1);
const Control kAllLayers = Int("all-layers", 0, 1);
const Control kPatch = Word("patch", {"source", "destination"});
const Control kRange = Word("range", {"highlights", "midtones", "shadows"});
const Control kTone = Word("tone", {"light", "dark"});
const Control kSponge = Word("sponge", {"saturate", "desaturate"});
const Control kGradientType = Word("type", {"linear", "radial", "reflected"});
const Control kGradientColors =
    Word("colors", {"fore-back", "fore-transparent", "transparent-fore"});
const Control kSample = Word("sample", {"point", "3x3", "5x5"});
const Control kZoom = Word("zoom", {"in", "out"});
const Control kMeasureUnit = Word("unit", {"px", "cm", "in"});
const Control kCropWidth = Other("width", Kind::Number);
const Control kCropHeight = Other("height", Kind::Number);
const Control kCropUnit = Word("unit", {"px", "cm", "in"});
const Control kCropRes = Other("res", Kind::Number);
const Control kCropResUnit = Word("res-unit", {"ppi", "ppcm"});
const Control kFont = Other("font", Kind::Text);
const Control kTextSize = Int("size", 1, 1000, "Size range is 1~1000");
const Control kColor = Other("color", Kind::Color);
const Control kVertical = Int("vertical", 0, 1);
const Control kFilled = Int("filled", 0, 1);
const Control kShape = Int("shape", 0, 11, "Shape range is 0~11");

std::vector<const Control*> Page(int tool) {
    const std::vector<const Control*> brush = {&kDiameter, &kHardness, &kOpacity};
    auto with = [&](std::vector<const Control*> more) {
        std::vector<const Control*> page = brush;
        page.insert(page.end(), more.begin(), more.end());
        return page;
    };
    switch (tool) {
        case kToolLasso:
        case kToolPolygon:
        case kToolRectMarquee:
        case kToolEllipseMarquee:
            return {&kMode};
        case kToolMagicWand:
            return {&kMode, &kTolerance, &kContiguous};
        case kToolPatch:
            return {&kMode, &kPatch};
        case kToolBrush:
        case kToolEraser:
        case kToolBlur:
        case kToolSharpen:
            return brush;
        case kToolCloneStamp:
        case kToolHealingBrush:
            return with({&kAligned, &kAllLayers});
        case kToolLightenDarken:
            return with({&kRange, &kTone});
        case kToolSponge:
            return with({&kSponge});
        case kToolPaintBucket:
            return {&kTolerance, &kContiguous, &kOpacity};
        case kToolGradient:
            return {&kGradientType, &kOpacity, &kGradientColors};
        case kToolEyedropper:
            return {&kSample};
        case kToolZoom:
            return {&kZoom};
        case kToolMeasure:
            return {&kMeasureUnit};
        case kToolCrop:
            return {&kCropWidth, &kCropHeight, &kCropUnit, &kCropRes, &kCropResUnit};
        case kToolText:
            return {&kFont, &kTextSize, &kColor, &kVertical};
        case kToolCurve:
            return {&kCurveMode, &kColor, &kFilled, &kShape};
        default:
            return {};
    }
}

const Control* Find(int tool, const std::string& key) {
    // A shared control is reachable without a tool (0).
    if (tool == 0) {
        for (const Control* c : {&kDiameter, &kHardness, &kMode, &kTolerance, &kContiguous})
            if (key == c->key) return c;
        return nullptr;
    }
    for (const Control* c : Page(tool))
        if (key == c->key) return c;
    return nullptr;
}

std::string Default(const Control& c) {
    const std::string key = c.key;
    if (key == "diameter") return "10";
    if (key == "hardness") return "0";
    if (key == "opacity") return "100";
    if (key == "tolerance") return "32";
    if (key == "contiguous") return "1";
    if (key == "size") return "60";
    if (key == "font") return "Arial";
    if (key == "color") return "#000000";
    if (key == "range") return "midtones";
    // The crop size fields start empty: no fixed size.
    if (key == "width" || key == "height" || key == "res") return "";
    if (c.kind == Kind::Word) return c.words.front();
    return "0";
}

bool ParseWhole(const std::string& s, long& v) {
    if (s.empty() || s.size() > 9) return false;
    char* end = nullptr;
    v = std::strtol(s.c_str(), &end, 10);
    return end && *end == '\0';
}

}  // namespace

ToolOptions::ToolOptions() {
    for (const ToolInfo& t : ToolTable())
        for (const Control* c : Page(t.id)) {
            const std::string k = StorageKey(t.id, c->key);
            if (!m_values.count(k)) m_values[k] = Default(*c);
        }
}

std::string ToolOptions::StorageKey(int tool, const std::string& key) const {
    const Control* c = Find(tool, key);
    if (!c || c->shared) return key;
    return std::to_string(tool) + ":" + key;
}

std::vector<ToolOptions::ControlInfo> ToolOptions::Controls(int tool) const {
    std::vector<ControlInfo> controls;
    for (const Control* c : Page(tool))
        controls.push_back({ControlInfo::Kind(int(c->kind)), c->key, c->min, c->max, c->words});
    return controls;
}

std::vector<std::string> ToolOptions::Keys(int tool) const {
    std::vector<std::string> keys;
    for (const Control* c : Page(tool)) keys.push_back(c->key);
    return keys;
}

bool ToolOptions::HasKey(int tool, const std::string& key) const {
    return Find(tool, key) != nullptr;
}

std::string ToolOptions::Get(int tool, const std::string& key) const {
    if (!Find(tool, key)) return {};
    auto it = m_values.find(StorageKey(tool, key));
    return it == m_values.end() ? std::string() : it->second;
}

int ToolOptions::GetInt(int tool, const std::string& key) const {
    return std::atoi(Get(tool, key).c_str());
}

ColorRef ToolOptions::GetColor(int tool, const std::string& key) const {
    const std::string hex = Get(tool, key);
    const unsigned long v = hex.size() > 1 ? std::strtoul(hex.c_str() + 1, nullptr, 16) : 0;
    return Rgb(uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v));
}

ToolOptions::SetResult ToolOptions::Set(int tool, const std::string& key, const std::string& value,
                                        std::string* why) {
    auto malformed = [&](const std::string& text) {
        if (why) *why = text;
        return SetResult::Malformed;
    };
    const Control* c = Find(tool, key);
    if (!c) return malformed("no option '" + key + "' here");
    std::string stored = value;
    switch (c->kind) {
        case Kind::Int: {
            long v = 0;
            if (!ParseWhole(value, v)) return malformed(key + " must be a whole number");
            // A check box has no message of its own: another value is not one of its choices.
            if ((v < c->min || v > c->max) && !*c->message)
                return malformed(key + " must be " + std::to_string(c->min) + " or " +
                                 std::to_string(c->max));
            if (v < c->min || v > c->max) {
                AppMessages().Show(c->message);
                if (c->resetOnRefusal) {
                    m_values[StorageKey(tool, key)] = "0";
                    if (onChange) onChange(c->shared ? 0 : tool, key);
                }
                return SetResult::Refused;
            }
            stored = std::to_string(v);
            break;
        }
        case Kind::Word:
            if (std::find(c->words.begin(), c->words.end(), value) == c->words.end())
                return malformed(key + ": '" + value + "' is not one of the choices");
            break;
        case Kind::Color: {
            if (value.size() != 7 || value[0] != '#' ||
                value.find_first_not_of("0123456789abcdefABCDEF", 1) != std::string::npos)
                return malformed(key + " must be #RRGGBB");
            break;
        }
        case Kind::Number: {
            // An emptied crop field is no fixed size.
            const bool cleared = value.empty() && tool == kToolCrop;
            const std::optional<double> typed = ParsePlainDecimal(value);
            if (!cleared && !typed) return malformed(key + " must be a number");
            const double d = typed.value_or(0);
            if (tool == kToolCrop) {
                CropSettings crop = CropSettingsOf(*this);
                const CropField field = key == "width"    ? CropField::Width
                                        : key == "height" ? CropField::Height
                                                          : CropField::Resolution;
                const bool ok = EditCropField(crop, field, d);
                StoreCropSettings(*this, crop);
                return ok ? SetResult::Ok : SetResult::Refused;
            }
            char text[64];
            std::snprintf(text, sizeof text, "%g", d);
            stored = text;
            break;
        }
        case Kind::Text:
            break;
    }
    SetStored(tool, key, stored);
    // The size fields are shown in the unit's format.
    if (tool == kToolCrop && key == "unit") StoreCropSettings(*this, CropSettingsOf(*this));
    if (onApply) onApply(c->shared ? 0 : tool, key);
    return SetResult::Ok;
}

void ToolOptions::SetStored(int tool, const std::string& key, const std::string& value) {
    const Control* c = Find(tool, key);
    if (!c) return;
    std::string& slot = m_values[StorageKey(tool, key)];
    if (slot == value) return;
    slot = value;
    if (onChange) onChange(c->shared ? 0 : tool, key);
}

std::string ToolOptions::BarHint(int tool) {
    if (HasDiameter(tool)) return " [] key: Increase or Decrease brush size.";
    if (IsSelectionTool(tool) || tool == kToolPatch) return "Alt+1,2,3,4 is accelerator.";
    if (tool == kToolCurve) return "Alt+1,2,3,4,5 is accelerators.";
    return {};
}

bool ToolOptions::HasDiameter(int tool) {
    for (const Control* c : Page(tool))
        if (c == &kDiameter) return true;
    return false;
}

CombineMode ToolOptions::SelectionMode() const {
    const std::string m = Get(0, "mode");
    if (m == "add") return CombineMode::Add;
    if (m == "subtract") return CombineMode::Subtract;
    if (m == "intersect") return CombineMode::Intersect;
    return CombineMode::New;
}

}  // namespace zelvo
