// The Qt part of the platform layer (fonts, text and path rasterising, PDF pages) lives in a
// module of its own that is loaded on first use: a zelvo-batch run that draws no text, curve or
// print loads none of Qt and its forty libraries, which cost more than the rest of its start.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/MaskPainter.h"

namespace zelvo {

class MaskPainterBackend {
public:
    virtual ~MaskPainterBackend() = default;
    virtual int32_t AddText(const MaskText& text) = 0;
    virtual void AddBezierFill(const std::vector<MaskPoint>& points, MaskFill rule) = 0;
    virtual void AddBezierStroke(const std::vector<MaskPoint>& points, int32_t penWidth) = 0;
    virtual bool Paint(const std::function<bool(int32_t y, const uint8_t* bits)>& row) = 0;
};

class PdfPageBackend {
public:
    virtual ~PdfPageBackend() = default;
    virtual bool Begin(const std::string& title) = 0;
    virtual void DrawBgr(const uint8_t* rows, int32_t width, int32_t height, size_t stride,
                         int32_t left, int32_t top, int32_t right, int32_t bottom) = 0;
    virtual bool End() = 0;
};

// What the module offers; the meaning of each call is that of the function of the same name in
// MaskPainter.h and PdfPageWriter.h.
class QtServices {
public:
    virtual ~QtServices() = default;
    virtual bool EnsureGuiApplication() = 0;
    virtual std::vector<std::string> SystemFontFamilies() = 0;
    virtual int32_t LineHeight(const std::string& face, int32_t size) = 0;
    virtual int32_t EmSize(const std::string& face, int32_t size) = 0;
    virtual std::unique_ptr<MaskPainterBackend> NewMaskPainter(int32_t width, int32_t height) = 0;
    virtual std::unique_ptr<PdfPageBackend> NewPdfPage(const std::string& path, double widthMm,
                                                       double heightMm, int dpi) = 0;
};

// The module's services, loaded by the first call (from any thread); null when the module
// cannot be loaded, which has then been said once on standard error.
QtServices* LoadedQtServices();

// The module's one entry point.
using QtServicesEntry = QtServices* (*)();
inline constexpr const char* kQtServicesEntry = "zelvo_qt_services";

// Inside the module.
namespace qt {

bool EnsureGuiApplication();
std::vector<std::string> SystemFontFamilies();

class QtMaskPainter final : public MaskPainterBackend {
public:
    QtMaskPainter(int32_t width, int32_t height);
    ~QtMaskPainter() override;
    int32_t AddText(const MaskText& text) override;
    void AddBezierFill(const std::vector<MaskPoint>& points, MaskFill rule) override;
    void AddBezierStroke(const std::vector<MaskPoint>& points, int32_t penWidth) override;
    bool Paint(const std::function<bool(int32_t y, const uint8_t* bits)>& row) override;
    static int32_t LineHeight(const std::string& face, int32_t size);
    static int32_t EmSize(const std::string& face, int32_t size);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

class QtPdfPage final : public PdfPageBackend {
public:
    QtPdfPage(const std::string& path, double sheetWidthMm, double sheetHeightMm, int dpi);
    ~QtPdfPage() override;
    bool Begin(const std::string& title) override;
    void DrawBgr(const uint8_t* rows, int32_t width, int32_t height, size_t stride, int32_t left,
                 int32_t top, int32_t right, int32_t bottom) override;
    bool End() override;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace qt

}  // namespace zelvo
