// Tools and gestures: `tool`, `color`, `view zoom`, the mouse and key events sent to a virtual
// view of a document, and `info tool`. Every event goes through the same ToolController the
// desktop program's view feeds.
#include "batch/ToolVerbs.h"

#include <cctype>
#include <cstdio>

#include "batch/BatchRunner.h"
#include "batch/DocumentVerbs.h"
#include "batch/Script.h"
#include "core/Limits.h"
#include "store/FileDynamicStore.h"
#include "tools/CropSize.h"
#include "tools/CropTool.h"
#include "tools/FreeTransformTool.h"
#include "tools/MeasureTool.h"
#include "tools/VirtualView.h"
#include "view/ViewZoom.h"

namespace zelvo {

namespace {

using Args = std::vector<std::string>;

std::string Hex(ColorRef c) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02X%02X%02X", RedOf(c), GreenOf(c), BlueOf(c));
    return text;
}

// A text as a script writes it: line breaks as `\n`.
std::string ScriptText(std::string text) {
    std::erase(text, '\r');
    return EscapeForOutput(text);
}

// Views of documents that were closed go before anything can reach them.
void Prune(BatchSession& s, BatchTools& t) {
    BatchDocuments& docs = Documents(s);
    for (auto it = t.views.begin(); it != t.views.end();) {
        bool open = false;
        for (const auto& d : docs.open) open = open || d.get() == it->first;
        if (open) {
            ++it;
            continue;
        }
        t.controller.ViewClosing(*it->second.view);
        it = t.views.erase(it);
    }
}

VirtualViewState& ViewOf(BatchTools& t, Image& image) {
    VirtualViewState& v = t.views[&image];
    if (!v.view) v.view = std::make_unique<ImageView>(image);
    // Laid out again before every event: the canvas may have changed size since.
    LayOutVirtualView(*v.view, v.zoom, v.scrollX, v.scrollY);
    return v;
}

// After an event: the zoom tool and the Hand tool change the view.
void Remember(VirtualViewState& v) {
    v.zoom = v.view->Zoom();
    v.scrollX = int32_t(float(v.view->ScrollX()) / v.zoom);
    v.scrollY = int32_t(float(v.view->ScrollY()) / v.zoom);
}

std::optional<int> ParseModifier(const std::string& w) {
    if (w == "shift") return kShift;
    if (w == "alt") return kAlt;
    if (w == "ctrl") return kControl;
    if (w == "space") return kSpace;
    return std::nullopt;
}

struct Gesture {
    std::vector<Point> points;
    int modifiers = 0;
    Image* image = nullptr;
};

// Points, then modifiers and `doc=N` in any order.
CommandResult ParseGesture(BatchSession& s, const std::string& verb, const Args& args,
                           size_t minPoints, size_t maxPoints, Gesture& g) {
    BatchDocuments& docs = Documents(s);
    g.image = docs.active;
    for (const std::string& w : args) {
        if (auto p = ParsePoint(w); p && g.modifiers == 0) {
            g.points.push_back({p->first, p->second});
        } else if (auto m = ParseModifier(w)) {
            g.modifiers |= *m;
        } else if (auto d = OptionValue(w, "doc")) {
            const auto n = ParseInt(*d);
            if (!n) return CommandResult::Script(verb + ": doc=N takes a number");
            if (*n < 1 || size_t(*n) > docs.open.size())
                return CommandResult::Fail(verb + ": there is no document " + *d);
            g.image = docs.open[size_t(*n - 1)].get();
        } else {
            return CommandResult::Script(verb + ": '" + w + "' is not X,Y, a modifier or doc=N");
        }
    }
    if (g.points.size() < minPoints || g.points.size() > maxPoints)
        return CommandResult::Script(
            verb + (maxPoints == 1 ? " takes one point X,Y" : " takes at least two points"));
    if (!g.image) return CommandResult::Fail("no open document");
    return CommandResult::Ok();
}

// A refusal shown during the gesture fails the command. A question answered is the user's
// choice, not a refusal; warnings (the tools' own and the scratch store's) and the note that a
// result was cut to the largest image leave the work done.
CommandResult AfterGesture(BatchSession& s, size_t shownBefore) {
    for (size_t i = shownBefore; i < s.messages.Entries().size(); ++i) {
        const RecordingMessages::Entry& e = s.messages.Entries()[i];
        if (e.kind == RecordingMessages::Kind::Question) continue;
        if (e.text.rfind("Warning:", 0) != 0 && e.text != kWillBeCutMessage &&
            !IsStoreWarning(e.text))
            return CommandResult::Fail();
    }
    return CommandResult::Ok();
}

CommandResult Mouse(BatchSession& s, const std::string& verb, const Args& args) {
    Gesture g;
    const bool many = verb == "drag";
    if (CommandResult r = ParseGesture(s, verb, args, many ? 2 : 1, many ? 1u << 20 : 1, g);
        r.kind != CommandResult::Kind::Ok)
        return r;
    BatchTools& t = Tools(s);
    Prune(s, t);
    VirtualViewState& v = ViewOf(t, *g.image);
    ToolController& c = t.controller;
    const size_t shown = s.messages.Entries().size();
    auto event = [&](Point p, int button, int buttons) -> ViewMouse {
        return {p, button, buttons, g.modifiers};
    };
    const Point first = g.points.front(), last = g.points.back();
    if (verb == "press") {
        c.MouseDown(*v.view, event(first, kLeftButton, kLeftButton));
    } else if (verb == "move") {
        c.MouseMove(*v.view, event(first, 0, kLeftButton));
    } else if (verb == "release") {
        c.MouseUp(*v.view, event(first, kLeftButton, 0));
    } else if (verb == "click") {
        c.MouseDown(*v.view, event(first, kLeftButton, kLeftButton));
        Remember(v);
        ViewOf(t, *g.image);
        c.MouseUp(*v.view, event(first, kLeftButton, 0));
    } else if (verb == "dblclick") {
        c.DoubleClick(*v.view, event(first, kLeftButton, kLeftButton));
        c.MouseUp(*v.view, event(first, kLeftButton, 0));
    } else {  // drag
        c.MouseDown(*v.view, event(first, kLeftButton, kLeftButton));
        for (size_t i = 1; i < g.points.size(); ++i) {
            Remember(v);
            ViewOf(t, *g.image);
            c.MouseMove(*v.view, event(g.points[i], 0, kLeftButton));
        }
        Remember(v);
        ViewOf(t, *g.image);
        c.MouseUp(*v.view, event(last, kLeftButton, 0));
    }
    Remember(v);
    return AfterGesture(s, shown);
}

CommandResult RightClick(BatchSession& s, const Args& args) {
    Gesture g;
    if (CommandResult r = ParseGesture(s, "rclick", args, 1, 1, g);
        r.kind != CommandResult::Kind::Ok)
        return r;
    BatchTools& t = Tools(s);
    Prune(s, t);
    VirtualViewState& v = ViewOf(t, *g.image);
    const ContextChoice c = t.controller.ContextMenu(*v.view, g.points.front(), g.modifiers);
    if (c.kind == ContextChoice::BrushPopup)
        s.out << "menu: brush\n";
    else if (c.kind == ContextChoice::SubMenu)
        s.out << "menu: " << c.subMenu << "\n";
    return CommandResult::Ok();
}

std::optional<int> KeyCode(const std::string& name) {
    static const std::map<std::string, int> named = {
        {"Enter", kKeyReturn},
        {"Esc", kKeyEscape},
        {"Delete", kKeyDelete},
        {"Left", kKeyLeft},
        {"Right", kKeyRight},
        {"Up", kKeyUp},
        {"Down", kKeyDown},
        {"Space", kKeySpace},
        {"[", '['},
        {"]", ']'},
        {"{", '{'},
        {"}", '}'},
    };
    if (auto it = named.find(name); it != named.end()) return it->second;
    if (name.size() == 1 && std::isalpha(static_cast<unsigned char>(name[0])))
        return std::toupper(static_cast<unsigned char>(name[0]));
    if (name.size() == 1 && name[0] >= '1' && name[0] <= '5') return int(name[0]);
    return std::nullopt;
}

CommandResult Key(BatchSession& s, const std::string& verb, const Args& args) {
    if (args.empty()) return CommandResult::Script(verb + " takes a key name");
    const auto key = KeyCode(args[0]);
    if (!key) return CommandResult::Script(verb + ": unknown key '" + args[0] + "'");
    int modifiers = 0;
    for (size_t i = 1; i < args.size(); ++i) {
        const auto m = ParseModifier(args[i]);
        if (!m) return CommandResult::Script(verb + ": '" + args[i] + "' is not a modifier");
        modifiers |= *m;
    }
    BatchTools& t = Tools(s);
    Prune(s, t);
    Image* image = Documents(s).active;
    VirtualViewState* v = image ? &ViewOf(t, *image) : nullptr;
    const size_t shown = s.messages.Entries().size();
    auto send = [&](bool down) {
        if (v)
            t.controller.Key(*v->view, *key, down, modifiers);
        else
            t.controller.KeyWithoutView(*key, down, modifiers);
    };
    if (verb != "keyup") send(true);
    if (verb != "keydown") send(false);
    if (v) Remember(*v);
    return AfterGesture(s, shown);
}

CommandResult Tool(BatchSession& s, const Args& given) {
    if (given.empty()) return CommandResult::Script("tool takes a tool name");
    // A face name with blanks comes as font="Times New Roman".
    Args args(given.begin() + 1, given.end());
    if (!JoinQuotedOptions(args)) return CommandResult::Script("tool: unterminated quote");
    args.insert(args.begin(), given[0]);
    const ToolInfo* info = FindToolByName(args[0]);
    if (!info) return CommandResult::Script("tool: unknown tool '" + args[0] + "'");
    // Every value is checked for its form before anything changes.
    std::vector<std::pair<std::string, std::string>> values;
    ToolController& c = Tools(s).controller;
    for (size_t i = 1; i < args.size(); ++i) {
        const size_t eq = args[i].find('=');
        if (eq == std::string::npos || eq == 0)
            return CommandResult::Script("tool: '" + args[i] + "' is not KEY=VALUE");
        const std::string key = args[i].substr(0, eq);
        if (!c.Options().HasKey(info->id, key))
            return CommandResult::Script("tool " + args[0] + " has no option '" + key + "'");
        values.emplace_back(key, args[i].substr(eq + 1));
    }
    if (!c.SelectTool(info->id)) return CommandResult::Fail("tool: busy");
    for (const auto& [key, value] : values) {
        std::string why;
        switch (c.Options().Set(info->id, key, value, &why)) {
            case ToolOptions::SetResult::Ok:
                break;
            case ToolOptions::SetResult::Refused:
                return CommandResult::Fail();
            case ToolOptions::SetResult::Malformed:
                return CommandResult::Script("tool " + args[0] + ": " + why);
        }
    }
    return CommandResult::Ok();
}

CommandResult Color(BatchSession& s, const Args& args) {
    ColorPair& pair = Tools(s).controller.Colors();
    if (args.size() == 1 && args[0] == "swap") {
        pair.Swap();
    } else if (args.size() == 1 && args[0] == "reset") {
        pair.Reset();
    } else if (args.size() == 2 && (args[0] == "fg" || args[0] == "bg")) {
        const auto color = ParseColor(args[1]);
        if (!color) return CommandResult::Script("color: '" + args[1] + "' is not #RRGGBB");
        if (args[0] == "fg")
            pair.SetForeground(*color);
        else
            pair.SetBackground(*color);
    } else {
        return CommandResult::Script("color takes fg|bg #RRGGBB, swap or reset");
    }
    return CommandResult::Ok();
}

CommandResult View(BatchSession& s, const Args& args) {
    if (args.empty() || args[0] != "zoom" || (args.size() != 2 && args.size() != 5) ||
        (args.size() == 5 && args[2] != "scroll"))
        return CommandResult::Script("view takes zoom Z [scroll X Y]");
    const auto zoom = ParseNumber(args[1]);
    if (!zoom) return CommandResult::Script("view zoom: Z must be a number");
    // The view's own limits; a zoom the view would quietly change moves every later gesture.
    if (!(*zoom >= kMinZoom - 1e-6 && *zoom <= kMaxZoom + 1e-6))
        return CommandResult::Fail("view zoom: Z must lie in 0.05..8");
    std::optional<int> x = 0, y = 0;
    if (args.size() == 5) {
        x = ParseInt(args[3]);
        y = ParseInt(args[4]);
        if (!x || !y) return CommandResult::Script("view zoom: the scroll takes whole numbers");
        if (*x < 0 || *y < 0)
            return CommandResult::Fail("view zoom: the scroll cannot be negative");
    }
    Image* image = Documents(s).active;
    if (!image) return CommandResult::Fail("no open document");
    // As the program's view commands do: a gesture under way ends first (a polygon closes on
    // the vertices placed), so no point already placed moves with the view.
    image->EndToolInteraction();
    BatchTools& t = Tools(s);
    Prune(s, t);
    VirtualViewState& v = t.views[image];
    v.zoom = float(*zoom);
    v.scrollX = *x;
    v.scrollY = *y;
    Remember(ViewOf(t, *image));
    return CommandResult::Ok();
}

}  // namespace

BatchTools::~BatchTools() {
    if (workspace && workspace->Tools() == &controller) workspace->SetTools(nullptr);
}

void RecordHeldNudge(BatchSession& s) {
    if (s.state.count("tools")) Tools(s).controller.Nudge().Record();
}

bool ToolBusy(BatchSession& s) {
    return s.state.count("tools") && Tools(s).controller.IsBusy();
}

bool EndedToolWork(Image& image) {
    image.EndToolInteraction();
    return !image.History().Host().ToolBusy();
}

void ForgetDocument(BatchSession& s, Image& image) {
    if (!s.state.count("tools")) return;
    BatchTools& t = Tools(s);
    const auto it = t.views.find(&image);
    if (it == t.views.end()) return;
    t.controller.ViewClosing(*it->second.view);
    t.views.erase(it);
}

BatchTools& Tools(BatchSession& s) {
    BatchTools& t = s.State<BatchTools>("tools");
    if (!t.workspace) {
        t.workspace = &s.workspace;
        s.workspace.SetTools(&t.controller);
        t.controller.onStatus = [&t, &s](const std::string& text) {
            if (text == t.lastStatus) return;
            t.lastStatus = text;
            if (s.err) *s.err << "status: " << text << "\n";
        };
        t.controller.onActivateDocument = [&s](Image& image) { Documents(s).active = &image; };
        t.controller.activeView = [&s, &t]() -> ImageView* {
            Prune(s, t);
            Image* image = Documents(s).active;
            return image ? ViewOf(t, *image).view.get() : nullptr;
        };
    }
    return t;
}

CommandResult PrintToolInfo(BatchSession& s) {
    BatchTools& t = Tools(s);
    Prune(s, t);
    ToolController& c = t.controller;
    const ToolInfo* info = FindTool(c.CurrentTool());
    std::ostream& out = s.out;
    out << "tool " << c.CurrentTool() << " " << (info ? info->name : "transform")
        << " busy=" << (c.IsBusy() ? 1 : 0) << " fg=" << Hex(c.Colors().Foreground())
        << " bg=" << Hex(c.Colors().Background()) << "\n";
    out << "options";
    // As `tool` takes them back: a value with blanks (a face name) in quotes.
    for (const std::string& key : c.Options().Keys(c.CurrentTool())) {
        const std::string value = c.Options().Get(c.CurrentTool(), key);
        out << " " << key << "="
            << (value.find(' ') == std::string::npos ? value : '"' + value + '"');
    }
    out << "\n";
    float zoom = 1.0f;
    int32_t sx = 0, sy = 0;
    if (Image* image = Documents(s).active) {
        const VirtualViewState& v = ViewOf(t, *image);
        zoom = v.zoom;
        sx = v.scrollX;
        sy = v.scrollY;
    }
    char text[96];
    std::snprintf(text, sizeof text, "view zoom=%.2f scroll=%d,%d\n", double(zoom), sx, sy);
    out << text;
    Image* active = Documents(s).active;
    if (c.CurrentTool() == kToolMeasure && active) {
        if (const auto readouts = c.Measure()->Readouts(*active)) {
            out << "measure";
            for (const std::string& text : *readouts) out << " \"" << text << "\"";
            out << "\n";
        }
    }
    if (c.CurrentTool() == kToolCurve && active) {
        const LayerPtr layer = active->Layers().CurrentLayer();
        if (layer && layer->Kind() == LayerKind::Curve) {
            out << "curve anchors=" << layer->Anchors().size()
                << " closed=" << (layer->IsClosed() ? 1 : 0) << "\n";
            for (const CurveAnchor& a : layer->Anchors())
                out << "anchor " << a.in.x << "," << a.in.y << " " << a.point.x << "," << a.point.y
                    << " " << a.out.x << "," << a.out.y << " mode=" << a.mode << "\n";
        }
    }
    if (c.CurrentTool() == kToolCrop) {
        if (const auto frame = c.CropFrame()->Frame())
            out << "frame " << frame->left << " " << frame->top << " " << frame->right << " "
                << frame->bottom << "\n";
        CropPresetList& presets = c.CropPresets();
        out << "presets " << presets.Presets().size() << "\n";
        for (size_t i = 0; i < presets.Presets().size(); ++i)
            out << "preset \"" << CropPresetText(presets.Presets()[i]) << "\""
                << (int(i) == presets.Selected() ? " selected" : "") << "\n";
    }
    if (const TextSessionInfo* text = c.TextSession(); text && text->EditImage()) {
        const Point o = text->Origin();
        out << "edit " << (text->EditsExisting() ? "existing " : "new ") << o.x << "," << o.y
            << " \"" << ScriptText(text->Text()) << "\"\n";
    }
    if (const FrameCorners* frame = PendingFreeTransform(c)) {
        out << "frame";
        for (const PointD& p : *frame) {
            std::snprintf(text, sizeof text, " %.2f,%.2f", p.x, p.y);
            out << text;
        }
        out << "\n";
    }
    return CommandResult::Ok();
}

// The measure bar's "Clear".
CommandResult Measure(BatchSession& s, const Args& args) {
    if (args.size() != 1 || args[0] != "clear") return CommandResult::Script("measure takes clear");
    Image* image = Documents(s).active;
    if (!image) return CommandResult::Fail("no open document");
    Tools(s).controller.Measure()->Clear(*image);
    return CommandResult::Ok();
}

// The crop bar's "+", "-" and a choice in its combo.
CommandResult CropPreset(BatchSession& s, const Args& args) {
    ToolController& c = Tools(s).controller;
    CropPresetList& presets = c.CropPresets();
    if (args.size() == 1 && args[0] == "add")
        return CommandResult::From(presets.Add(CropSettingsOf(c.Options())));
    if (args.size() == 1 && args[0] == "delete") {
        if (!presets.DeleteSelected()) return CommandResult::Fail("crop-preset: nothing selected");
        return CommandResult::Ok();
    }
    if (args.size() == 2 && args[0] == "choose") {
        const auto n = ParseInt(args[1]);
        if (!n) return CommandResult::Script("crop-preset choose takes an entry number");
        if (!presets.Choose(*n - 1, c.Options()))
            return CommandResult::Fail("crop-preset: there is no entry " + args[1]);
        return CommandResult::Ok();
    }
    return CommandResult::Script("crop-preset takes add, delete or choose N");
}

// `type "TEXT"`: characters into the open text edit, `\n` a line break as Enter types it.
CommandResult TypeText(BatchSession& s, const Args& args) {
    if (args.size() != 1) return CommandResult::Script("type takes one \"TEXT\"");
    TextSessionInfo* text = Tools(s).controller.TextSession();
    if (!text->EditImage()) return CommandResult::Fail("type: no text is being edited");
    std::string typed;
    for (size_t i = 0; i < args[0].size(); ++i) {
        if (args[0][i] == '\\' && i + 1 < args[0].size() && args[0][i + 1] == 'n') {
            typed += "\r\n";
            ++i;
        } else {
            typed += args[0][i];
        }
    }
    if (!text->Type(typed)) return CommandResult::Fail(std::string("type: ") + kTextTooLongMessage);
    return CommandResult::Ok();
}

// The text bar's buttons.
CommandResult TextButtonVerb(BatchSession& s, const Args& args) {
    static const std::map<std::string, TextButton> buttons = {
        {"direction", TextButton::Direction},
        {"edit-current", TextButton::EditCurrent},
        {"commit", TextButton::Commit},
        {"cancel", TextButton::Cancel},
    };
    const auto it = args.size() == 1 ? buttons.find(args[0]) : buttons.end();
    if (it == buttons.end())
        return CommandResult::Script("text-button takes direction, edit-current, commit or cancel");
    BatchTools& t = Tools(s);
    Prune(s, t);
    if (!Documents(s).active) return CommandResult::Fail("no open document");
    const size_t shown = s.messages.Entries().size();
    if (!t.controller.PressTextButton(it->second))
        return CommandResult::Fail("text-button: " + args[0] + " did nothing here");
    return AfterGesture(s, shown);
}

CommandResult FreeTransformVerb(BatchSession& s, const Args& args) {
    static const std::map<std::string, FrameButton> buttons = {
        {"90", FrameButton::Turn90},         {"-90", FrameButton::TurnMinus90},
        {"180", FrameButton::Turn180},       {"horizontal", FrameButton::Horizontal},
        {"vertical", FrameButton::Vertical},
    };
    const bool button = args[0] == "free-button";
    if ((!button && args.size() != 1) || (button && args.size() != 2))
        return CommandResult::Script(
            "transform takes free, or free-button 90|-90|180|horizontal|vertical|commit|cancel");
    if (button && args[1] != "commit" && args[1] != "cancel" && !buttons.count(args[1]))
        return CommandResult::Script("transform free-button: unknown button '" + args[1] + "'");
    BatchTools& t = Tools(s);
    Prune(s, t);
    Image* image = Documents(s).active;
    if (!image) return CommandResult::Fail("no open document");
    const size_t shown = s.messages.Entries().size();
    if (!button) {
        VirtualViewState& v = ViewOf(t, *image);
        if (t.controller.IsBusy()) return CommandResult::Fail("transform: busy");
        if (!EnterFreeTransform(t.controller, *v.view)) {
            if (s.messages.Entries().size() > shown) return CommandResult::Fail();
            return CommandResult::Fail("transform: nothing to transform on this layer");
        }
        return CommandResult::Ok();
    }
    bool done;
    if (args[1] == "commit" || args[1] == "cancel")
        done = EndFreeTransform(t.controller, args[1] == "commit");
    else
        done = FreeTransformButton(t.controller, buttons.at(args[1]));
    if (!done) return CommandResult::Fail("transform free-button: no free transform is pending");
    return AfterGesture(s, shown);
}

void RegisterToolCommands(BatchRunner& runner) {
    runner.Register("tool", Tool);
    runner.Register("color", Color);
    runner.Register("view", View);
    for (const char* verb : {"press", "move", "release", "click", "dblclick", "drag"}) {
        const std::string name = verb;
        runner.Register(name,
                        [name](BatchSession& s, const Args& args) { return Mouse(s, name, args); });
    }
    runner.Register("rclick", RightClick);
    runner.Register("crop-preset", CropPreset, OneOf({"add", "delete", "choose"}));
    runner.Register("measure", Measure);
    runner.Register("type", TypeText);
    runner.Register("text-button", TextButtonVerb);
    for (const char* verb : {"key", "keydown", "keyup"}) {
        const std::string name = verb;
        runner.Register(name,
                        [name](BatchSession& s, const Args& args) { return Key(s, name, args); });
    }
}

}  // namespace zelvo
