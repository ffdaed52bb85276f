// The text tool on screen: the in-place edit box over the view while a text is edited (placed
// at the text's origin, drawn in the text's face, size at the view's zoom and colour, turned a
// quarter clockwise for vertical text as the layer draws it) and the
// text page of the options bar (face list, sizes, colour, "Direction", "Edit Current Text
// Layer", "Commit", "Cancel").
#pragma once

#include <QGraphicsView>
#include <QObject>
#include <QPlainTextEdit>
#include <QPointer>

class QGraphicsProxyWidget;

namespace zelvo {

class CMainFrame;
class COptionsBar;
class CZelvoView;
class ToolController;

// The edit box: a multi-line editor whose Ctrl+Enter and Esc commit and cancel.
class CTextEditBox : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit CTextEditBox(QWidget* parent);
    // The box is sized to its text; a turned box must not grow to a scroll area's minimum.
    QSize minimumSizeHint() const override { return {1, 1}; }

signals:
    void commit();
    void cancel();

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

class CTextToolUi : public QObject {
    Q_OBJECT
public:
    // Registers the text page with `bar` and follows the controller's text edits.
    CTextToolUi(CMainFrame* frame, ToolController& tools, COptionsBar& bar);

    // The open edit box (null when none); for vertical text it lives turned inside `Host()`.
    CTextEditBox* Box() const { return m_box; }
    QGraphicsView* Host() const { return m_host; }

private:
    void BuildPage(COptionsBar& bar, QWidget* page);
    void SessionChanged();
    // A new box on `view` holding the session's text, upright or turned.
    void OpenBox(CZelvoView* view, bool vertical);
    // The box (and its host) goes once its own events have returned.
    void DropBox();
    void FocusBox();
    // Places the box at the origin and sizes it to its text at the view's zoom.
    void Place();
    void Button(int button);
    // After the bar acted: the palettes follow, the keys go back to the box or the view.
    void Acted();

    CMainFrame* m_frame;
    ToolController& m_tools;
    QPointer<CTextEditBox> m_box;
    // Vertical text: the box is turned inside this transparent scene view over the picture.
    QPointer<QGraphicsView> m_host;
    QGraphicsProxyWidget* m_proxy = nullptr;
    bool m_vertical = false;
    QPointer<CZelvoView> m_view;
    bool m_loading = false;
};

}  // namespace zelvo
