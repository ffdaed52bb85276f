#include "platform/Clipboard.h"

namespace zelvo {

bool MemoryClipboard::SetDib(const std::vector<uint8_t>& dib) {
    if (m_locked) return false;
    m_dib = dib;
    m_text.reset();
    return true;
}

bool MemoryClipboard::SetText(const std::string& text) {
    if (m_locked) return false;
    m_dib.reset();
    m_text = text;
    return true;
}

bool MemoryClipboard::Empty() {
    if (m_locked) return false;
    m_dib.reset();
    m_text.reset();
    return true;
}

namespace {

Clipboard* g_installed = nullptr;

}  // namespace

Clipboard& AppClipboard() {
    static MemoryClipboard fallback;
    return g_installed ? *g_installed : fallback;
}

void SetAppClipboard(Clipboard* clipboard) {
    g_installed = clipboard;
}

}  // namespace zelvo
