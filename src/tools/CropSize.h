// The crop tool's fixed output size: the bar's width, height, unit and resolution with their
// checks and messages, the output size a committed frame is scaled to, and the list of crop-size
// presets kept in "cutter.qinf" (a count, then 20-byte records).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zelvo {

class ToolOptions;

// The codes the preset records store.
enum class CropUnit : int32_t { Pixels = 1, Centimeters = 2, Inches = 3 };
enum class CropResUnit : int32_t { PerCentimeter = 2, PerInch = 3 };

// The bar's values; 0 is an empty field.
struct CropSettings {
    double width = 0, height = 0;
    CropUnit unit = CropUnit::Pixels;
    double resolution = 0;
    CropResUnit resUnit = CropResUnit::PerInch;
};

// A length in the bar's unit as pixels at the bar's resolution (0 without a resolution unless
// the unit is pixels).
double CropPixels(const CropSettings& s, double value);

enum class CropField { Width, Height, Resolution };
// A value typed into a field, as the bar checks it when the field loses focus: out of its range
// the field is cleared; a size above 20,000,000 pixels clears both size fields. Each refusal
// shows its message; false then.
bool EditCropField(CropSettings& s, CropField field, double value);
// Whether the values may be saved as a preset: both sizes and, unless in pixels, a resolution,
// all in range and at most 20,000,000 pixels.
bool CropSettingsComplete(const CropSettings& s);
// A field as the bar shows it: empty for 0; "%0.0f" for sizes in pixels, "%0.2f" otherwise.
std::string CropFieldText(const CropSettings& s, CropField field);

// The bar's values from the options model and back (the fields re-shown).
CropSettings CropSettingsOf(const ToolOptions& options);
void StoreCropSettings(ToolOptions& options, const CropSettings& s);

// The pixel size a frame of `frameWidth` x `frameHeight` is scaled to: from the bar's width (or,
// when only a height is given, its height) when there is a resolution or the unit is pixels,
// keeping the aspect of the bar's sizes when both are set, else the frame's; otherwise the
// frame's own size.
struct CropOutput {
    int64_t width = 0, height = 0;
};
CropOutput CropOutputSize(const CropSettings& s, int32_t frameWidth, int32_t frameHeight);
// The resolution of the cropped document in pixels per metre: the bar's when set, else the
// document's own.
int32_t CropResolution(const CropSettings& s, int32_t documentResolution);

struct CropPreset {
    float width = 0, height = 0;
    int32_t unit = 1;
    float resolution = 0;
    int32_t resUnit = 3;
};
// "%.2fx%.2f Pixels", "%.2fx%.2f CM" or "%.2fx%.2f Inch".
std::string CropPresetText(const CropPreset& p);

constexpr int kMaxCropPresets = 100;
// A file shorter than its stored count needs gives none; at most 100 are read; records with
// units the bar does not know are skipped.
std::vector<CropPreset> ReadCropPresets(const std::string& path);
// Count, records, the count written again; a new file is first sized for 100 records. Written
// beside and renamed over the old file, so a failure leaves the old one whole.
bool WriteCropPresets(const std::string& path, const std::vector<CropPreset>& presets);

// The bar's preset combo: read from "cutter.qinf" in the configuration folder when first used,
// written back after every "+" and "-".
class CropPresetList {
public:
    const std::vector<CropPreset>& Presets();
    int Selected() const { return m_selected; }
    // "+": the bar's values as a new entry, selected. Refused with a message when they are not
    // complete or the list is full.
    bool Add(const CropSettings& s);
    // "-": removes the selected entry; false when none is selected.
    bool DeleteSelected();
    // Choosing entry `index` (from 0) puts its values in the bar.
    bool Choose(int index, ToolOptions& options);

private:
    void Load();
    bool Save();
    bool m_loaded = false;
    std::vector<CropPreset> m_presets;
    int m_selected = -1;
};

}  // namespace zelvo
