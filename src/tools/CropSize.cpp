#include "tools/CropSize.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "core/InternalError.h"
#include "platform/Disk.h"
#include "platform/Messages.h"
#include "tools/ToolOptions.h"
#include "tools/ToolTable.h"

namespace zelvo {

namespace {

constexpr double kMaxCropPixels = 20000000.0;
constexpr double kInchPerCentimeter = 0.39370078740157477;

double PerCentimeter(const CropSettings& s) {
    return s.resUnit == CropResUnit::PerCentimeter ? s.resolution
                                                   : s.resolution * kInchPerCentimeter;
}

double PerInch(const CropSettings& s) {
    return s.resUnit == CropResUnit::PerInch ? s.resolution : s.resolution * 2.54;
}

double Area(const CropSettings& s) {
    return CropPixels(s, s.width) * CropPixels(s, s.height);
}

const char* UnitWord(CropUnit u) {
    return u == CropUnit::Centimeters ? "cm" : u == CropUnit::Inches ? "in" : "px";
}

bool ValidUnits(int32_t unit, int32_t resUnit) {
    return unit >= 1 && unit <= 3 && (resUnit == 2 || resUnit == 3);
}

}  // namespace

double CropPixels(const CropSettings& s, double value) {
    switch (s.unit) {
        case CropUnit::Centimeters:
            return value * PerCentimeter(s);
        case CropUnit::Inches:
            return value * PerInch(s);
        default:
            return value;
    }
}

bool EditCropField(CropSettings& s, CropField field, double value) {
    static const char* const kRangeMessages[] = {
        "The width of the range of 0 ~ 10000 between, crop size must less than 20 million "
        "pixels.",
        "The height of the range of 0 ~ 10000 between, crop size must less than 20 million "
        "pixels.",
        "The Resolution of the range of 0 ~ 5000 between, crop size must less than 20 million "
        "pixels.",
    };
    double* slot = field == CropField::Width    ? &s.width
                   : field == CropField::Height ? &s.height
                                                : &s.resolution;
    const double limit = field == CropField::Resolution ? 5000 : 10000;
    if (!(value >= 0 && value < limit)) {
        // A refused value never stays in a field: the crop would use it.
        *slot = 0;
        AppMessages().Show(kRangeMessages[int(field)]);
        return false;
    }
    *slot = value;
    if (Area(s) > kMaxCropPixels) {
        s.width = s.height = 0;
        AppMessages().Show("Crop size should not more than 20 million pixels.");
        return false;
    }
    return true;
}

bool CropSettingsComplete(const CropSettings& s) {
    if (!(s.width > 0 && s.width < 10000 && s.height > 0 && s.height < 10000)) return false;
    if (!(s.resolution >= 0 && s.resolution < 5000)) return false;
    if (s.unit != CropUnit::Pixels && !(s.resolution > 0)) return false;
    return Area(s) <= kMaxCropPixels;
}

std::string CropFieldText(const CropSettings& s, CropField field) {
    const double v = field == CropField::Width    ? s.width
                     : field == CropField::Height ? s.height
                                                  : s.resolution;
    if (!(v > 0)) return {};
    char text[64];
    const bool whole = field != CropField::Resolution && s.unit == CropUnit::Pixels;
    std::snprintf(text, sizeof text, whole ? "%0.0f" : "%0.2f", v);
    return text;
}

CropSettings CropSettingsOf(const ToolOptions& o) {
    CropSettings s;
    auto number = [&](const char* key) { return std::atof(o.Get(kToolCrop, key).c_str()); };
    s.width = number("width");
    s.height = number("height");
    s.resolution = number("res");
    const std::string unit = o.Get(kToolCrop, "unit");
    s.unit = unit == "cm"   ? CropUnit::Centimeters
             : unit == "in" ? CropUnit::Inches
                            : CropUnit::Pixels;
    s.resUnit =
        o.Get(kToolCrop, "res-unit") == "ppcm" ? CropResUnit::PerCentimeter : CropResUnit::PerInch;
    return s;
}

void StoreCropSettings(ToolOptions& o, const CropSettings& s) {
    o.SetStored(kToolCrop, "unit", UnitWord(s.unit));
    o.SetStored(kToolCrop, "res-unit", s.resUnit == CropResUnit::PerCentimeter ? "ppcm" : "ppi");
    o.SetStored(kToolCrop, "width", CropFieldText(s, CropField::Width));
    o.SetStored(kToolCrop, "height", CropFieldText(s, CropField::Height));
    o.SetStored(kToolCrop, "res", CropFieldText(s, CropField::Resolution));
}

CropOutput CropOutputSize(const CropSettings& s, int32_t frameWidth, int32_t frameHeight) {
    double r = s.width > 0 && s.height > 0 ? s.width / s.height
               : frameHeight > 0           ? double(frameWidth) / double(frameHeight)
                                           : 0.0;
    if (r == 0) {
        ShowInternalError(1071);
        r = 1;
    }
    const bool inPixels = s.resolution > 0 || s.unit == CropUnit::Pixels;
    CropOutput out;
    if (inPixels && s.width > 0) {
        out.width = int64_t(CropPixels(s, s.width) + 0.5);
        out.height = int64_t(double(out.width) / r + 0.5);
    } else if (inPixels && s.height > 0) {
        out.height = int64_t(CropPixels(s, s.height) + 0.5);
        out.width = int64_t(r * double(out.height) + 0.5);
    } else {
        out.width = frameWidth;
        out.height = frameHeight;
    }
    return out;
}

int32_t CropResolution(const CropSettings& s, int32_t documentResolution) {
    if (!(s.resolution > 0)) return documentResolution;
    const double perMetre =
        s.resUnit == CropResUnit::PerInch ? s.resolution * 39.37008 : s.resolution * 100;
    return int32_t(perMetre + 0.5);
}

std::string CropPresetText(const CropPreset& p) {
    const char* unit = p.unit == 2 ? "CM" : p.unit == 3 ? "Inch" : "Pixels";
    char text[96];
    std::snprintf(text, sizeof text, "%.2fx%.2f %s", double(p.width), double(p.height), unit);
    return text;
}

std::vector<CropPreset> ReadCropPresets(const std::string& path) {
    std::vector<CropPreset> out;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return out;
    uint8_t head[4];
    int32_t count = 0;
    if (std::fread(head, 1, 4, f) == 4) std::memcpy(&count, head, 4);
    std::error_code ec;
    const uint64_t length = std::filesystem::file_size(path, ec);
    // The length is checked against the count as stored, before the count is capped.
    if (count > 0 && !ec && length >= 4 + 20 * uint64_t(count)) {
        for (int32_t i = 0; i < std::min(count, kMaxCropPresets); ++i) {
            uint8_t rec[20];
            if (std::fread(rec, 1, 20, f) != 20) break;
            CropPreset p;
            std::memcpy(&p.width, rec, 4);
            std::memcpy(&p.height, rec + 4, 4);
            std::memcpy(&p.unit, rec + 8, 4);
            std::memcpy(&p.resolution, rec + 12, 4);
            std::memcpy(&p.resUnit, rec + 16, 4);
            // A record the bar could not show or use (a damaged file) is left out.
            if (!ValidUnits(p.unit, p.resUnit) || !std::isfinite(p.width) ||
                !std::isfinite(p.height) || !std::isfinite(p.resolution))
                continue;
            out.push_back(p);
        }
    }
    std::fclose(f);
    return out;
}

bool WriteCropPresets(const std::string& path, const std::vector<CropPreset>& presets) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    const std::string temp = path + ".new";
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    uint8_t buf[4 + 20 * kMaxCropPresets] = {};
    // Placeholder count, the records, then the count of records written.
    int32_t written = 0;
    size_t pos = 4;
    for (const CropPreset& p : presets) {
        if (written == kMaxCropPresets) break;
        std::memcpy(buf + pos, &p.width, 4);
        std::memcpy(buf + pos + 4, &p.height, 4);
        std::memcpy(buf + pos + 8, &p.unit, 4);
        std::memcpy(buf + pos + 12, &p.resolution, 4);
        std::memcpy(buf + pos + 16, &p.resUnit, 4);
        pos += 20;
        ++written;
    }
    std::memcpy(buf, &written, 4);
    bool ok = posix_fallocate(fd, 0, sizeof buf) == 0;
    ok = ok && pwrite(fd, buf, sizeof buf, 0) == ssize_t(sizeof buf);
    ok = ok && fsync(fd) == 0;
    ok = (close(fd) == 0) && ok;
    if (ok) ok = std::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) std::remove(temp.c_str());
    return ok;
}

const std::vector<CropPreset>& CropPresetList::Presets() {
    Load();
    return m_presets;
}

void CropPresetList::Load() {
    if (m_loaded) return;
    m_loaded = true;
    m_presets = ReadCropPresets(ConfigPath("cutter.qinf"));
    m_selected = m_presets.empty() ? -1 : 0;
}

bool CropPresetList::Save() {
    if (WriteCropPresets(ConfigPath("cutter.qinf"), m_presets)) return true;
    AppMessages().Show("The crop sizes could not be saved to " + ConfigPath("cutter.qinf") + ".");
    return false;
}

bool CropPresetList::Add(const CropSettings& s) {
    Load();
    if (!CropSettingsComplete(s)) {
        AppMessages().Show(
            "The crop-size settings are not correct, can not save it as a default size!");
        return false;
    }
    if (int(m_presets.size()) >= kMaxCropPresets) {
        AppMessages().Show("The list of crop size is full: delete a size before adding one.");
        return false;
    }
    CropPreset p;
    p.width = float(s.width);
    p.height = float(s.height);
    p.unit = int32_t(s.unit);
    p.resolution = float(s.resolution);
    p.resUnit = int32_t(s.resUnit);
    m_presets.push_back(p);
    if (!Save()) {
        m_presets.pop_back();
        return false;
    }
    m_selected = int(m_presets.size()) - 1;
    return true;
}

bool CropPresetList::DeleteSelected() {
    Load();
    if (m_selected < 0 || m_selected >= int(m_presets.size())) return false;
    const CropPreset removed = m_presets[size_t(m_selected)];
    m_presets.erase(m_presets.begin() + m_selected);
    if (!Save()) {
        m_presets.insert(m_presets.begin() + m_selected, removed);
        return false;
    }
    m_selected = m_presets.empty() ? -1 : std::min(m_selected, int(m_presets.size()) - 1);
    return true;
}

bool CropPresetList::Choose(int index, ToolOptions& options) {
    Load();
    if (index < 0 || index >= int(m_presets.size())) return false;
    m_selected = index;
    const CropPreset& p = m_presets[size_t(index)];
    CropSettings s;
    s.unit = CropUnit(p.unit);
    s.resUnit = CropResUnit(p.resUnit);
    // Through the fields' own checks, as if typed, so a preset cannot put bad values in the bar.
    EditCropField(s, CropField::Resolution, p.resolution);
    EditCropField(s, CropField::Width, p.width);
    EditCropField(s, CropField::Height, p.height);
    StoreCropSettings(options, s);
    return true;
}

}  // namespace zelvo
