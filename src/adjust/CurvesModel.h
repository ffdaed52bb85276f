// The Curves dialog's model: a chain of cubic segments in graph coordinates 1..180 (y
// downward, y = 1 is output 255), its editing rules, its 180 samples and the transfer table.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "adjust/Adjustments.h"
#include "adjust/BezierSearch.h"
#include "core/Types.h"

namespace zelvo {

class CurvesModel {
public:
    static constexpr int32_t kSize = 180;
    static constexpr double kPickDistance = 20;

    CurvesModel();
    void Reset();

    // A press: picks the nearest anchor within 20 px, else inserts an anchor on a segment
    // passing within 20 px. Returns the picked anchor's index, -1 when nothing was hit.
    int32_t Press(int32_t x, int32_t y);
    // Moves anchor `index`; x stays one pixel inside its neighbours, both within 1..180.
    void Drag(int32_t index, int32_t x, int32_t y);
    // Sets the anchors directly (zelvo-batch), first to last; false when they are not in
    // strictly increasing x within 1..180 or fewer than two.
    bool SetAnchors(const std::vector<Point>& anchors);

    // FreeLine: the samples are drawn by hand; a stroke from one point to the next.
    void SetFreeLine(bool on);
    bool FreeLine() const { return m_free; }
    void DrawFree(int32_t x0, int32_t y0, int32_t x1, int32_t y1);

    const std::vector<Point>& Anchors() const { return m_anchors; }
    const std::vector<Bezier>& Segments() const { return m_segments; }
    // p[0..179]: the curve's y at x = 1..180.
    const std::array<int32_t, kSize>& Samples() const { return m_samples; }
    Table256 TransferTable() const;
    bool Changed() const { return m_changed; }

private:
    void Rebuild();

    std::vector<Point> m_anchors;
    std::vector<Bezier> m_segments;
    std::array<int32_t, kSize> m_samples{};
    bool m_free = false;
    bool m_changed = false;
};

// The transfer table from 180 samples.
Table256 CurvesTableFromSamples(const std::array<int32_t, CurvesModel::kSize>& p);

}  // namespace zelvo
