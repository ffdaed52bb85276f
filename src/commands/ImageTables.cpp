// The Image menu (Adjustments, Image Size, Canvas Size, Print Size, Rotate Canvas, Crop) and
// the Filter menu.
#include "adjust/AdjustPass.h"
#include "adjust/Adjustments.h"
#include "adjust/Filters.h"
#include "commands/Families.h"
#include "doc/Image.h"
#include "geometry/CanvasSize.h"
#include "geometry/CropRebuild.h"
#include "geometry/Geometry.h"
#include "geometry/ImageSize.h"
#include "geometry/RotateCanvas.h"

namespace zelvo::commands {

namespace {

constexpr const char* kImage = "&Image";
constexpr const char* kAdjust = "&Image/Adjustments";
constexpr const char* kRotate = "&Image/Rotate Canvas";
constexpr const char* kFilter = "Filte&r";
constexpr const char* kNoise = "Filte&r/Reduce Noise";

// Adjustments and filters work on the current pixel layer.
bool PixelLayer(const CommandContext& c) {
    return CurrentPixelLayer(c.image->Layers()) != nullptr;
}

Rule Geometry(GeometryCommand command) {
    return [command](const CommandContext& c) {
        return GeometryCommandEnabled(command, *c.History());
    };
}

CommandEntry Pixel(int id, const char* menu, const char* text, const char* keys, const char* verb,
                   Run run) {
    return OnDocument(id, menu, text, keys, verb, PixelLayer, std::move(run));
}

}  // namespace

CommandFamily AdjustFamily() {
    return {
        "adjust",
        {
            WithValues(Pixel(kIdCurves, kAdjust, "Curves...", "Ctrl+M", "adjust curves",
                             [](CommandContext& c, const CommandValues& v) {
                                 Table256 table{};
                                 for (size_t i = 0; i < table.size(); ++i) table[i] = v.at(i);
                                 return ApplyTransfer(*c.History(), table, "Curves");
                             }),
                       "the 256 levels of the transfer curve", "1,1 90,120 180,180"),
            WithValues(Pixel(kIdColorBalance, kAdjust, "Color Balance...", "Ctrl+B",
                             "adjust color-balance",
                             [](CommandContext& c, const CommandValues& v) {
                                 return ApplyColorBalance(*c.History(), v.at(0), v.at(1), v.at(2));
                             }),
                       "cyan-red, magenta-green, yellow-blue", "10 0 -10"),
            WithValues(Pixel(kIdLevels, kAdjust, "Levels...", "Ctrl+L", "adjust levels",
                             [](CommandContext& c, const CommandValues& v) {
                                 return ApplyLevels(*c.History(),
                                                    {v.at(0), v.at(1), v.at(2), v.at(3), v.at(4)});
                             }),
                       "input black, middle, white, output black, white", "0 127 255 0 255"),
            WithValues(Pixel(kIdBrightnessContrast, kAdjust, "Brightness/Contrast...", "Ctrl+H",
                             "adjust brightness-contrast",
                             [](CommandContext& c, const CommandValues& v) {
                                 return ApplyBrightnessContrast(*c.History(), v.at(0), v.at(1));
                             }),
                       "brightness, contrast", "10 10"),
            WithValues(Pixel(kIdSaturation, kAdjust, "Saturation...", "Ctrl+U", "adjust saturation",
                             [](CommandContext& c, const CommandValues& v) {
                                 return ApplySaturation(*c.History(), v.at(0));
                             }),
                       "saturation", "10"),
            WithValues(Pixel(kIdShadowHighlight, kAdjust, "Shadow/Highlight...", "Ctrl+G",
                             "adjust shadow-highlight",
                             [](CommandContext& c, const CommandValues& v) {
                                 return ApplyShadowHighlight(*c.History(), v.at(0), v.at(1),
                                                             v.at(2));
                             }),
                       "shadows, highlights, radius", "10 10 5"),
            Separator(kAdjust),
            Pixel(kIdDesaturate, kAdjust, "Desaturate", "Ctrl+Shift+U", "adjust desaturate",
                  [](CommandContext& c, const CommandValues&) {
                      return ApplyDesaturate(*c.History());
                  }),
            Pixel(
                kIdInvert, kAdjust, "Invert", "Ctrl+I", "adjust invert",
                [](CommandContext& c, const CommandValues&) { return ApplyInvert(*c.History()); }),
        }};
}

CommandFamily ImageFamily() {
    CommandFamily f{"image", {Separator(kImage)}};
    auto& rows = f.entries;
    rows.push_back(WithValues(
        OnDocument(kIdImageSize, kImage, "Image Size", "", "image size",
                   Geometry(GeometryCommand::ImageSize),
                   [](CommandContext& c, const CommandValues& v) {
                       Image& image = *c.image;
                       int32_t resolution = image.Resolution();
                       if (!ResizeImage(image.History(), {v.at(0), v.at(1), v.at(2), v.at(3) != 0},
                                        resolution))
                           return 0;
                       image.SetResolution(resolution);
                       return 1;
                   }),
        "width, height, resolution, scale styles", "10 10"));
    rows.push_back(WithValues(OnDocument(kIdCanvasSize, kImage, "Canvas Size", "", "image canvas",
                                         Geometry(GeometryCommand::CanvasSize),
                                         [](CommandContext& c, const CommandValues& v) {
                                             return ChangeCanvasSize(*c.History(), v.at(0),
                                                                     v.at(1));
                                         }),
                              "width, height", "10 10"));
    rows.push_back(WithValues(OnDocument(kIdPrintSize, kImage, "Print Size", "", "image print-size",
                                         Geometry(GeometryCommand::PrintSize),
                                         [](CommandContext& c, const CommandValues& v) {
                                             c.image->SetResolution(v.at(0));
                                             // No history state, but the document now differs
                                             // from its file.
                                             c.image->SetModified(true);
                                             return 1;
                                         }),
                              "resolution", "72"));
    const int ids[5] = {kIdRotateClockwise, kIdRotateCounterclockwise, kIdRotate180,
                        kIdRotateFlipHorizontal, kIdRotateFlipVertical};
    for (int i = 0; i < 5; ++i) {
        const int code = kTurns[i].code;
        rows.push_back(OnDocument(ids[i], kRotate, kTurns[i].text, "", "",
                                  Geometry(GeometryCommand::RotateCanvas),
                                  [code](CommandContext& c, const CommandValues&) {
                                      return RotateCanvas(*c.History(), code);
                                  }));
        rows.back().verb = std::string("image rotate ") + kTurns[i].word;
    }
    // The crop tool's commit; the menu item waits for the tool.
    rows.push_back(WithValues(
        OnDocument(kIdCrop, kImage, "Crop", "", "image crop", Geometry(GeometryCommand::ImageSize),
                   [](CommandContext& c, const CommandValues& v) {
                       Image& image = *c.image;
                       int32_t resolution = image.Resolution();
                       if (!CropRebuild(image.History(), {v.at(0), v.at(1), v.at(2), v.at(3)},
                                        v.at(4), v.at(5), v.at(6), resolution))
                           return 0;
                       image.SetResolution(resolution);
                       return 1;
                   }),
        "left, top, right, bottom, width, height, resolution", "0 0 5 5 5 5"));
    return f;
}

CommandFamily FilterFamily() {
    CommandFamily f{
        "filter",
        {
            WithValues(Pixel(kIdBlur, kFilter, "Blur...", "", "filter blur",
                             [](CommandContext& c, const CommandValues& v) {
                                 return ApplyBlur(*c.History(), v.at(0));
                             }),
                       "slider", "5"),
            Pixel(
                kIdSharpen, kFilter, "Sharpen", "", "filter sharpen",
                [](CommandContext& c, const CommandValues&) { return ApplySharpen(*c.History()); }),
            WithValues(Pixel(kIdSharpenMore, kFilter, "Sharpen...", "", "filter sharpen-more",
                             [](CommandContext& c, const CommandValues& v) {
                                 return ApplySharpenMore(*c.History(), v.at(0), v.at(1));
                             }),
                       "amount, radius", "50 1"),
            WithValues(Pixel(kIdAddNoise, kFilter, "Add Noise...", "", "filter add-noise",
                             [](CommandContext& c, const CommandValues& v) {
                                 return ApplyAddNoise(*c.History(), v.at(0), v.at(1) != 0);
                             }),
                       "amount, monochromatic", "10 seed=1"),
            WithValues(Pixel(kIdMosaic, kFilter, "Mosaic...", "", "filter mosaic",
                             [](CommandContext& c, const CommandValues& v) {
                                 return ApplyMosaic(*c.History(), v.at(0));
                             }),
                       "cell", "4"),
        }};
    static constexpr struct {
        int id;
        const char* text;
        const char* verb;
        NoiseReducer kind;
    } kReducers[] = {
        {kIdReduceSmallNoise, "Reduce Small Noise(1-2Pixels)", "filter reduce-noise small",
         NoiseReducer::Small},
        {kIdReduceMediumNoise, "Reduce Medium Noise(3-5Pixels)", "filter reduce-noise medium",
         NoiseReducer::Medium},
        {kIdReduceBigNoise, "Reduce Big Noise(6-9Pixels)", "filter reduce-noise big",
         NoiseReducer::Big},
        {kIdReduceGrayNoise, "Reduce Gray Noise(3-5Pixels)", "filter reduce-noise gray",
         NoiseReducer::Gray},
    };
    for (const auto& r : kReducers) {
        const NoiseReducer kind = r.kind;
        // The large-layer question is asked by the reducer itself.
        f.entries.push_back(Pixel(r.id, kNoise, r.text, "", r.verb,
                                  [kind](CommandContext& c, const CommandValues&) {
                                      return ApplyReduceNoise(*c.History(), kind);
                                  }));
    }
    return f;
}

}  // namespace zelvo::commands
