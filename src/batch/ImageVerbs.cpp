// Image geometry commands: `image size|canvas|print-size|rotate|crop …` and `transform …`,
// running the dialogs' models and the same engine code as the Image menu and Edit > Transform.
#include <optional>
#include <string>
#include <vector>

#include "batch/BatchRunner.h"
#include "batch/DocumentVerbs.h"
#include "batch/Script.h"
#include "batch/TableVerbs.h"
#include "batch/ToolVerbs.h"
#include "geometry/CanvasSize.h"
#include "geometry/CropRebuild.h"
#include "geometry/ImageSize.h"
#include "geometry/PrintSize.h"
#include "platform/Messages.h"

namespace zelvo {

namespace {

using Args = std::vector<std::string>;

std::optional<int> RotateCodeOf(const std::string& word) {
    if (word == "ccw") return kRotateCounterclockwise;
    if (word == "cw") return kRotateClockwise;
    if (word == "180") return kRotate180;
    if (word == "flip-h") return kFlipHorizontal;
    if (word == "flip-v") return kFlipVertical;
    return std::nullopt;
}

CommandResult Disabled(const std::string& command) {
    return CommandResult::Fail(command + ": the command is disabled");
}

// "res=PPI" as the Image Size dialog's resolution box in pixels per inch (0.04 .. 10,000).
std::optional<int32_t> ResolutionOption(const std::string& value) {
    const auto ppi = ParseNumber(value);
    if (!ppi || *ppi < 0.04 || *ppi > 10000.0) return std::nullopt;
    return RoundR4(float(*ppi) * 39.37008f);
}

CommandResult Size(BatchSession& s, Image* doc, const Args& args) {
    if (args.size() < 3 || args.size() > 5)
        return CommandResult::Script("image size takes W H [res=PPI] [scale-styles=0|1]");
    const auto w = ParseInt(args[1]), h = ParseInt(args[2]);
    if (!w || !h) return CommandResult::Script("image size: W and H must be whole numbers");
    std::optional<int32_t> resolutionOption;
    bool scaleStyles = true;
    for (size_t i = 3; i < args.size(); ++i) {
        if (auto v = OptionValue(args[i], "res")) {
            if (!ParseNumber(*v)) return CommandResult::Script("image size: res must be a number");
            const auto r = ResolutionOption(*v);
            if (!r) return CommandResult::Fail("image size: the resolution must be 0.04 .. 10000");
            resolutionOption = *r;
        } else if (auto v = OptionValue(args[i], "scale-styles")) {
            if (*v != "0" && *v != "1")
                return CommandResult::Script("image size: scale-styles is 0 or 1");
            scaleStyles = *v == "1";
        } else {
            return CommandResult::Script("image size: unknown option '" + args[i] + "'");
        }
    }
    if (auto refused = Refused(s, FindCommand(kIdImageSize), "image size")) return *refused;
    Image& img = *doc;
    if (*w < 1 || *h < 1 || *w > kMaxImageSide || *h > kMaxImageSide)
        return CommandResult::Fail("image size: width and height must be 1 .. 10000");
    ImageSizeDialogModel dialog(img.Width(), img.Height(), img.Resolution());
    dialog.scaleStyles = scaleStyles;
    dialog.SetValues(*w, *h, resolutionOption.value_or(img.Resolution()));
    const bool tooLarge = int64_t(*w) * int64_t(*h) > kMaxImagePixels;
    const auto request = dialog.Ok();
    if (!request) return tooLarge ? CommandResult::Fail() : CommandResult::Ok();
    return CommandResult::From(RunVerb(s, *FindCommand(kIdImageSize),
                                       {request->width, request->height, request->resolution,
                                        request->scaleStyles ? 1 : 0}) != 0);
}

CommandResult Canvas(BatchSession& s, Image* doc, const Args& args) {
    if (args.size() != 3) return CommandResult::Script("image canvas takes W H");
    const auto w = ParseNumber(args[1]), h = ParseNumber(args[2]);
    if (!w || !h) return CommandResult::Script("image canvas: W and H must be numbers");
    if (auto refused = Refused(s, FindCommand(kIdCanvasSize), "image canvas")) return *refused;
    Image& img = *doc;
    CanvasSizeDialogModel dialog(img.Width(), img.Height(), img.Resolution());
    dialog.SetUnit(LengthUnit::Pixels);
    if (!dialog.EditWidth(*w) || !dialog.EditHeight(*h))
        return CommandResult::Fail("image canvas: the dialog refuses " + args[1] + " x " + args[2]);
    switch (dialog.Ok()) {
        case CanvasSizeDialogModel::Outcome::Unchanged:
        case CanvasSizeDialogModel::Outcome::Cancelled:
            return CommandResult::Ok();
        case CanvasSizeDialogModel::Outcome::TooLarge:
            return CommandResult::Fail();
        case CanvasSizeDialogModel::Outcome::Change:
            break;
    }
    return CommandResult::From(
        RunVerb(s, *FindCommand(kIdCanvasSize), {dialog.NewWidth(), dialog.NewHeight()}) == 1);
}

CommandResult PrintSize(BatchSession& s, Image* doc, const Args& args) {
    if (args.size() < 2 || args.size() > 3)
        return CommandResult::Script("image print-size takes RES [ppi|ppcm]");
    const auto value = ParseNumber(args[1]);
    if (!value) return CommandResult::Script("image print-size: RES must be a number");
    DensityUnit unit = DensityUnit::PixelsPerInch;
    if (args.size() == 3) {
        if (args[2] == "ppcm")
            unit = DensityUnit::PixelsPerCentimeter;
        else if (args[2] != "ppi")
            return CommandResult::Script("image print-size: the unit is ppi or ppcm");
    }
    if (auto refused = Refused(s, FindCommand(kIdPrintSize), "image print-size")) return *refused;
    Image& img = *doc;
    PrintSizeDialogModel dialog(img.Width(), img.Height(), img.Resolution());
    dialog.SetResolutionUnit(unit);
    if (!dialog.EditResolution(*value))
        return CommandResult::Fail(
            "image print-size: the resolution must be 0.01 up to below 10000");
    // As the dialog's OK: a resolution the document cannot hold is said, not dropped.
    if (dialog.ResolutionOutOfRange()) {
        AppMessages().Show(PrintSizeDialogModel::kResolutionRangeText);
        return CommandResult::Fail();
    }
    if (const auto r = dialog.Ok()) RunVerb(s, *FindCommand(kIdPrintSize), {*r});
    return CommandResult::Ok();
}

CommandResult Crop(Image* doc, const Args& args) {
    if (args.size() < 7 || args.size() > 8)
        return CommandResult::Script("image crop takes L T R B W H [res=PPI]");
    int v[6];
    for (int i = 0; i < 6; ++i) {
        const auto n = ParseInt(args[size_t(i) + 1]);
        if (!n) return CommandResult::Script("image crop: L T R B W H must be whole numbers");
        v[i] = *n;
    }
    std::optional<int32_t> resolution;
    if (args.size() == 8) {
        const auto value = OptionValue(args[7], "res");
        if (!value) return CommandResult::Script("image crop: unknown option '" + args[7] + "'");
        if (!ParseNumber(*value)) return CommandResult::Script("image crop: res must be a number");
        const auto r = ResolutionOption(*value);
        if (!r) return CommandResult::Fail("image crop: the resolution must be 0.04 .. 10000");
        resolution = *r;
    }
    if (!doc) return CommandResult::Fail("no open document");
    Image& img = *doc;
    if (!GeometryCommandEnabled(GeometryCommand::ImageSize, img.History()))
        return Disabled("image crop");
    int32_t newResolution = img.Resolution();
    if (!CropRebuild(img.History(), {v[0], v[1], v[2], v[3]}, v[4], v[5],
                     resolution.value_or(img.Resolution()), newResolution))
        return CommandResult::Fail("image crop: the frame or the size is refused");
    img.SetResolution(newResolution);
    return CommandResult::Ok();
}

CommandResult ImageCommand(BatchSession& s, const Args& args) {
    if (args.empty())
        return CommandResult::Script("image takes size|canvas|print-size|rotate|crop");
    const std::string& what = args[0];
    std::optional<int> code;
    if (what == "rotate") {
        if (args.size() != 2)
            return CommandResult::Script("image rotate takes cw|ccw|180|flip-h|flip-v");
        code = RotateCodeOf(args[1]);
        if (!code) return CommandResult::Script("image rotate: unknown turn '" + args[1] + "'");
    }
    Image* img = Documents(s).active;
    // Each command checks its words before it asks for a document.
    if (what == "size") return Size(s, img, args);
    if (what == "canvas") return Canvas(s, img, args);
    if (what == "print-size") return PrintSize(s, img, args);
    if (what == "crop") return Crop(img, args);
    const CommandEntry* entry = FindCommandByVerb("image rotate " + args[1]);
    if (auto refused = Refused(s, entry, "image rotate")) return *refused;
    return CommandResult::From(RunVerb(s, *entry) == 1);
}

CommandResult Transform(BatchSession& s, const Args& args) {
    if (!args.empty() && (args[0] == "free" || args[0] == "free-button"))
        return FreeTransformVerb(s, args);
    if (args.size() != 1) return CommandResult::Script("transform takes cw|ccw|180|flip-h|flip-v");
    const auto code = RotateCodeOf(args[0]);
    if (!code) return CommandResult::Script("transform: unknown turn '" + args[0] + "'");
    const CommandEntry* entry = FindCommandByVerb("transform " + args[0]);
    if (auto refused = Refused(s, entry, "transform")) return *refused;
    return CommandResult::From(RunVerb(s, *entry) == 1);
}

}  // namespace

void RegisterImageCommands(BatchRunner& runner) {
    runner.Register("image", ImageCommand,
                    OneOf({"size", "canvas", "print-size", "rotate", "crop"}));
    runner.Register("transform", Transform, [](const std::string& w) {
        return w == "free" || w == "free-button" || RotateCodeOf(w).has_value();
    });
}

}  // namespace zelvo
