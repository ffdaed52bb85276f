// The crop and measure tools' own options-bar pages: the crop page (the "Crop Size:" presets
// with "+" and "-", the size fields with "<>", and while a frame is open "Shield", "Cancel" and
// "Commit") and the measure page (the unit, the six read-outs of the document's line and
// "Clear").
#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QWidget;

namespace zelvo {

class CMainFrame;
class COptionsBar;
class ToolController;

class CCropMeasureUi : public QObject {
    Q_OBJECT
public:
    CCropMeasureUi(CMainFrame* frame, ToolController& tools, COptionsBar& bar);

    // Shows what the tools hold now: the crop page's frame buttons, the measure read-outs.
    void Refresh();

private:
    void BuildCropPage(COptionsBar& bar, QWidget* page);
    void BuildMeasurePage(COptionsBar& bar, QWidget* page);
    void LoadPresets();
    // The shade over the active view while a crop frame is open there with "Shield" on.
    void FollowShade();

    CMainFrame* m_frame;
    ToolController& m_tools;
    QPointer<QComboBox> m_presets;
    QPointer<QCheckBox> m_shield;
    QPointer<QPushButton> m_cancel, m_commit;
    QPointer<QLabel> m_readouts[6];
    QPointer<QWidget> m_shade;
};

}  // namespace zelvo
