#include "tools/OptionCaptions.h"

#include <cctype>
#include <cstring>

#include "curves/Shapes.h"
#include "tools/ToolTable.h"

namespace zelvo {

namespace {

struct Caption {
    int tool;  // 0: every tool with the key
    const char* key;
    const char* text;
};

// Keys without a caption of their own ("" for the combine mode and the other rows of
// choices) are drawn without a label.
const Caption kKeys[] = {
    {0, "mode", ""},
    {kToolSponge, "sponge", "Mode:"},
    {0, "tolerance", "Range:"},
    {0, "contiguous", "Contiguous"},
    {0, "patch", "Patch:"},
    {0, "diameter", "Diameter:"},
    {0, "hardness", "Hardness:"},
    {0, "opacity", "Opacity:"},
    {0, "aligned", "Aligned"},
    {0, "all-layers", "Use All Layers"},
    {0, "range", "Range:"},
    {0, "tone", ""},
    {0, "type", ""},
    {0, "colors", ""},
    {0, "sample", "Sample Size:"},
    {0, "zoom", ""},
    {kToolMeasure, "unit", "Unit:"},
    {kToolCrop, "unit", ""},
    {0, "width", "Width:"},
    {0, "height", "Height:"},
    {0, "res", "Resolution:"},
    {0, "res-unit", ""},
    {0, "font", "Font:"},
    {0, "size", "Size:"},
    {0, "color", "Color:"},
    {0, "vertical", "Vertical"},
    {0, "filled", "Filled"},
    {0, "shape", "Shape:"},
};

struct Word {
    const char* key;
    const char* word;
    const char* text;
};

const Word kWords[] = {
    {"mode", "new", "New"},
    {"mode", "add", "Add"},
    {"mode", "subtract", "Subtract"},
    {"mode", "intersect", "Intersect"},
    {"patch", "source", "Source"},
    {"patch", "destination", "Destination"},
    // The lighten/darken range keeps the bar's own spelling.
    {"range", "highlights", "Highilghts"},
    {"range", "midtones", "Midtones"},
    {"range", "shadows", "Shadows"},
    {"tone", "light", "Light"},
    {"tone", "dark", "Dark"},
    {"sponge", "saturate", "Saturate"},
    {"sponge", "desaturate", "Desaturate"},
    {"type", "linear", "Linear"},
    {"type", "radial", "Radial"},
    {"type", "reflected", "Reflected"},
    {"colors", "fore-back", "Fore->Back"},
    {"colors", "fore-transparent", "Fore->Transparent"},
    {"colors", "transparent-fore", "Transparent->Fore"},
    {"sample", "point", "Point Sample"},
    {"sample", "3x3", "3 by 3 Average"},
    {"sample", "5x5", "5 by 5 Average"},
    {"zoom", "in", "Zoom In"},
    {"zoom", "out", "Zoom Out"},
    {"unit", "cm", "Centimeter"},
    {"unit", "in", "Inch"},
    {"unit", "px", "Pixel"},
    {"res-unit", "ppi", "Pixels/Inch"},
    {"res-unit", "ppcm", "Pixels/Centimeter"},
};

// A key or word no row names yet (a tool still to come): its own word, capitalised.
std::string Capitalised(const std::string& s) {
    std::string out = s;
    if (!out.empty()) out[0] = char(std::toupper(static_cast<unsigned char>(out[0])));
    for (char& c : out)
        if (c == '-') c = ' ';
    return out;
}

}  // namespace

std::string OptionCaption(int tool, const std::string& key) {
    const Caption* any = nullptr;
    for (const Caption& c : kKeys) {
        if (key != c.key) continue;
        if (c.tool == tool) return c.text;
        if (c.tool == 0) any = &c;
    }
    return any ? any->text : Capitalised(key) + ":";
}

std::string WordCaption(int /*tool*/, const std::string& key, const std::string& word) {
    for (const Word& w : kWords)
        if (key == w.key && word == w.word) return w.text;
    return Capitalised(word);
}

std::vector<std::string> NumberChoices(int tool, const std::string& key) {
    if (tool == kToolCurve && key == "shape") return ShapeNames();
    return {};
}

std::string OptionUnit(const std::string& key) {
    return key == "hardness" || key == "opacity" ? "%" : "";
}

}  // namespace zelvo
