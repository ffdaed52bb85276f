// The five floating palettes: creation, their places (the defaults, the ones remembered
// between runs, Reset Palette Locations), Show/Hide All and the single toggles.
#include <algorithm>
#include <memory>

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QDockWidget>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSettings>
#include <QSlider>
#include <QStatusBar>
#include <QStyle>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include "app/CChildFrame.h"
#include "app/CColorPalette.h"
#include "app/CHistoryPalette.h"
#include "app/CLayersPalette.h"
#include "app/CMainFrame.h"
#include "app/CNavigatorPalette.h"
#include "app/CToolsPalette.h"
#include "app/CZelvoView.h"
#include "platform/Disk.h"
#include "tools/ToolController.h"

namespace zelvo {

namespace {

QRect ToQRect(const Rect& r) {
    return QRect(r.left, r.top, r.Width(), r.Height());
}

Rect ToRect(const QRect& r) {
    return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

QString SettingsPath() {
    return QString::fromStdString(ConfigPath("zelvo.ini"));
}

QString PlaceKey(int index) {
    return QString("Palettes/%1").arg(CMainFrame::kPalettes[index].command);
}

bool TypesText(const QWidget* w) {
    if (const auto* combo = qobject_cast<const QComboBox*>(w)) return combo->isEditable();
    return qobject_cast<const QLineEdit*>(w) || qobject_cast<const QAbstractSpinBox*>(w) ||
           qobject_cast<const QTextEdit*>(w) || qobject_cast<const QPlainTextEdit*>(w);
}

// A palette's title: its caption and a close button. The dock widget's own title would add a
// float button and dock the palette on a double-click, into the frame's dock area behind the
// other palettes; a palette here only floats.
class PaletteTitle : public QWidget {
public:
    PaletteTitle(const QString& caption, QDockWidget* dock) : QWidget(dock) {
        auto* row = new QHBoxLayout(this);
        row->setContentsMargins(4, 2, 2, 2);
        row->setSpacing(2);
        auto* label = new QLabel(caption, this);
        row->addWidget(label, 1);
        auto* close = new QToolButton(this);
        close->setObjectName("paletteClose");
        close->setAutoRaise(true);
        close->setFocusPolicy(Qt::NoFocus);
        close->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton, nullptr, this));
        const int side = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
        close->setIconSize(QSize(side, side) * 3 / 4);
        close->setToolTip("Close");
        connect(close, &QToolButton::clicked, dock, &QDockWidget::close);
        row->addWidget(close);
    }

protected:
    // Kept from the dock widget, which would dock the palette.
    void mouseDoubleClickEvent(QMouseEvent* event) override { event->accept(); }
};

// A click on a palette gives it the keyboard, which the image window would have kept: a key
// that none of the palette's controls took (an arrow's nudge, a tool letter, Space) goes on
// to the active image's view (or the text box open in it), or to the frame without one. Typing
// into a box of the palette stays there.
class PaletteKeys : public QObject {
public:
    explicit PaletteKeys(CMainFrame* frame) : QObject(frame), m_frame(frame) {}

    bool eventFilter(QObject* palette, QEvent* event) override {
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) return false;
        if (TypesText(static_cast<QWidget*>(palette)->focusWidget())) return false;
        QWidget* target = m_frame;
        if (CChildFrame* child = m_frame->ActiveChild()) {
            target = child->View();
            // The text box of a text being typed keeps its keys.
            QWidget* last = m_frame->focusWidget();
            if (last && target->isAncestorOf(last)) target = last;
        }
        const std::unique_ptr<QEvent> copy(event->clone());
        QCoreApplication::sendEvent(target, copy.get());
        return true;
    }

private:
    CMainFrame* m_frame;
};

// A floating palette hidden and shown again comes back where it was, but a reparenting window
// manager then reports it at the top-left corner of the screen, after the fact: Qt takes that
// for its place, so the place saved at exit, the room kept for new windows and the next drag of
// its title would follow. A palette is never there (it is kept below the menu bar), so such a
// report puts it back at its last place.
class PaletteSpots : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject* object, QEvent* event) override {
        auto* dock = static_cast<QDockWidget*>(object);
        if (event->type() != QEvent::Move || !dock->isVisible() || !dock->isFloating())
            return false;
        const QPoint at = dock->frameGeometry().topLeft();
        if (!at.isNull()) {
            dock->setProperty(kSpotProperty, at);
        } else if (dock->property(kSpotProperty).isValid()) {
            QTimer::singleShot(0, dock, [dock] {
                const QPoint spot = dock->property(kSpotProperty).toPoint();
                if (!dock->frameGeometry().topLeft().isNull()) return;
                dock->move(spot);
                const QPoint off = spot - dock->frameGeometry().topLeft();
                if (!off.isNull()) dock->move(dock->pos() + off);
            });
        }
        return false;
    }

private:
    static constexpr const char* kSpotProperty = "zelvoSpot";
};

}  // namespace

void CMainFrame::CreatePalettes() {
    auto* keys = new PaletteKeys(this);
    auto* spots = new PaletteSpots(this);
    for (int i = 0; i < kPaletteCount; ++i) {
        const PaletteSpec& spec = kPalettes[i];
        auto* dock = new QDockWidget(spec.caption, this);
        dock->setObjectName(QString("Palette%1").arg(spec.command));
        dock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
                          QDockWidget::DockWidgetFloatable);
        // Dragged anywhere, even over the frame's edge, a palette stays a palette.
        dock->setAllowedAreas(Qt::NoDockWidgetArea);
        dock->setTitleBarWidget(new PaletteTitle(spec.caption, dock));
        // Showing or placing a palette leaves the keyboard with the image window.
        dock->setAttribute(Qt::WA_ShowWithoutActivating);
        QWidget* content = nullptr;
        switch (i) {
            case kColor:
                content = m_colorPalette = new CColorPalette(m_tools->Colors(), dock);
                break;
            case kHistory:
                content = m_historyPalette = new CHistoryPalette(dock);
                break;
            case kLayers:
                content = m_layersPalette = new CLayersPalette(dock);
                break;
            case kTools:
                content = m_toolsPalette = new CToolsPalette(*m_tools, dock);
                break;
            default:
                content = m_navigatorPalette = new CNavigatorPalette(dock);
                break;
        }
        dock->setWidget(content);
        dock->installEventFilter(keys);
        dock->installEventFilter(spots);
        // The keys belong to the picture unless a box or slider of the palette was clicked: a
        // click anywhere else on the palette takes them from its boxes (and the palette's
        // first box is not given them when a click on the palette activates it), and no
        // button holds them to be pressed by Space.
        content->setFocusPolicy(Qt::ClickFocus);
        for (QWidget* w : content->findChildren<QWidget*>())
            w->setFocusPolicy(TypesText(w) || qobject_cast<QSlider*>(w) ? Qt::ClickFocus
                                                                        : Qt::NoFocus);
        addDockWidget(Qt::RightDockWidgetArea, dock);
        dock->setFloating(true);
        dock->hide();
        m_palettes[i] = dock;
    }
    m_palettes[kLayers]->move(800, 470);
    m_palettes[kTools]->move(5, 75);
    // Both palettes draw the one colour pair: whatever changed it (X, D, a swatch, the
    // eyedropper), they show it at once.
    m_tools->Colors().onChange = [this] {
        m_toolsPalette->ShowColors();
        m_colorPalette->update();
    };
}

Rect CMainFrame::PaletteArea() const {
    // The client area below the menu bar and above the status bar (whose hints a palette would
    // hide), in screen coordinates, within the screen.
    const int top = menuBar() && !menuBar()->isHidden() ? menuBar()->geometry().bottom() + 1 : 0;
    QStatusBar* status = statusBar();
    // Its height, not its place: before the first layout the place is not known yet.
    const int bottom = status && status->isVisibleTo(this)
                           ? height() - std::max(status->height(), status->sizeHint().height())
                           : height();
    QRect area(mapToGlobal(QPoint(0, top)), QSize(width(), std::max(0, bottom - top)));
    if (QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen())
        area = area.intersected(s->availableGeometry());
    return ToRect(area);
}

Rect CMainFrame::PaletteKeepArea() const {
    // The options bar sits right under the menu bar; its height, not its place, for the same
    // reason as the status bar's.
    Rect area = PaletteArea();
    if (m_optionsBar && m_optionsBar->isVisibleTo(this))
        area.top = std::min(area.bottom, area.top + std::max(m_optionsBar->height(),
                                                             m_optionsBar->sizeHint().height()));
    return area;
}

QSize CMainFrame::ShowFloatingPalette(int index) {
    // A floating palette takes its size when it is shown.
    QDockWidget* dock = m_palettes[index];
    if (!dock->isFloating()) dock->setFloating(true);
    if (dock->isHidden()) dock->show();
    return dock->frameGeometry().size();
}

void CMainFrame::PlacePalette(int index, const Rect& place) {
    QDockWidget* dock = m_palettes[index];
    if (!dock->isFloating()) dock->setFloating(true);
    if (dock->isHidden()) dock->show();
    // A window's position is that of its outer frame, once the frame is known; a window just
    // shown may not know it yet, and is set right.
    const QPoint target = ToQRect(KeepInside(place, PaletteKeepArea())).topLeft();
    dock->move(target);
    const QPoint off = target - dock->frameGeometry().topLeft();
    if (!off.isNull()) dock->move(dock->pos() + off);
}

void CMainFrame::ResetPaletteLocations() {
    const int w = m_workspace.ScreenWidth(), h = m_workspace.ScreenHeight();
    const bool smaller = w < 1024 || h < 768;
    // A screen too short for the tool box in two columns gets it in three, so that it does not
    // reach under the status bar and off the screen.
    m_toolsPalette->SetColumns(2);
    if (m_palettes[kTools]->sizeHint().height() > PaletteKeepArea().Height())
        m_toolsPalette->SetColumns(3);
    PalettePlaces sizes;
    for (int i = 0; i < kPaletteCount; ++i) {
        const QSize s = ShowFloatingPalette(i);
        sizes[size_t(i)] = {0, 0, s.width(), s.height()};
    }
    const PalettePlaces places = DefaultPalettePlaces(PaletteArea(), smaller, sizes);
    for (int i = 0; i < kPaletteCount; ++i) PlacePalette(i, places[size_t(i)]);
    m_workspace.SetPalettesShown(true);
    UpdateCommandUI();
}

void CMainFrame::ShowPalettesAtStart() {
    // The places of the last run, each kept on the screen; the defaults for any not stored.
    if (!m_palettesFollowFrame) {
        m_palettesFollowFrame = true;
        QTimer::singleShot(kPalettesSettleMs, this, [this] { m_palettesFollowFrame = false; });
    }
    ResetPaletteLocations();
    QSettings settings(SettingsPath(), QSettings::IniFormat);
    const Rect area = PaletteArea();
    for (int i = 0; i < kPaletteCount; ++i) {
        if (!settings.contains(PlaceKey(i))) continue;
        const QPoint offset = settings.value(PlaceKey(i)).toPoint();
        const QSize size = ShowFloatingPalette(i);
        const Rect place{area.left + offset.x(), area.top + offset.y(),
                         area.left + offset.x() + size.width(),
                         area.top + offset.y() + size.height()};
        PlacePalette(i, place);
    }
}

void CMainFrame::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    if (m_palettesFollowFrame) FollowFrame();
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (m_palettesFollowFrame) FollowFrame();
}

void CMainFrame::FollowFrame() {
    // Once, after the frame's geometry changes of this turn of the event loop.
    if (m_followQueued) return;
    m_followQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_followQueued = false;
        if (m_palettesFollowFrame && m_workspace.PalettesShown()) ShowPalettesAtStart();
    });
}

void CMainFrame::SavePaletteLocations() const {
    QSettings settings(SettingsPath(), QSettings::IniFormat);
    const Rect area = PaletteArea();
    for (int i = 0; i < kPaletteCount; ++i) {
        if (!m_palettes[i] || !m_palettes[i]->isFloating()) continue;
        const QPoint at = m_palettes[i]->frameGeometry().topLeft();
        settings.setValue(PlaceKey(i), QPoint(at.x() - area.left, at.y() - area.top));
    }
}

void CMainFrame::ToggleAllPalettes() {
    const bool shown = !m_workspace.PalettesShown();
    m_workspace.SetPalettesShown(shown);
    for (QDockWidget* dock : m_palettes)
        if (dock) dock->setVisible(shown);
}

void CMainFrame::TogglePalette(int index) {
    if (index < 0 || index >= kPaletteCount || !m_palettes[index]) return;
    QDockWidget* dock = m_palettes[index];
    dock->setVisible(dock->isHidden());
}

void CMainFrame::RefreshNavigator(bool always) {
    if (!m_navigatorPalette) return;
    NavigatorTarget* target = ActiveNavigatorTarget();
    m_navigatorPalette->SetTarget(target);
    m_navigatorPalette->Refresh(always);
}

void CMainFrame::RefreshPalettes(bool always) {
    RefreshNavigator(always);
    Image* image = ActiveImage();
    if (m_layersPalette) {
        m_layersPalette->SetDocument(image);
        m_layersPalette->Refresh();
    }
    if (m_historyPalette) {
        m_historyPalette->SetDocument(image);
        m_historyPalette->Refresh();
    }
}

}  // namespace zelvo
