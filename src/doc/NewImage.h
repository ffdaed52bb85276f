// The New Image dialog's model: size presets (built-in and the user's own, kept in
// "newfilesize.qinf"), typed values with their bounds, and the pixel size computed on OK.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zelvo {

enum class SizeUnit : int32_t { Centimeter = 0, Inch = 1, Pixel = 2 };
enum class ResolutionUnit : int32_t { PerInch = 0, PerCentimeter = 1 };

// 20 bytes when stored: width, height (float), unit, resolution (float), resolution unit.
struct SizePreset {
    float width = 0;
    float height = 0;
    SizeUnit unit = SizeUnit::Pixel;
    float resolution = 72;
    ResolutionUnit resolutionUnit = ResolutionUnit::PerInch;
    friend bool operator==(const SizePreset&, const SizePreset&) = default;
};

struct BuiltInPreset {
    const char* text;  // nullptr for the separator rows
    SizePreset preset;
};

// The built-in list in order, separators included.
const std::vector<BuiltInPreset>& BuiltInPresets();
// Index into BuiltInPresets() of the entry selected when the dialog opens.
int DefaultBuiltInPreset();
// How a user preset is listed.
std::string PresetText(const SizePreset& p);

// "newfilesize.qinf": at most 100 presets; a short or bad file yields none.
constexpr int kMaxUserPresets = 100;
std::vector<SizePreset> ReadUserPresets(const std::string& path);
bool WriteUserPresets(const std::string& path, const std::vector<SizePreset>& presets);

struct NewImageSize {
    int32_t width = 0;
    int32_t height = 0;
    int32_t resolution = 0;  // pixels per metre
};

class NewImageDialogModel {
public:
    static constexpr double kDefaultWidth = 8.90;
    static constexpr double kDefaultHeight = 12.70;
    static constexpr double kDefaultResolution = 300;

    // Reads the user presets from the configuration folder.
    NewImageDialogModel();
    explicit NewImageDialogModel(std::vector<SizePreset> userPresets);

    // Typed values are taken only within bounds; outside, the previous value stays.
    // Each returns whether the value was taken.
    bool SetWidth(double v);
    bool SetHeight(double v);
    bool SetResolution(double v);
    void SetUnit(SizeUnit u) { m_unit = u; }
    void SetResolutionUnit(ResolutionUnit u) { m_resolutionUnit = u; }
    // Choosing a preset fills the fields with it.
    void Choose(const SizePreset& p);

    double Width() const { return m_width; }
    double Height() const { return m_height; }
    double Resolution() const { return m_resolution; }
    SizeUnit Unit() const { return m_unit; }
    ResolutionUnit ResolutionUnitValue() const { return m_resolutionUnit; }

    // The fields as a preset; Add appends it (when the values pass OK's checks) and selects it.
    SizePreset Current() const;
    bool AddUserPreset();
    void DeleteUserPreset(int index);
    const std::vector<SizePreset>& UserPresets() const { return m_userPresets; }
    int SelectedUserPreset() const { return m_selectedUser; }
    // Written back when the dialog closes with OK or Cancel.
    bool SaveUserPresets() const;

    // The pixel size the fields describe, without any check.
    NewImageSize Compute() const;
    // OK: the size, or nullopt after showing the dialog's message (the fields go back to their
    // defaults and the dialog stays open).
    std::optional<NewImageSize> Ok();

private:
    void ResetFields();

    double m_width = kDefaultWidth;
    double m_height = kDefaultHeight;
    SizeUnit m_unit = SizeUnit::Centimeter;
    double m_resolution = kDefaultResolution;
    ResolutionUnit m_resolutionUnit = ResolutionUnit::PerInch;
    std::vector<SizePreset> m_userPresets;
    int m_selectedUser = -1;
};

// The check after the dialog: shows the 20-million / 10 000-pixel message and fails.
bool CheckNewImageSize(int64_t width, int64_t height);

}  // namespace zelvo
