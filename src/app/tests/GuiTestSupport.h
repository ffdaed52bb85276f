// Helpers of the GUI tests: the handler that catches Qt's warnings about widgets, painters and
// timers used off the GUI thread, driving modal dialogs, and a started program in a temporary
// folder.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QPoint>
#include <QSize>
#include <QStackedWidget>
#include <QStringList>

#include "app/CMainFrame.h"
#include "app/CZelvoApp.h"
#include "core/Types.h"
#include "platform/Messages.h"
#include "testsupport/TempDir.h"

class QImage;
class QWidget;

namespace zelvo {
class CChildFrame;
class CZelvoView;
class Image;
}  // namespace zelvo

namespace zelvo::guitest {

// Whether a Qt message tells of a GUI object used from the wrong thread.
bool IsThreadWarning(const QString& message);
void InstallThreadWarningHandler();
// The thread warnings seen since the last call.
QStringList TakeThreadWarnings();

// Polls the event loop until `condition` holds; false after the timeout.
bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 8000);
// Runs `fn` on the next modal widget that appears (a dialog opened by the code under test).
void WhenModal(std::function<void(QWidget*)> fn, int timeoutMs = 8000);

// A document of two layers: random opaque pixels under a half-transparent stripe pattern.
CChildFrame* RandomDocument(CMainFrame& frame, int32_t w, int32_t h, uint32_t seed);
// A document of one opaque layer whose pixel (x, y) has the colour `at` gives.
CChildFrame* PictureDocument(CMainFrame& frame, int32_t w, int32_t h,
                             const std::function<ColorRef(int, int)>& at);

// The child's view once its window has the given size and the picture is first drawn, focused
// (null when it never draws); `home` puts it at 100 % scrolled to the top-left.
CZelvoView* ReadyView(CChildFrame* child, QSize size = {700, 500}, bool home = false);
// A new white document of w x h pixels, ready.
CZelvoView* OpenView(CMainFrame& frame, int w, int h);

// The display name of the document's last history state (empty when none).
std::string LastStateName(Image& image);
// The current layer's B, G, R, A word at canvas point `c` (0 outside it).
uint32_t LayerPixel(Image& image, Point c);
// A left-button drag through `points` with the modifiers held.
void Drag(QWidget* target, const std::vector<QPoint>& points, Qt::KeyboardModifiers keys = {});

// The colour widget `w` shows at `at`, as drawn on screen.
ColorRef ShownColor(QWidget* w, QPoint at);

// The widget of the current options bar page with the object name.
template <typename T>
T* PageChild(CMainFrame& frame, const char* name) {
    QWidget* page = frame.OptionsStrip()->currentWidget();
    return page ? page->findChild<T*>(name) : nullptr;
}
// How many pixels of the view's screenRect in `shown` differ from the display composite
// (-1 when there is nothing to compare); black and white pixels are not counted when
// `outlineMayShow` (a selection outline is drawn over the picture).
int Mismatches(CZelvoView* view, const QImage& shown, bool outlineMayShow = false);
// Waits until the window shows the composite of its current layout.
bool ShowsComposite(CZelvoView* view, bool outlineMayShow = false);

// The client point of the view that shows canvas point `c` (the view's own mapping rule).
QPoint ClientOf(CZelvoView* view, Point c);

// A 24-bit BMP of one colour, or whose pixel (x, y) has the colour `at` gives, written by hand.
std::string WriteBmp(const std::string& path, int width, int height, uint8_t r, uint8_t g,
                     uint8_t b);
std::string WriteBmp(const std::string& path, int width, int height,
                     const std::function<ColorRef(int, int)>& at);

// The program started with --no-splash in its own temporary disk folder, with the messages
// recorded (and answered from the queue).
class Program {
public:
    explicit Program(const QStringList& args = {});
    ~Program();
    bool Started() const { return m_started; }
    CZelvoApp& App();
    CMainFrame& Frame();
    ScopedRecordingMessages& Messages() { return m_messages; }
    const std::string& TempFolder() const { return m_temp.Path(); }
    // Closes every window answering No and ends the program.
    void Exit();

private:
    test::TempDir m_temp;
    ScopedRecordingMessages m_messages;
    bool m_started = false;
};

}  // namespace zelvo::guitest
