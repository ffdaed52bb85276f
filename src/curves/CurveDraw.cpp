#include "curves/CurveDraw.h"

#include <algorithm>
#include <utility>

#include "core/Limits.h"
#include "curves/Curve.h"

namespace zelvo {

namespace {

CurveAnchor Corner(Point p) {
    return {p, p, p, kAnchorLinked};
}

bool OpenCurve(const LayerPtr& layer) {
    return layer && layer->Kind() == LayerKind::Curve && !layer->IsClosed() &&
           !layer->Anchors().empty();
}

}  // namespace

CurveDraw::CurveDraw(LayerManager& layers, CurveEdit& curves)
    : m_layers(layers), m_curves(curves) {}

bool CurveDraw::Press(Point p, bool hitsFirst, bool hitsLast, ColorRef color, bool filled) {
    if (m_pressed) Release();
    // Another command may have changed the current layer between two anchors.
    if (m_layer && m_layers.CurrentLayer() != m_layer) Reset();
    if (!m_layer) {
        const LayerPtr current = m_layers.CurrentLayer();
        if (OpenCurve(current) && (hitsFirst || hitsLast)) {
            if (!m_curves.BeginCurveEdit()) return false;
            if (!hitsLast) {
                std::vector<CurveAnchor>& anchors = current->Anchors();
                std::reverse(anchors.begin(), anchors.end());
                for (CurveAnchor& a : anchors) std::swap(a.in, a.out);
            }
            m_layer = current;
        } else {
            m_first = Corner(p);
            m_color = color;
            m_filled = filled;
        }
        m_pressed = true;
        return true;
    }
    if (!m_curves.BeginCurveEdit()) {
        Reset();
        return false;
    }
    m_closing = m_layer->Anchors().size() >= 2 && hitsFirst;
    if (!m_closing && m_layer->Anchors().size() >= kMaxCurveAnchors) return false;
    if (m_closing)
        m_layer->SetClosed(true);
    else
        m_layer->Anchors().push_back(Corner(p));
    m_pressed = true;
    return true;
}

CurveAnchor* CurveDraw::Placing() {
    if (!m_pressed || m_closing) return nullptr;
    if (!m_layer) return &m_first;
    return m_layer->Anchors().empty() ? nullptr : &m_layer->Anchors().back();
}

void CurveDraw::Drag(Point pointer) {
    CurveAnchor* a = Placing();
    if (!a) return;
    a->out = pointer;
    a->in = {2 * a->point.x - pointer.x, 2 * a->point.y - pointer.y};
}

bool CurveDraw::Release() {
    if (!m_pressed) return false;
    m_pressed = false;
    if (!m_layer) {
        m_layer = m_curves.NewCurveLayer("", m_color, m_filled);
        if (!m_layer) return false;
        m_layer->Anchors().push_back(m_first);
        RenderCurve(*m_layer);
        return true;
    }
    RenderCurve(*m_layer);
    m_curves.CommitCurveEdit("Draw Line");
    if (m_closing) Reset();
    return true;
}

void CurveDraw::End() {
    if (m_pressed) Release();
    Reset();
}

void CurveDraw::Reset() {
    m_layer.reset();
    m_pressed = false;
    m_closing = false;
}

LayerPtr DrawCurve(LayerManager& layers, CurveEdit& curves, const std::vector<Point>& points,
                   bool closed, ColorRef color, bool filled) {
    if (points.empty()) return nullptr;
    CurveDraw draw(layers, curves);
    draw.Press(points[0], false, false, color, filled);
    if (!draw.Release()) return nullptr;
    const LayerPtr layer = draw.DrawnLayer();
    for (size_t i = 1; i < points.size(); ++i)
        if (!draw.Press(points[i], false, false, color, filled) || !draw.Release()) return nullptr;
    if (closed && points.size() >= 2 &&
        (!draw.Press(points[0], true, false, color, filled) || !draw.Release()))
        return nullptr;
    return layer;
}

}  // namespace zelvo
