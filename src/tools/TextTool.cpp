// The text tool: a click opens an edit of a new text layer at the clicked point, "Edit Current
// Text Layer" one of the current text layer; Ctrl+Enter or "Commit" records it ("New Text
// Layer" / "Edit Text"), Esc or "Cancel" leaves the document as it was. The bar's face, size,
// colour and direction apply to the open edit, or without one to the current text layer as
// states of their own.
#include <cstdio>
#include <cstdlib>

#include "core/Limits.h"
#include "curves/TextEdit.h"
#include "doc/Image.h"
#include "geometry/Geometry.h"
#include "layers/TextLayer.h"
#include "tools/ImagePoint.h"
#include "tools/Operations.h"
#include "tools/TextTool.h"
#include "tools/ToolController.h"
#include "view/ImageView.h"

namespace zelvo {

namespace {

constexpr const char* kEditHint = "Ctrl+Enter key to submit. Esc key to cancel.";

std::string Hex(ColorRef c) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02X%02X%02X", RedOf(c), GreenOf(c), BlueOf(c));
    return text;
}

class TextTool : public MouseOperation, public TextSessionInfo {
public:
    using MouseOperation::MouseOperation;

    bool Press(ImageView& view, const ViewMouse& m) override {
        if (m_image) return true;
        Image& image = view.GetImage();
        const Point p = ViewToImage(view, m.client);
        if (p.x < 0 || p.y < 0 || p.x >= image.Width() || p.y >= image.Height()) return false;
        const LayerPtr layer = image.Texts().BeginNewText(image.Width(), image.Height());
        if (!layer) return false;
        TextSettings& t = layer->Text();
        t.originX = p.x;
        t.originY = p.y;
        t.text.clear();
        FromBar(*layer);
        RenderText(*layer);
        Open(view, {}, false);
        return true;
    }

    // The edit stays open after the click until it is committed or cancelled.
    bool Release(ImageView& /*view*/, const ViewMouse& /*m*/) override {
        return m_image != nullptr;
    }

    bool Key(ImageView& view, int key, bool down, int modifiers, bool& stillBusy) override {
        // Not editing, Ctrl+Enter opens the current text layer, as "Edit Current Text Layer".
        if (down && !m_image && (key == kKeyReturn || key == kKeyEnter) && (modifiers & kControl) &&
            view.GetImage().IsReady() && EditCurrent(view)) {
            stillBusy = true;
            return true;
        }
        if (!down || !m_image || &view.GetImage() != m_image) return false;
        if (key == kKeyReturn || key == kKeyEnter) {
            if (modifiers & kControl)
                Commit();
            else
                Type("\r\n");
            stillBusy = m_image != nullptr;
            return true;
        }
        if (key == kKeyEscape) {
            Cancel();
            stillBusy = false;
            return true;
        }
        return false;
    }

    // A menu command is about to act on the document: what was typed is kept as a committed
    // layer rather than left in an edit the command could pull from under it; an untouched new
    // text goes without a trace.
    void Finish(ImageView& /*view*/) override {
        if (!m_image) return;
        if (!m_existing && m_text.empty())
            Cancel();
        else
            Commit();
    }

    void Abandon() override {
        if (m_image) m_image->Texts().EndText(0);
        Close();
    }

    void Forget(const Image& image) override {
        if (&image == m_image) Abandon();
    }

    CursorShape Cursor() const override { return CursorShape::Text; }

    // TextSessionInfo
    Image* EditImage() const override { return m_image; }
    ImageView* EditView() const override { return m_view; }
    bool EditsExisting() const override { return m_existing; }
    Point Origin() const override {
        const LayerPtr layer = Edited();
        return layer ? Point{layer->Text().originX, layer->Text().originY} : Point{};
    }
    const std::string& Text() const override { return m_text; }
    bool SetText(const std::string& text) override {
        if (!m_image || text.size() > kMaxTextBytes) return false;
        m_text = text;
        return true;
    }
    bool Type(const std::string& text) override {
        if (!m_image || text.size() > kMaxTextBytes - m_text.size()) return false;
        m_text += text;
        return true;
    }

    bool Button(TextButton button, ImageView& view) override {
        switch (button) {
            case TextButton::Commit:
            case TextButton::Cancel:
                if (!m_image) return false;
                button == TextButton::Commit ? Commit() : Cancel();
                return true;
            case TextButton::EditCurrent:
                return EditCurrent(view);
            case TextButton::Direction: {
                // The bar's value follows the direction of what it acts on, then applies.
                int vertical = Tools().Options().GetInt(kToolText, "vertical") != 0;
                if (const LayerPtr layer = m_image ? Edited() : CurrentText(view.GetImage()))
                    vertical = layer->Text().direction == kTextVertical;
                Tools().Options().Set(kToolText, "vertical", vertical ? "0" : "1");
                return true;
            }
        }
        return false;
    }

    void ApplyOption(const std::string& key, ImageView* active) override {
        ToolOptions& bar = Tools().Options();
        const std::string value = bar.Get(kToolText, key);
        if (m_image) {
            const LayerPtr layer = Edited();
            if (!layer) return;
            FromBar(*layer);
            if (Tools().onTextSession) Tools().onTextSession();
            return;
        }
        if (!active || !CurrentText(active->GetImage())) return;
        Image& image = active->GetImage();
        TextEdit& texts = image.Texts();
        bool changed = false;
        if (key == "font") {
            changed = texts.SetTextFont(value);
        } else if (key == "size") {
            changed = texts.SetTextSize(bar.GetInt(kToolText, "size"));
        } else if (key == "vertical") {
            const int32_t want =
                bar.GetInt(kToolText, "vertical") ? kTextVertical : kTextHorizontal;
            if (CurrentText(image)->Text().direction != want) changed = texts.FlipTextDirection();
        }
        if (!changed) return;
        active->RequestRender(1);
        if (Tools().onTextSession) Tools().onTextSession();
    }

private:
    static LayerPtr CurrentText(Image& image) {
        LayerManager& layers = image.Layers();
        const LayerPtr current = layers.LayerAt(layers.CurrentIndex());
        return current && current->Kind() == LayerKind::Text ? current : nullptr;
    }

    LayerPtr Edited() const { return m_image ? m_image->Texts().EditedLayer() : nullptr; }

    // The face, size, colour and direction of the bar go into the edited layer.
    void FromBar(Layer& layer) {
        const ToolOptions& bar = Tools().Options();
        TextSettings& t = layer.Text();
        SetTextFace(t, bar.Get(kToolText, "font"));
        t.fontSize = bar.GetInt(kToolText, "size");
        t.direction = bar.GetInt(kToolText, "vertical") ? kTextVertical : kTextHorizontal;
        layer.SetColor(bar.GetColor(kToolText, "color"));
    }

    bool EditCurrent(ImageView& view) {
        if (m_image || !CurrentText(view.GetImage())) return false;
        const LayerPtr copy = view.GetImage().Texts().BeginEditText();
        if (!copy) return false;
        // The bar shows what the layer was made with; storing does not apply it again.
        ToolOptions& bar = Tools().Options();
        const TextSettings& t = copy->Text();
        bar.SetStored(kToolText, "font", t.face);
        bar.SetStored(kToolText, "size", std::to_string(t.fontSize));
        bar.SetStored(kToolText, "color", Hex(copy->Color()));
        bar.SetStored(kToolText, "vertical", t.direction == kTextVertical ? "1" : "0");
        // The edit box shows the text while it is edited; the layer shows it again at commit.
        std::string text = t.text;
        copy->Text().text.clear();
        RenderText(*copy);
        Open(view, std::move(text), true);
        return true;
    }

    void Open(ImageView& view, std::string text, bool existing) {
        m_image = &view.GetImage();
        m_view = &view;
        m_text = std::move(text);
        m_existing = existing;
        Tools().ShowStatus(kEditHint);
        view.RequestRender(1);
        if (Tools().onTextSession) Tools().onTextSession();
    }

    void Commit() {
        const LayerPtr layer = Edited();
        if (layer) {
            FromBar(*layer);
            layer->Text().text = m_text;
            RenderText(*layer);
        }
        End(1);
    }

    void Cancel() {
        // The display must not be drawing the layer that goes.
        WaitForDrawingIdle(m_image->History().Host());
        End(0);
    }

    void End(int commit) {
        ImageView* view = m_view;
        m_image->Texts().EndText(commit);
        Close();
        if (view) view->RequestRender(1);
        if (const ToolInfo* info = FindTool(kToolText)) Tools().ShowStatus(info->hint);
        if (Tools().onTextSession) Tools().onTextSession();
    }

    void Close() {
        m_image = nullptr;
        m_view = nullptr;
        m_text.clear();
        m_existing = false;
    }

    Image* m_image = nullptr;  // the document of the open edit
    ImageView* m_view = nullptr;
    std::string m_text;  // CR LF lines
    bool m_existing = false;
};

}  // namespace

std::unique_ptr<MouseOperation> MakeTextTool(ToolController& tools) {
    return std::make_unique<TextTool>(tools);
}

}  // namespace zelvo
