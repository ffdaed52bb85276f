#include "print/PrintJob.h"

#include "doc/Image.h"
#include "files/RasterImage.h"
#include "platform/Feedback.h"
#include "platform/Messages.h"
#include "print/PrintPreviewModel.h"

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

PrintOutcome RunPrint(Image& image, const PrintPreviewModel& model, PrintSurface& surface) {
    if (AppMessages().Ask("Whether the print?", Buttons::OkCancel) != Answer::Ok)
        return PrintOutcome::Cancelled;
    if (!surface.Prepare()) return PrintOutcome::Cancelled;
    RasterImage picture;
    if (!PreparePrintComposite(image, picture)) return PrintOutcome::Failed;
    WaitCursor wait;
    const Rect dest = model.Destination(surface.Page());
    if (!surface.Begin(kPrintJobTitle)) {
        AppMessages().Show(surface.FailureText());
        return PrintOutcome::Failed;
    }
    surface.Draw(picture, dest);
    if (!surface.End()) {
        AppMessages().Show(surface.FailureText());
        return PrintOutcome::Failed;
    }
    return PrintOutcome::Printed;
}

}  // namespace zelvo
