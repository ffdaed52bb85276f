// A workspace, a document and its view laid out as scripts lay it out, with the tool
// controller the tests drive by gestures in view coordinates.
#pragma once

#include <initializer_list>
#include <memory>

#include "selection/SelectionMask.h"
#include "tools/ToolController.h"
#include "tools/VirtualView.h"
#include "view/ImageView.h"
#include "view/tests/ViewTestSupport.h"

namespace zelvo::test {

class ToolsFixture : public ViewFixture {
protected:
    void Open(int32_t w, int32_t h, float zoom = 1.0f) {
        if (view) tools.ViewClosing(*view);
        view.reset();
        image = NewImage(w, h);
        view = std::make_unique<ImageView>(*image);
        LayOutVirtualView(*view, zoom, 0, 0);
        workspace->SetTools(&tools);
    }
    void TearDown() override {
        if (view) tools.ViewClosing(*view);
        workspace->SetTools(nullptr);
        view.reset();
        image.reset();
    }

    void Press(Point p, int mods = 0) {
        tools.MouseDown(*view, {p, kLeftButton, kLeftButton, mods});
    }
    void MoveTo(Point p, int mods = 0) { tools.MouseMove(*view, {p, 0, kLeftButton, mods}); }
    void Release(Point p, int mods = 0) { tools.MouseUp(*view, {p, kLeftButton, 0, mods}); }
    void Drag(std::initializer_list<Point> points, int mods = 0) {
        const Point* p = points.begin();
        Press(*p, mods);
        for (++p; p != points.end(); ++p) MoveTo(*p, mods);
        Release(*(points.end() - 1), mods);
    }
    void Click(Point p, int mods = 0) {
        Press(p, mods);
        Release(p, mods);
    }
    void KeyPress(int key, int mods = 0) {
        tools.Key(*view, key, true, mods);
        tools.Key(*view, key, false, mods);
    }

    Rect SelectionRect() {
        LayerPtr mask = image->Layers().Selection();
        return mask ? TightRect(*mask) : Rect{};
    }
    std::string LastStateName() {
        const auto& states = image->History().States();
        return states.empty() ? std::string() : StateDisplayName(states.back());
    }
    int Strength(int32_t x, int32_t y) {
        LayerPtr mask = image->Layers().Selection();
        if (!mask) return 0;
        uint8_t v = 0;
        ReadMaskRow(*mask, y, x, 1, &v);
        mask->ReleaseRows();
        return v;
    }

    ToolController tools;
    std::unique_ptr<Image> image;
    std::unique_ptr<ImageView> view;
};

}  // namespace zelvo::test
