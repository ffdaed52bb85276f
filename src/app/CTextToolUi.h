// The text tool on screen: the in-place edit box over the view while a text is edited (placed
// at the text's origin, drawn in the text's face, size at the view's zoom and colour) and the
// text page of the options bar (face list, sizes, colour, "Direction", "Edit Current Text
// Layer", "Commit", "Cancel").
#pragma once

#include <QObject>
#include <QPlainTextEdit>
#include <QPointer>

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

    // The open edit box (null when none).
    CTextEditBox* Box() const { return m_box; }

private:
    void BuildPage(COptionsBar& bar, QWidget* page);
    void SessionChanged();
    // Places the box at the origin and sizes it to its text at the view's zoom.
    void Place();
    void Button(int button);
    // After the bar acted: the palettes follow, the keys go back to the box or the view.
    void Acted();

    CMainFrame* m_frame;
    ToolController& m_tools;
    QPointer<CTextEditBox> m_box;
    QPointer<CZelvoView> m_view;
    bool m_loading = false;
};

}  // namespace zelvo
