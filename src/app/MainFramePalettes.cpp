// The five floating palettes: creation, Reset Palette Locations, Show/Hide All and the
// single toggles.
#include <QDockWidget>
#include <QLabel>

#include "app/CColorPalette.h"
#include "app/CHistoryPalette.h"
#include "app/CLayersPalette.h"
#include "app/CMainFrame.h"
#include "app/CNavigatorPalette.h"
#include "app/CToolsPalette.h"

namespace zelvo {

void CMainFrame::CreatePalettes() {
    for (int i = 0; i < kPaletteCount; ++i) {
        const PaletteSpec& spec = kPalettes[i];
        auto* dock = new QDockWidget(spec.caption, this);
        dock->setObjectName(QString("Palette%1").arg(spec.command));
        dock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
                          QDockWidget::DockWidgetFloatable);
        QWidget* content = nullptr;
        switch (i) {
            case kColor:
                content = m_colorPalette = new CColorPalette(dock);
                break;
            case kHistory:
                content = m_historyPalette = new CHistoryPalette(dock);
                break;
            case kLayers:
                content = m_layersPalette = new CLayersPalette(dock);
                break;
            case kTools:
                content = m_toolsPalette = new CToolsPalette(dock);
                break;
            default:
                content = m_navigatorPalette = new CNavigatorPalette(dock);
                break;
        }
        dock->setWidget(content);
        addDockWidget(Qt::RightDockWidgetArea, dock);
        dock->setFloating(true);
        dock->hide();
        m_palettes[i] = dock;
    }
    m_palettes[kLayers]->move(800, 470);
    m_palettes[kTools]->move(5, 75);
    connect(m_toolsPalette, &CToolsPalette::toolHint, this,
            [this](const QString& hint) { m_panes[0]->setText(hint); });
}

void CMainFrame::ResetPaletteLocations() {
    const int w = m_workspace.ScreenWidth(), h = m_workspace.ScreenHeight();
    const bool smaller = w < 1024 || h < 768;
    const int x = w - 224;
    const QPoint at[kPaletteCount] = {
        {x, 75}, {x, smaller ? 115 : 206}, {x, smaller ? 155 : 327}, {x, smaller ? 305 : 478},
        {5, 75},
    };
    for (int i = 0; i < kPaletteCount; ++i) {
        if (!m_palettes[i]) continue;
        m_palettes[i]->setFloating(true);
        m_palettes[i]->show();
        m_palettes[i]->move(at[i]);
    }
    m_workspace.SetPalettesShown(true);
    UpdateCommandUI();
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

void CMainFrame::RefreshNavigator() {
    if (!m_navigatorPalette) return;
    NavigatorTarget* target = ActiveNavigatorTarget();
    m_navigatorPalette->SetTarget(target);
    m_navigatorPalette->Refresh();
}

void CMainFrame::RefreshPalettes() {
    RefreshNavigator();
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
