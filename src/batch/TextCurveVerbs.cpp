// Text and curve commands: `text`, `shape` and `curve`, each running what the text tool, the
// shape list and the curve tool's Draw mode run in the GUI, with the same history states.
#include <string>
#include <vector>

#include "batch/BatchRunner.h"
#include "batch/DocumentVerbs.h"
#include "batch/Script.h"
#include "batch/ToolVerbs.h"
#include "core/Limits.h"
#include "curves/CurveDraw.h"
#include "curves/Shapes.h"
#include "layers/TextLayer.h"

namespace zelvo {

namespace {

constexpr int32_t kMaxTextSize = kMaxFontSize;

// The colour a new layer takes without `color=`: the one on the tool's options bar page.
ColorRef ToolColor(BatchSession& s, int tool) {
    const std::optional<unsigned> c = ParseColor(Tools(s).controller.Options().Get(tool, "color"));
    return c ? ColorRef(*c) : ColorPair::kDefaultForeground;
}

// Parses `filled=0|1` and `color=#RRGGBB` words; false with `error` set for a malformed one.
bool CurveOptions(const std::string& word, bool& filled, ColorRef& color, std::string& error) {
    if (auto v = OptionValue(word, "filled")) {
        if (*v != "0" && *v != "1") {
            error = "filled must be 0 or 1";
            return false;
        }
        filled = *v == "1";
        return true;
    }
    if (auto v = OptionValue(word, "color")) {
        const std::optional<unsigned> c = ParseColor(*v);
        if (!c) {
            error = "color must be #RRGGBB";
            return false;
        }
        color = ColorRef(*c);
        return true;
    }
    error = "unknown option '" + word + "'";
    return false;
}

// "\n" in a script's text is a line break as the edit box types it.
std::string EditBoxText(const std::string& scripted) {
    std::string out;
    for (size_t i = 0; i < scripted.size(); ++i) {
        if (scripted[i] == '\\' && i + 1 < scripted.size() && scripted[i + 1] == 'n') {
            out += "\r\n";
            ++i;
        } else {
            out += scripted[i];
        }
    }
    return out;
}

CommandResult Text(BatchSession& s, const std::vector<std::string>& given) {
    std::vector<std::string> args = given;
    if (args.size() > 3) {
        std::vector<std::string> options(args.begin() + 3, args.end());
        if (!JoinQuotedOptions(options)) return CommandResult::Script("text: unterminated quote");
        args.resize(3);
        args.insert(args.end(), options.begin(), options.end());
    }
    const char* usage =
        "text takes X Y \"TEXT\" [font=\"FACE\"] [size=N] [color=#RRGGBB] [vertical]";
    if (args.size() < 3) return CommandResult::Script(usage);
    const std::optional<int> x = ParseInt(args[0]), y = ParseInt(args[1]);
    if (!x || !y) return CommandResult::Script("text: X and Y must be whole numbers");
    // What the options bar shows (`tool text …`) is what a click of the text tool would use.
    const ToolOptions& bar = Tools(s).controller.Options();
    std::string face = bar.Get(kToolText, "font");
    int32_t size =
        ParseInt(bar.Get(kToolText, "size")).value_or(FontSizeList()[kDefaultFontSizeIndex]);
    ColorRef color = ToolColor(s, kToolText);
    bool vertical = bar.Get(kToolText, "vertical") == "1";
    for (size_t i = 3; i < args.size(); ++i) {
        const std::string& w = args[i];
        if (auto v = OptionValue(w, "font")) {
            if (v->empty()) return CommandResult::Script("text: font must name a face");
            face = *v;
        } else if (auto v = OptionValue(w, "size")) {
            const std::optional<int> n = ParseInt(*v);
            if (!n || *n < 1 || *n > kMaxTextSize)
                return CommandResult::Script("text: size must be 1.." +
                                             std::to_string(kMaxTextSize));
            size = *n;
        } else if (auto v = OptionValue(w, "color")) {
            const std::optional<unsigned> c = ParseColor(*v);
            if (!c) return CommandResult::Script("text: color must be #RRGGBB");
            color = ColorRef(*c);
        } else if (w == "vertical") {
            vertical = true;
        } else {
            return CommandResult::Script("text: unknown option '" + w + "'");
        }
    }
    Image* image = Documents(s).active;
    if (!image) return CommandResult::Fail("no open document");
    std::string text = EditBoxText(args[2]);
    if (text.size() > kMaxTextBytes)
        return CommandResult::Fail(std::string("text: ") + kTextTooLongMessage);
    if (!EndedToolWork(*image)) return CommandResult::Fail("text: a tool is busy");
    TextEdit& texts = image->Texts();
    const LayerPtr layer = texts.BeginNewText(image->Width(), image->Height());
    if (!layer) return CommandResult::Fail();
    TextSettings& t = layer->Text();
    t.text = std::move(text);
    t.originX = *x;
    t.originY = *y;
    t.fontSize = size;
    SetTextFace(t, face);
    t.direction = vertical ? kTextVertical : kTextHorizontal;
    layer->SetColor(color);
    RenderText(*layer);
    return CommandResult::From(texts.EndText(1) == 1);
}

CommandResult Shape(BatchSession& s, const std::vector<std::string>& args) {
    if (args.size() < 3)
        return CommandResult::Script("shape takes NAME X Y [filled=0|1] [color=#RRGGBB]");
    int index = ShapeIndex(args[0]);
    if (index < 0) {
        const std::optional<int> n = ParseInt(args[0]);
        if (n) index = *n;
    }
    if (index < 1 || index > kShapeCount)
        return CommandResult::Script("shape: unknown shape '" + args[0] + "'");
    const std::optional<int> x = ParseInt(args[1]), y = ParseInt(args[2]);
    if (!x || !y) return CommandResult::Script("shape: X and Y must be whole numbers");
    bool filled = true;
    ColorRef color = ToolColor(s, kToolCurve);
    std::string error;
    for (size_t i = 3; i < args.size(); ++i)
        if (!CurveOptions(args[i], filled, color, error))
            return CommandResult::Script("shape: " + error);
    Image* image = Documents(s).active;
    if (!image) return CommandResult::Fail("no open document");
    if (!EndedToolWork(*image)) return CommandResult::Fail("shape: a tool is busy");
    return CommandResult::From(PlaceShape(image->Curves(), index, {*x, *y}, color, filled) !=
                               nullptr);
}

CommandResult Curve(BatchSession& s, const std::vector<std::string>& args) {
    const char* usage = "curve takes X,Y X,Y ... [closed] [filled=0|1] [color=#RRGGBB]";
    std::vector<Point> points;
    bool closed = false, filled = true;
    ColorRef color = ToolColor(s, kToolCurve);
    std::string error;
    for (const std::string& w : args) {
        if (const auto p = ParsePoint(w)) {
            points.push_back({p->first, p->second});
        } else if (w == "closed") {
            closed = true;
        } else if (!CurveOptions(w, filled, color, error)) {
            return CommandResult::Script("curve: " + error);
        }
    }
    if (points.empty()) return CommandResult::Script(usage);
    if (points.size() > kMaxCurveAnchors)
        return CommandResult::Fail(std::string("curve: ") + kCurveTooLongMessage);
    Image* image = Documents(s).active;
    if (!image) return CommandResult::Fail("no open document");
    if (!EndedToolWork(*image)) return CommandResult::Fail("curve: a tool is busy");
    return CommandResult::From(
        DrawCurve(image->Layers(), image->Curves(), points, closed, color, filled) != nullptr);
}

}  // namespace

void RegisterTextCurveCommands(BatchRunner& runner) {
    runner.Register("text", Text);
    runner.Register("shape", Shape);
    runner.Register("curve", Curve);
}

}  // namespace zelvo
