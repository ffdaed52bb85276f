#include "doc/NewImage.h"

#include <fcntl.h>
#include <unistd.h>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "core/Limits.h"
#include "platform/Disk.h"
#include "platform/Messages.h"

namespace zelvo {

namespace {

constexpr double kInchesPerMetre = 39.37007874015747;

SizePreset P(float w, float h, SizeUnit u, float r) {
    return {w, h, u, r, ResolutionUnit::PerInch};
}

int32_t RoundHalfUp(double v) {
    // A preset file can hold any float: what no canvas could have stays out of int's range
    // safely (and is then refused as too large).
    if (!(v < 2e9)) return INT32_MAX;
    if (v < -2e9) return INT32_MIN;
    return int32_t(v + 0.5);
}

}  // namespace

const std::vector<BuiltInPreset>& BuiltInPresets() {
    static const std::vector<BuiltInPreset> kList = {
        {"640 x 480  (Pixels)", P(640, 480, SizeUnit::Pixel, 72)},
        {"800 x 600  (Pixels)", P(800, 600, SizeUnit::Pixel, 72)},
        {"1024 x 768  (Pixels)", P(1024, 768, SizeUnit::Pixel, 72)},
        {nullptr, {}},
        {"2 x 3  (Inch)", P(2, 3, SizeUnit::Inch, 300)},
        {"4 x 6  (Inch)", P(4, 6, SizeUnit::Inch, 300)},
        {"5 x 7  (Inch)", P(5, 7, SizeUnit::Inch, 300)},
        {"8 x 10  (Inch)", P(8, 10, SizeUnit::Inch, 300)},
        {nullptr, {}},
        {"8.9 x 12.7  (Centimeter)", P(8.9f, 12.7f, SizeUnit::Centimeter, 400)},
        {"10.2 x 15.2  (Centimeter)", P(10.2f, 15.2f, SizeUnit::Centimeter, 400)},
        {nullptr, {}},
        {"A4  (21 x 29.7 Centimeter)", P(21, 29.7f, SizeUnit::Centimeter, 300)},
        {"A3  (29.7 x 42 Centimeter)", P(29.7f, 42, SizeUnit::Centimeter, 300)},
        {"B5  (17.6 x 25 Centimeter)", P(17.6f, 25, SizeUnit::Centimeter, 300)},
        {"B4  (25 x 35.3 Centimeter)", P(25, 35.3f, SizeUnit::Centimeter, 300)},
        {"B3  (35.3 x 50 Centimeter)", P(35.3f, 50, SizeUnit::Centimeter, 250)},
    };
    return kList;
}

int DefaultBuiltInPreset() {
    return 9;
}

std::string PresetText(const SizePreset& p) {
    char buf[128];
    if (p.unit == SizeUnit::Pixel) {
        std::snprintf(buf, sizeof buf, "%0.0f x %0.0f  (Pixels)", double(p.width),
                      double(p.height));
    } else {
        std::snprintf(buf, sizeof buf, "%0.2f x %0.2f  %s", double(p.width), double(p.height),
                      p.unit == SizeUnit::Inch ? "(Inch)" : "(Centimeter)");
    }
    return buf;
}

std::vector<SizePreset> ReadUserPresets(const std::string& path) {
    std::vector<SizePreset> out;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return out;
    uint8_t head[4];
    int32_t n = 0;
    if (std::fread(head, 1, 4, f) == 4) std::memcpy(&n, head, 4);
    std::error_code ec;
    auto length = std::filesystem::file_size(path, ec);
    if (n > 0 && !ec) {
        int32_t count = std::min(n, kMaxUserPresets);
        if (length >= 4 + 20 * uint64_t(count)) {
            for (int32_t i = 0; i < count; ++i) {
                uint8_t rec[20];
                if (std::fread(rec, 1, 20, f) != 20) {
                    out.clear();
                    break;
                }
                SizePreset p;
                int32_t unit, resUnit;
                std::memcpy(&p.width, rec, 4);
                std::memcpy(&p.height, rec + 4, 4);
                std::memcpy(&unit, rec + 8, 4);
                std::memcpy(&p.resolution, rec + 12, 4);
                std::memcpy(&resUnit, rec + 16, 4);
                // Units outside the known values would make a size nobody can see or fix.
                if (!(p.width > 0) || !(p.height > 0) || unit < 0 || unit > 2 || resUnit < 0 ||
                    resUnit > 1)
                    continue;
                p.unit = SizeUnit(unit);
                p.resolutionUnit = ResolutionUnit(resUnit);
                out.push_back(p);
            }
        }
    }
    std::fclose(f);
    return out;
}

bool WriteUserPresets(const std::string& path, const std::vector<SizePreset>& presets) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    // Opened without truncation, or created at its full length of 4 + 100 records.
    bool existed = std::filesystem::exists(path, ec);
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool ok = true;
    if (!existed) ok = ftruncate(fd, 4 + 20 * kMaxUserPresets) == 0;
    int32_t count = 0;
    uint8_t buf[4 + 20 * kMaxUserPresets] = {};
    size_t pos = 4;
    for (const SizePreset& p : presets) {
        if (count == kMaxUserPresets) break;
        int32_t unit = int32_t(p.unit), resUnit = int32_t(p.resolutionUnit);
        std::memcpy(buf + pos, &p.width, 4);
        std::memcpy(buf + pos + 4, &p.height, 4);
        std::memcpy(buf + pos + 8, &unit, 4);
        std::memcpy(buf + pos + 12, &p.resolution, 4);
        std::memcpy(buf + pos + 16, &resUnit, 4);
        pos += 20;
        ++count;
    }
    std::memcpy(buf, &count, 4);
    ok = ok && pwrite(fd, buf, pos, 0) == ssize_t(pos);
    ok = (close(fd) == 0) && ok;
    return ok;
}

NewImageDialogModel::NewImageDialogModel()
    : NewImageDialogModel(ReadUserPresets(ConfigPath("newfilesize.qinf"))) {}

NewImageDialogModel::NewImageDialogModel(std::vector<SizePreset> userPresets)
    : m_userPresets(std::move(userPresets)) {}

bool NewImageDialogModel::SetWidth(double v) {
    if (!(v >= 0.1 && v < 10100)) return false;
    m_width = v;
    return true;
}

bool NewImageDialogModel::SetHeight(double v) {
    if (!(v >= 0.1 && v < 10100)) return false;
    m_height = v;
    return true;
}

bool NewImageDialogModel::SetResolution(double v) {
    if (!(v >= 1 && v < 2000)) return false;
    m_resolution = v;
    return true;
}

void NewImageDialogModel::Choose(const SizePreset& p) {
    m_width = p.width;
    m_height = p.height;
    m_unit = p.unit;
    m_resolution = p.resolution;
    m_resolutionUnit = p.resolutionUnit;
}

SizePreset NewImageDialogModel::Current() const {
    return {float(m_width), float(m_height), m_unit, float(m_resolution), m_resolutionUnit};
}

NewImageSize NewImageDialogModel::Compute() const {
    double r = m_resolutionUnit == ResolutionUnit::PerInch ? m_resolution * kInchesPerMetre
                                                           : m_resolution * 100;
    auto pixels = [&](double v) {
        switch (m_unit) {
            case SizeUnit::Centimeter:
                return v * r * 0.01;
            case SizeUnit::Inch:
                return v * r * 0.0254;
            case SizeUnit::Pixel:
                break;
        }
        return v;
    };
    return {RoundHalfUp(pixels(m_width)), RoundHalfUp(pixels(m_height)), RoundHalfUp(r)};
}

void NewImageDialogModel::ResetFields() {
    m_width = kDefaultWidth;
    m_height = kDefaultHeight;
    m_unit = SizeUnit::Centimeter;
    m_resolution = kDefaultResolution;
    m_resolutionUnit = ResolutionUnit::PerInch;
}

std::optional<NewImageSize> NewImageDialogModel::Ok() {
    NewImageSize s = Compute();
    if (s.resolution < 0 || s.width <= 0 || s.height <= 0) {
        AppMessages().Show("Parameter settings are not correct!");
        ResetFields();
        return std::nullopt;
    }
    if (int64_t(s.width) * s.height > kMaxImagePixels) {
        AppMessages().Show("The new image should not more than 20 million pixels!");
        ResetFields();
        return std::nullopt;
    }
    return s;
}

bool NewImageDialogModel::AddUserPreset() {
    NewImageSize s = Compute();
    if (s.resolution < 0 || s.width <= 0 || s.height <= 0 ||
        int64_t(s.width) * s.height > kMaxImagePixels ||
        int(m_userPresets.size()) >= kMaxUserPresets)
        return false;
    m_userPresets.push_back(Current());
    m_selectedUser = int(m_userPresets.size()) - 1;
    return true;
}

void NewImageDialogModel::DeleteUserPreset(int index) {
    if (index < 0 || index >= int(m_userPresets.size())) return;
    m_userPresets.erase(m_userPresets.begin() + index);
    m_selectedUser = m_userPresets.empty() ? -1 : std::min(index, int(m_userPresets.size()) - 1);
}

bool NewImageDialogModel::SaveUserPresets() const {
    return WriteUserPresets(ConfigPath("newfilesize.qinf"), m_userPresets);
}

bool CheckNewImageSize(int64_t width, int64_t height) {
    if (width * height > kMaxImagePixels || width > kMaxImageSide || height > kMaxImageSide) {
        AppMessages().Show(kImageLimitsMessage);
        return false;
    }
    return true;
}

}  // namespace zelvo
