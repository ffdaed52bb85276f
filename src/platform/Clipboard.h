// The system clipboard as the engine sees it: one device-independent bitmap (a 40-byte header
// and bottom-up rows) in, one out. The GUI installs the Qt clipboard; zelvo-batch and the
// tests use the in-process one, so results never depend on a display.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zelvo {

class Clipboard {
public:
    virtual ~Clipboard() = default;
    // Empties the clipboard and puts the program's own bitmap on it (and, where other programs
    // read the clipboard, a plain picture of it). False when the clipboard cannot be opened.
    virtual bool SetDib(const std::vector<uint8_t>& dib) = 0;
    // The bitmap offered: the program's own, else another program's picture as a DIB; nothing
    // when there is none or the clipboard cannot be opened.
    virtual std::optional<std::vector<uint8_t>> Dib() = 0;
    // Whether a bitmap is offered (Paste is enabled).
    virtual bool HasDib() = 0;
    // Opens the clipboard, empties it and closes it.
    virtual bool Empty() = 0;
    // Plain text (UTF-8), exchanged while a text layer is edited: SetText empties the clipboard
    // and puts the text on it; Text is what is offered, nothing when no text is.
    virtual bool SetText(const std::string& text) = 0;
    virtual std::optional<std::string> Text() = 0;
};

// A clipboard inside the process.
class MemoryClipboard : public Clipboard {
public:
    bool SetDib(const std::vector<uint8_t>& dib) override;
    std::optional<std::vector<uint8_t>> Dib() override { return m_dib; }
    bool HasDib() override { return m_dib.has_value(); }
    bool Empty() override;
    bool SetText(const std::string& text) override;
    std::optional<std::string> Text() override { return m_text; }

    // Puts any bytes on it, as another program might (tests, scripts).
    void SetForeign(std::vector<uint8_t> dib) { m_dib = std::move(dib); }
    // A clipboard another program holds open: every call fails.
    void SetLocked(bool locked) { m_locked = locked; }

private:
    std::optional<std::vector<uint8_t>> m_dib;
    std::optional<std::string> m_text;
    bool m_locked = false;
};

// The process-wide clipboard. Until one is installed, a MemoryClipboard stands in.
Clipboard& AppClipboard();
void SetAppClipboard(Clipboard* clipboard);

}  // namespace zelvo
