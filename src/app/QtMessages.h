// The message service of the desktop program: every text the engine shows or asks appears in a
// modal QMessageBox, exactly as given.
#pragma once

#include "platform/Messages.h"

class QWidget;

namespace zelvo {

class QtMessages : public Messages {
public:
    static constexpr const char* kDefaultCaption = "Zelvo";

    void SetParentWidget(QWidget* parent) { m_parent = parent; }
    void Show(const std::string& text) override;
    Answer Ask(const std::string& text, Buttons buttons, const std::string& caption = {}) override;

private:
    // Runs on the GUI thread; other threads wait for it.
    Answer Run(const std::string& text, Buttons buttons, const std::string& caption, bool question);

    QWidget* m_parent = nullptr;
};

}  // namespace zelvo
