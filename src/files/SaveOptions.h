// The models behind the "JPEG Options" and "TIFF Options" dialogs shown before a JPEG or TIFF
// file is written. The windows only show these and forward the user's actions.
#pragma once

#include <optional>
#include <string>

namespace zelvo {

// The JPEG quality confirmed last: 8 when the program starts, kept for the run only.
int& AppJpegQuality();

// The slider, edit box and combo box of a quality level 1..12, kept in step.
class QualityControls {
public:
    static constexpr int kMin = 1;
    static constexpr int kMax = 12;
    static constexpr int kPageStep = 1;
    enum Combo { kBest = 0, kHigh = 1, kMiddle = 2, kLow = 3 };
    static const char* ComboText(int combo);
    static int ComboForQuality(int quality);
    static int QualityForCombo(int combo);

    explicit QualityControls(int quality) : m_quality(quality) {}
    int Quality() const { return m_quality; }
    int Combo() const { return ComboForQuality(m_quality); }
    std::string EditText() const { return std::to_string(m_quality); }
    int SliderPosition() const { return m_quality; }

    void ChooseCombo(int combo);
    void MoveSlider(int position);
    // The box's text at each keystroke: a value in 1..12 is taken at once; anything else is
    // ignored, and the quality goes back to what it was before the typing began (typing "13"
    // passes through "1", which must not stay). True when the typed value was taken.
    bool TypeText(const std::string& text);
    // The box was left: the next keystroke begins a new typing.
    void EndTyping() { m_beforeTyping.reset(); }

private:
    int m_quality;
    std::optional<int> m_beforeTyping;
};

class JpegOptionsModel {
public:
    static constexpr const char* kCaption = "JPEG Options";
    // Takes the application-wide quality, clamped to 5..12.
    JpegOptionsModel();
    QualityControls& Controls() { return m_controls; }
    const QualityControls& Controls() const { return m_controls; }
    int Quality() const { return m_controls.Quality(); }
    // Stores the quality back into the application-wide value.
    void Ok();

private:
    QualityControls m_controls;
};

class TiffOptionsModel {
public:
    static constexpr const char* kCaption = "TIFF Options";
    static constexpr const char* kJpegQuestion =
        "JPEG compression is not supported in older TIFF readers.\nUse JPEG compression?";
    static constexpr const char* kZipQuestion =
        "ZIP compression is not supported in older TIFF readers.Use ZIP compression";

    TiffOptionsModel() : m_controls(9) {}
    // The radio buttons; JPEG and ZIP ask first and keep the previous choice on No.
    void ChooseNone();
    void ChooseLzw();
    void ChooseJpeg();
    void ChooseZip();

    int Compression() const { return m_compression; }
    int Quality() const { return m_controls.Quality(); }
    // The label, edit box, combo, slider and the "small file"/"large file" captions.
    bool QualityControlsEnabled() const { return m_compression == 7; }
    QualityControls& Controls() { return m_controls; }
    const QualityControls& Controls() const { return m_controls; }

private:
    int m_compression = 1;
    QualityControls m_controls;
};

}  // namespace zelvo
