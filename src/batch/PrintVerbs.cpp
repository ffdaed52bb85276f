// `print preview …` and `print PATH.pdf`: the Print Preview dialog's model on the printer's
// page, and its Print into a PDF file of the page's sheet.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "batch/BatchRunner.h"
#include "batch/DocumentVerbs.h"
#include "batch/Script.h"
#include "files/RasterImage.h"
#include "platform/Messages.h"
#include "platform/PdfPageWriter.h"
#include "print/PrintJob.h"
#include "print/PrintPreviewModel.h"

namespace zelvo {

namespace {

using Args = std::vector<std::string>;

// The printer of a run: the sheet Page Setup chose and the last preview's settings.
struct BatchPrintState {
    Paper paper = Paper::A4;
    Orientation orientation = Orientation::Portrait;
    std::unique_ptr<PrintPreviewModel> model;
    // The document the model was made for (its number, which no other document of the run
    // takes), and its size and resolution then: a preview of a picture resized since would
    // stretch the new picture into the old one's shape.
    int32_t modelNumber = 0, modelWidth = 0, modelHeight = 0, modelResolution = 0;
};

// zelvo-batch has no printer service of its own: its printer is the built-in PDF printer.
PrintPage BatchPrinterPage(const BatchPrintState& state) {
    return PdfPrinterPage(state.paper, state.orientation);
}

// Print into a PDF file whose page is the sheet, at the PDF printer's resolution.
class PdfSurface : public PrintSurface {
public:
    PdfSurface(const std::string& path, Paper paper, Orientation orientation)
        : m_path(path), m_page(PdfPrinterPage(paper, orientation)) {
        double w = 0, h = 0;
        PaperSizeMm(paper, w, h);
        if (orientation == Orientation::Landscape) std::swap(w, h);
        m_writer = std::make_unique<PdfPageWriter>(path, w, h, kPdfPrinterDpi);
    }
    PrintPage Page() const override { return m_page; }
    bool Begin(const std::string& title) override { return m_writer->Begin(title); }
    void Draw(const RasterImage& picture, const Rect& d) override {
        m_writer->DrawBgr(picture.TopRow(0), picture.Width(), picture.Height(), picture.Stride(),
                          d.left, d.top, d.right, d.bottom);
    }
    bool End() override { return m_writer->End(); }
    std::string FailureText() const override { return "The file could not be written: " + m_path; }

private:
    std::string m_path;
    PrintPage m_page;
    std::unique_ptr<PdfPageWriter> m_writer;
};

// The dialog's keys in the order their fields are set.
const char* const kKeyOrder[] = {"page",  "orientation", "unit",   "center", "fit", "box",
                                 "scale", "width",       "height", "left",   "top"};

CommandResult TypeInto(PrintPreviewModel& model, PrintField field, const std::string& key,
                       const std::string& value) {
    if (!ParseNumber(value)) return CommandResult::Script("print preview: " + key + " is a number");
    model.SetFocus(field);
    model.Edit(field, value);  // a value the box ignores leaves the field as it was
    model.SetFocus(PrintField::None);
    return CommandResult::Ok();
}

std::optional<bool> Flag(const std::string& value) {
    if (value == "0") return false;
    if (value == "1") return true;
    return std::nullopt;
}

CommandResult Preview(BatchSession& s, const Args& args) {
    BatchPrintState& state = s.State<BatchPrintState>("print");
    std::map<std::string, std::string> values;
    for (size_t i = 1; i < args.size(); ++i) {
        const size_t eq = args[i].find('=');
        const std::string key = args[i].substr(0, eq);
        const bool known = key == "printer" || std::find(std::begin(kKeyOrder), std::end(kKeyOrder),
                                                         key) != std::end(kKeyOrder);
        if (eq == std::string::npos || !known)
            return CommandResult::Script("print preview: unknown option '" + args[i] + "'");
        values[key] = args[i].substr(eq + 1);
    }
    // Every value is checked before anything changes.
    if (values.count("printer") && values["printer"] != "pdf")
        return CommandResult::Script("print preview: printer is pdf");
    std::optional<Paper> paper;
    if (values.count("page") && !(paper = PaperFromName(values["page"])))
        return CommandResult::Script("print preview: page is A4, A3 or Letter");
    const std::string orientation = values.count("orientation") ? values["orientation"] : "";
    if (!orientation.empty() && orientation != "portrait" && orientation != "landscape")
        return CommandResult::Script("print preview: orientation is portrait or landscape");
    const std::string unit = values.count("unit") ? values["unit"] : "";
    if (!unit.empty() && unit != "cm" && unit != "in")
        return CommandResult::Script("print preview: unit is cm or in");
    for (const char* key : {"center", "fit", "box"})
        if (values.count(key) && !Flag(values[key]))
            return CommandResult::Script(std::string("print preview: ") + key + " is 0 or 1");
    for (const char* key : {"scale", "width", "height", "left", "top"})
        if (values.count(key) && !ParseNumber(values[key]))
            return CommandResult::Script(std::string("print preview: ") + key + " is a number");

    Image* img = Documents(s).active;
    if (!img) return CommandResult::Fail("no open document");
    img->EndToolInteraction();  // a stroke under way lands first, as before a menu command
    // Each preview starts from the dialog's defaults on the printer's page.
    const PrintPage page = BatchPrinterPage(state);
    if (!page.IsReadable()) {
        AppMessages().Show("Can not Print Preview!");
        return CommandResult::Fail();
    }
    auto model =
        std::make_unique<PrintPreviewModel>(img->Width(), img->Height(), img->Resolution(), page);
    if (paper || !orientation.empty()) {  // Page Setup
        if (paper) state.paper = *paper;
        if (!orientation.empty())
            state.orientation =
                orientation == "landscape" ? Orientation::Landscape : Orientation::Portrait;
        const PrintPage chosen = BatchPrinterPage(state);
        if (!chosen.IsReadable()) {
            AppMessages().Show("Can not Print Preview!");
            return CommandResult::Fail();
        }
        model->SetPage(chosen);
    }
    if (!unit.empty()) {
        const PrintUnit u = unit == "in" ? PrintUnit::Inch : PrintUnit::Centimeter;
        model->SetPositionUnit(u);
        model->SetSizeUnit(u);
    }
    if (values.count("center") && model->CenterEnabled()) model->SetCenter(*Flag(values["center"]));
    if (values.count("fit")) model->SetFit(*Flag(values["fit"]));
    if (values.count("box")) model->SetBoundingBox(*Flag(values["box"]));
    const std::pair<const char*, PrintField> boxes[] = {{"scale", PrintField::Scale},
                                                        {"width", PrintField::Width},
                                                        {"height", PrintField::Height},
                                                        {"left", PrintField::Left},
                                                        {"top", PrintField::Top}};
    for (const auto& [key, field] : boxes)
        if (values.count(key)) {
            CommandResult typed = TypeInto(*model, field, key, values[key]);
            if (typed.kind != CommandResult::Kind::Ok) return typed;
        }

    char line[256];
    std::snprintf(line, sizeof line,
                  "preview scale=%.6g left=%d top=%d width=%d height=%d page=%d,%d",
                  double(model->Scale()), model->Left(), model->Top(), model->WidthMm(),
                  model->HeightMm(), model->Page().sheetWidthMm, model->Page().sheetHeightMm);
    s.out << line << "\n";
    state.model = std::move(model);
    state.modelNumber = img->UntitledNumber();
    state.modelWidth = img->Width();
    state.modelHeight = img->Height();
    state.modelResolution = img->Resolution();
    return CommandResult::Ok();
}

bool EndsWithPdf(const std::string& path) {
    if (path.size() < 5) return false;
    std::string ext = path.substr(path.size() - 4);
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".pdf";
}

CommandResult PrintToPdf(BatchSession& s, const std::string& path) {
    BatchPrintState& state = s.State<BatchPrintState>("print");
    Image* img = Documents(s).active;
    if (!img) return CommandResult::Fail("no open document");
    img->EndToolInteraction();  // a stroke under way lands first, as before a menu command
    // The last preview's settings when they were made for this document as it is now.
    const PrintPreviewModel* last = state.model.get();
    const bool reuse = last && state.modelNumber == img->UntitledNumber() &&
                       state.modelWidth == img->Width() && state.modelHeight == img->Height() &&
                       state.modelResolution == img->Resolution();
    PrintPreviewModel defaults(img->Width(), img->Height(), img->Resolution(),
                               BatchPrinterPage(state));
    if (!defaults.Page().IsReadable()) {
        AppMessages().Show("Can not Print Preview!");
        return CommandResult::Fail();
    }
    // Without a preview, as the program's Print does: a picture larger than the page fits it.
    if (!reuse) defaults.FitWhenLargerThanPage();
    const PrintPreviewModel& model = reuse ? *last : defaults;
    PdfSurface surface(path, state.paper, state.orientation);
    return CommandResult::From(RunPrint(*img, model, surface) != PrintOutcome::Failed);
}

CommandResult PrintCommand(BatchSession& s, const Args& args) {
    if (!args.empty() && args[0] == "preview") return Preview(s, args);
    if (args.size() == 1 && EndsWithPdf(args[0])) return PrintToPdf(s, args[0]);
    return CommandResult::Script("print takes preview [KEY=VALUE ...] or PATH.pdf");
}

}  // namespace

void RegisterPrintCommands(BatchRunner& runner) {
    runner.Register("print", PrintCommand);
}

}  // namespace zelvo
