// Helpers of the GUI tests: the handler that catches Qt's warnings about widgets, painters and
// timers used off the GUI thread, driving modal dialogs, and a started program in a temporary
// folder.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include <QPoint>
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
// How many pixels of the view's screenRect in `shown` differ from the display composite
// (-1 when there is nothing to compare); black and white pixels are not counted when
// `outlineMayShow` (a selection outline is drawn over the picture).
int Mismatches(CZelvoView* view, const QImage& shown, bool outlineMayShow = false);
// Waits until the window shows the composite of its current layout.
bool ShowsComposite(CZelvoView* view, bool outlineMayShow = false);

// The client point of the view that shows canvas point `c` (the view's own mapping rule).
QPoint ClientOf(CZelvoView* view, Point c);

// A 24-bit BMP of one colour, written by hand.
std::string WriteBmp(const std::string& path, int width, int height, uint8_t r, uint8_t g,
                     uint8_t b);

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
