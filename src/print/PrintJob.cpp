#include "print/PrintJob.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "doc/Image.h"
#include "files/RasterImage.h"
#include "platform/Feedback.h"
#include "platform/Messages.h"
#include "print/PrintPreviewModel.h"
#include "print/PrintUnits.h"

namespace zelvo {

bool PreparePrintComposite(Image& image, RasterImage& out) {
    WaitCursor wait;
    if (!out.Allocate(image.Width(), image.Height(), 24, RowOrder::TopDown)) {
        AppMessages().Show("Not enough memory to print the image.");
        return false;
    }
    // The PNG format number asks for the top row first, matching the buffer's label.
    if (!image.Layers().RenderFlat(out.Data(), out.Stride(), 24, kFormatPng, 0)) {
        out.Clear();
        return false;
    }
    return true;
}

namespace {

// The picture as the device gets it: whole when it lies on the sheet, else only the pixels that
// reach the sheet, placed where they fall. A picture printed many times the sheet's size would
// otherwise go to the device whole, stretched past what PDF viewers and printers will draw.
void DrawOnSheet(const RasterImage& picture, const PrintPreviewModel& model,
                 PrintSurface& surface) {
    const PrintPage page = surface.Page();
    const Rect whole = model.Destination(page);
    const int32_t w = picture.Width(), h = picture.Height();
    if (whole.left >= 0 && whole.top >= 0 && whole.right <= page.widthPx &&
        whole.bottom <= page.heightPx) {
        surface.Draw(picture, whole);
        return;
    }
    const auto [l, t, r, b] = model.ExactDestination(page);
    if (w <= 0 || h <= 0 || r <= l || b <= t) return;
    const double sx = (r - l) / w, sy = (b - t) / h;
    const auto first = [](double from, double step, int32_t n) {
        return int32_t(std::clamp(std::floor(from / step), 0.0, double(n)));
    };
    const auto last = [](double to, double step, int32_t n) {
        return int32_t(std::clamp(std::ceil(to / step), 0.0, double(n)));
    };
    const int32_t c0 = first(-l, sx, w), c1 = last(page.widthPx - l, sx, w);
    const int32_t r0 = first(-t, sy, h), r1 = last(page.heightPx - t, sy, h);
    if (c1 <= c0 || r1 <= r0) return;  // nothing of it reaches the sheet
    RasterImage part;
    if (!part.Allocate(c1 - c0, r1 - r0, 24, RowOrder::TopDown)) return;
    for (int32_t y = r0; y < r1; ++y)
        std::memcpy(part.TopRow(y - r0), picture.TopRow(y) + 3 * size_t(c0), 3 * size_t(c1 - c0));
    surface.Draw(part, {Truncate(l + c0 * sx), Truncate(t + r0 * sy), Truncate(l + c1 * sx),
                        Truncate(t + r1 * sy)});
}

}  // namespace

PrintOutcome RunPrint(Image& image, const PrintPreviewModel& model, PrintSurface& surface) {
    if (AppMessages().Ask("Whether the print?", Buttons::OkCancel) != Answer::Ok)
        return PrintOutcome::Cancelled;
    // Held in whole millimetres, a picture less than one across or down would print nothing.
    if (model.WidthMm() <= 0 || model.HeightMm() <= 0) {
        AppMessages().Show(kPrintsNothing);
        return PrintOutcome::Failed;
    }
    if (!surface.Prepare()) return PrintOutcome::Cancelled;
    RasterImage picture;
    if (!PreparePrintComposite(image, picture)) return PrintOutcome::Failed;
    WaitCursor wait;
    if (!surface.Begin(kPrintJobTitle)) {
        AppMessages().Show(surface.FailureText());
        return PrintOutcome::Failed;
    }
    DrawOnSheet(picture, model, surface);
    if (!surface.End()) {
        AppMessages().Show(surface.FailureText());
        return PrintOutcome::Failed;
    }
    return PrintOutcome::Printed;
}

}  // namespace zelvo
