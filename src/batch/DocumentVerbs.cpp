// Document commands: new, open, save, close, activate and info.
#include "batch/DocumentVerbs.h"

#include <algorithm>
#include <ostream>

#include "batch/BatchRunner.h"
#include "batch/Script.h"
#include "batch/ToolVerbs.h"
#include "files/RasterFile.h"
#include "files/SaveOptions.h"
#include "history/HistoryCommands.h"
#include "workspace/Workspace.h"

namespace zelvo {

namespace {

using Args = std::vector<std::string>;

// The open document whose file `path` names, as the desktop program's FindDocument finds it.
Image* OpenDocumentOf(const BatchDocuments& docs, const std::string& path) {
    for (const auto& open : docs.open)
        if (NamesSameFile(open->Path(), path)) return open.get();
    return nullptr;
}

CommandResult NoDocument() {
    return CommandResult::Fail("no open document");
}

CommandResult New(BatchSession& s, const Args& args) {
    if (args.size() < 2 || args.size() > 5)
        return CommandResult::Script("new takes W H [px|cm|in [RES [ppi|ppcm]]]");
    auto w = ParseNumber(args[0]), h = ParseNumber(args[1]);
    if (!w || !h) return CommandResult::Script("new: W and H must be numbers");
    SizeUnit unit = SizeUnit::Pixel;
    double res = 72;
    ResolutionUnit resUnit = ResolutionUnit::PerInch;
    if (args.size() > 2) {
        if (args[2] == "px")
            unit = SizeUnit::Pixel;
        else if (args[2] == "cm")
            unit = SizeUnit::Centimeter;
        else if (args[2] == "in")
            unit = SizeUnit::Inch;
        else
            return CommandResult::Script("new: the unit is px, cm or in");
    }
    if (args.size() > 3) {
        auto r = ParseNumber(args[3]);
        if (!r) return CommandResult::Script("new: RES must be a number");
        res = *r;
    }
    if (args.size() > 4) {
        if (args[4] == "ppi")
            resUnit = ResolutionUnit::PerInch;
        else if (args[4] == "ppcm")
            resUnit = ResolutionUnit::PerCentimeter;
        else
            return CommandResult::Script("new: the resolution unit is ppi or ppcm");
    }

    // As File > New: ignored while a tool has work open.
    if (ToolBusy(s)) return CommandResult::Fail("new: a tool is busy");
    NewImageDialogModel dialog(std::vector<SizePreset>{});
    dialog.SetUnit(unit);
    dialog.SetResolutionUnit(resUnit);
    if (!dialog.SetWidth(*w) || !dialog.SetHeight(*h))
        return CommandResult::Fail("new: the dialog takes a width and height from 0.1 below 10100");
    if (!dialog.SetResolution(res))
        return CommandResult::Fail("new: the dialog takes a resolution from 1 below 2000");
    auto size = dialog.Ok();
    if (!size) return CommandResult::Fail();

    auto image = std::make_unique<Image>(s.workspace);
    if (!image->NewImage(*size)) return CommandResult::Fail();
    BatchDocuments& docs = Documents(s);
    docs.active = image.get();
    docs.open.push_back(std::move(image));
    return CommandResult::Ok();
}

CommandResult Open(BatchSession& s, const Args& args) {
    if (args.size() != 1) return CommandResult::Script("open takes one PATH");
    if (ToolBusy(s)) return CommandResult::Fail("open: a tool is busy");
    BatchDocuments& docs = Documents(s);
    // As File > Open: a file already open becomes active instead of opening twice.
    if (Image* open = OpenDocumentOf(docs, args[0])) {
        docs.active = open;
        return CommandResult::Ok();
    }
    auto image = std::make_unique<Image>(s.workspace);
    if (!image->Open(args[0])) return CommandResult::Fail();
    docs.active = image.get();
    docs.open.push_back(std::move(image));
    return CommandResult::Ok();
}

CommandResult Save(BatchSession& s, const Args& args) {
    if (args.empty())
        return CommandResult::Script(
            "save takes PATH [quality=Q] [compression=none|lzw|jpeg|zip] [tiff-quality=Q]");
    std::optional<int> quality, tiffQuality;
    std::string compression;
    for (size_t i = 1; i < args.size(); ++i) {
        if (auto v = OptionValue(args[i], "quality")) {
            quality = ParseInt(*v);
            if (!quality) return CommandResult::Script("save: quality=Q takes a whole number");
        } else if (auto c = OptionValue(args[i], "compression")) {
            if (*c != "none" && *c != "lzw" && *c != "jpeg" && *c != "zip")
                return CommandResult::Script("save: compression is none, lzw, jpeg or zip");
            compression = *c;
        } else if (auto t = OptionValue(args[i], "tiff-quality")) {
            tiffQuality = ParseInt(*t);
            if (!tiffQuality)
                return CommandResult::Script("save: tiff-quality=Q takes a whole number");
        } else {
            return CommandResult::Script("save: unknown option '" + args[i] + "'");
        }
    }
    BatchDocuments& docs = Documents(s);
    if (!docs.active) return NoDocument();
    if (Image* open = OpenDocumentOf(docs, args[0]); open && open != docs.active) {
        AppMessages().Show(OpenElsewhereMessage(args[0]));
        return CommandResult::Fail();
    }

    // The options dialogs run as the GUI runs them, with the script's values typed in.
    std::string refused;
    SaveOptionDialogs dialogs;
    dialogs.jpeg = [&](SaveOptions& options) {
        JpegOptionsModel dialog;
        if (quality && !dialog.Controls().TypeText(std::to_string(*quality))) {
            refused = "save: the JPEG Options dialog takes a quality of 1..12";
            return false;
        }
        dialog.Ok();
        options.jpegQuality = dialog.Quality();
        return true;
    };
    dialogs.tiff = [&](SaveOptions& options) {
        TiffOptionsModel dialog;
        if (compression == "lzw")
            dialog.ChooseLzw();
        else if (compression == "jpeg")
            dialog.ChooseJpeg();
        else if (compression == "zip")
            dialog.ChooseZip();
        if (tiffQuality && !dialog.Controls().TypeText(std::to_string(*tiffQuality))) {
            refused = "save: the TIFF Options dialog takes a quality of 1..12";
            return false;
        }
        options.tiffCompression = dialog.Compression();
        options.tiffQuality = dialog.Quality();
        return true;
    };
    if (!Image::CheckSavePath(args[0])) return CommandResult::Fail();
    const std::optional<SaveOptions> options = ChooseSaveOptions(args[0], dialogs);
    if (!options) return CommandResult::Fail(refused);
    return CommandResult::From(docs.active->Save(args[0], *options));
}

CommandResult Close(BatchSession& s, const Args& args) {
    if (!args.empty()) return CommandResult::Script("close takes no arguments");
    BatchDocuments& docs = Documents(s);
    if (!docs.active) return NoDocument();
    // Text still being typed is committed first, so the question below covers it.
    docs.active->EndToolInteraction();
    // An unanswered save question is answered No here: a script saves explicitly.
    if (docs.active->IsModified() && s.messages.PendingAnswers() == 0)
        s.messages.QueueAnswer(Answer::No);
    SaveOptions options;
    options.jpegQuality = AppJpegQuality();
    const size_t shownBefore = s.messages.Entries().size();
    bool closed = AskAndClose(*docs.active, options, [](Image&) {
        AppMessages().Show("Save As needs a file name: save the document with `save PATH` first.");
        return false;
    });
    if (!closed) {
        // A failed save has said why; a Cancel has only asked.
        const auto& shown = s.messages.Entries();
        const bool said =
            std::any_of(shown.begin() + ptrdiff_t(std::min(shownBefore, shown.size())), shown.end(),
                        [](const RecordingMessages::Entry& e) {
                            return e.kind == RecordingMessages::Kind::Message;
                        });
        return said ? CommandResult::Fail()
                    : CommandResult::Fail("close: cancelled; the document stays open");
    }
    ForgetDocument(s, *docs.active);
    for (auto it = docs.open.begin(); it != docs.open.end(); ++it) {
        if (it->get() == docs.active) {
            docs.open.erase(it);
            break;
        }
    }
    docs.active = docs.open.empty() ? nullptr : docs.open.back().get();
    if (docs.open.empty()) s.workspace.ResetStore();
    return CommandResult::Ok();
}

CommandResult Activate(BatchSession& s, const Args& args) {
    if (args.size() != 1) return CommandResult::Script("activate takes N");
    auto n = ParseInt(args[0]);
    if (!n) return CommandResult::Script("activate: N must be a whole number");
    BatchDocuments& docs = Documents(s);
    if (*n < 1 || *n > int(docs.open.size()))
        return CommandResult::Fail("activate: there is no document " + args[0]);
    docs.active = docs.open[size_t(*n - 1)].get();
    return CommandResult::Ok();
}

CommandResult Info(BatchSession& s, const Args& args) {
    if (args.size() == 1 && args[0] == "tool") return PrintToolInfo(s);
    if (!args.empty()) return CommandResult::Script("info takes no arguments or tool");
    BatchDocuments& docs = Documents(s);
    if (!docs.active) return NoDocument();
    Image& img = *docs.active;
    std::ostream& out = s.out;
    out << "document " << img.Width() << " " << img.Height() << " " << img.Resolution()
        << " modified=" << (img.IsModified() ? 1 : 0) << "\n";
    static const char* kKinds[] = {"null", "pixel", "text", "curve"};
    const auto& layers = img.Layers().Layers();
    for (size_t i = 0; i < layers.size(); ++i) {
        const Layer& l = *layers[i];
        out << "layer " << i + 1 << " " << kKinds[int(l.Kind()) & 3] << " " << l.Position().x << " "
            << l.Position().y << " " << l.Width() << " " << l.Height() << " opacity=" << l.Opacity()
            << " visible=" << (l.IsVisible() ? 1 : 0) << " current=" << (l.IsCurrent() ? 1 : 0)
            << " linked=" << l.LinkCount() << "\n";
    }
    Rect sel = img.Layers().SelectionBounds();
    if (img.Layers().Selection() && !sel.IsEmpty())
        out << "selection " << sel.left << " " << sel.top << " " << sel.right << " " << sel.bottom
            << "\n";
    else
        out << "selection none\n";
    HistoryManager& h = img.History();
    const int shown = HistoryPalette::ShownRow(h);
    for (int row = 0; row < HistoryPalette::RowCount(h); ++row) {
        out << "history " << row << " \"" << HistoryPalette::RowText(h, row) << "\""
            << (row == shown ? " shown" : "") << "\n";
    }
    return CommandResult::Ok();
}

}  // namespace

BatchDocuments& Documents(BatchSession& s) {
    return s.State<BatchDocuments>("documents");
}

void RegisterDocumentCommands(BatchRunner& runner) {
    runner.Register("new", New);
    runner.Register("open", Open);
    runner.Register("save", Save);
    runner.Register("close", Close);
    runner.Register("activate", Activate);
    runner.Register("info", Info);
}

}  // namespace zelvo
