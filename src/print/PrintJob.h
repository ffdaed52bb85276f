// Print of the Print Preview dialog: the question, the document's flattened picture and one
// page drawn at the model's rectangle. The surface is the GUI's printer or zelvo-batch's PDF.
#pragma once

#include <string>

#include "core/Types.h"
#include "print/PrintPage.h"

namespace zelvo {

class Image;
class PrintPreviewModel;
class RasterImage;

// One page of one print job on a device.
class PrintSurface {
public:
    virtual ~PrintSurface() = default;
    // The page the device draws on (device pixels and millimetres).
    virtual PrintPage Page() const = 0;
    // What the device needs from the user once the print is confirmed (a file name); false
    // when the user gave it up, which cancels the print.
    virtual bool Prepare() { return true; }
    // Starts the job (named `title`) and its page; false when the device cannot be had.
    virtual bool Begin(const std::string& title) = 0;
    // `picture` is 24-bit B, G, R, top row first, stretched into `dest` (device pixels).
    virtual void Draw(const RasterImage& picture, const Rect& dest) = 0;
    // Ends the page and the job; false when the output could not be completed.
    virtual bool End() = 0;
    // What the user is told when Begin or End failed.
    virtual std::string FailureText() const { return "The printer could not be opened."; }
};

enum class PrintOutcome { Printed, Cancelled, Failed };

// What Print says of a picture that would cover less than a millimetre of paper.
constexpr const char* kPrintsNothing =
    "At this size the picture is less than a millimetre on paper: there is nothing to print.";

// The application's title, the print job's name.
constexpr const char* kPrintJobTitle = "Zelvo";

// The document's flattened picture at full size for printing: 24 bits, top row first. False
// (after a message) when the memory cannot be had.
bool PreparePrintComposite(Image& image, RasterImage& out);

// Asks "Whether the print?" (OK/Cancel) and lets the surface prepare; then prints one page with the
// picture at the model's rectangle for the surface's page. A device that cannot be had is Failed
// with a message.
PrintOutcome RunPrint(Image& image, const PrintPreviewModel& model, PrintSurface& surface);

}  // namespace zelvo
