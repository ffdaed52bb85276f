// The options bar's pages: one page per tool in the bar's stacked strip, drawn from the tool's
// controls in the options model (ToolOptions::Controls), so a new tool gets its page without
// code here; a tool that needs more registers a page of its own. Every field sets the model
// as typed (a refused value shows the model's message and the field shows what the model
// kept), and every change of the model (keys, scripts, another page sharing the control)
// shows in the fields.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include <QObject>

class QStackedWidget;
class QWidget;
class QHBoxLayout;

namespace zelvo {

class ToolController;

class COptionsBar : public QObject {
    Q_OBJECT
public:
    // Builds a tool's page into `page` (a row layout); `bar` adds generated controls.
    using PageFactory = std::function<void(COptionsBar& bar, int tool, QWidget* page)>;
    COptionsBar(QStackedWidget* strip, ToolController& tools, QObject* parent = nullptr);

    // A tool's own page, used instead of the generated one (before the page is first shown).
    void RegisterPage(int tool, PageFactory factory) { m_factories[tool] = std::move(factory); }

    // Shows the tool's page (built the first time).
    void Show(int tool);
    QWidget* Page(int tool) const;
    int ShownTool() const { return m_shown; }

    // The model changed `key` of `tool` (0: a control shared by several pages).
    void ModelChanged(int tool, const std::string& key);

    // The generated controls of `tool`'s page, added to `page`'s row.
    void AddGeneratedControls(int tool, QWidget* page);
    ToolController& Tools() { return m_tools; }
    // For a page's own controls: `load` shows the model's value of `key` now and after every
    // change; Apply sets the model as a field does.
    void Bind(int tool, const std::string& key, std::function<void()> load);
    void Apply(int tool, const std::string& key, const std::string& value);

private:
    struct Binding {
        int tool;
        std::string key;
        std::function<void()> load;
    };
    void AddControl(int tool, int index, QWidget* page, QHBoxLayout* row);
    void Load(int tool, const std::string& key);

    QStackedWidget* m_strip;
    ToolController& m_tools;
    std::map<int, PageFactory> m_factories;
    std::map<int, QWidget*> m_pages;
    std::vector<Binding> m_bindings;
    QWidget* m_empty = nullptr;
    int m_shown = 0;
    bool m_applying = false;
};

}  // namespace zelvo
