#include "files/SaveOptions.h"

#include <algorithm>
#include <cctype>

#include "files/RasterFile.h"
#include "platform/Messages.h"

namespace zelvo {

int& AppJpegQuality() {
    static int quality = 8;
    return quality;
}

const char* QualityControls::ComboText(int combo) {
    static const char* const kTexts[] = {"best", "high", "middle", "low"};
    return combo >= 0 && combo < 4 ? kTexts[combo] : "";
}

int QualityControls::ComboForQuality(int quality) {
    if (quality >= 10) return kBest;
    if (quality >= 8) return kHigh;
    if (quality >= 5) return kMiddle;
    return kLow;
}

int QualityControls::QualityForCombo(int combo) {
    static const int kQualities[] = {10, 8, 5, 3};
    return kQualities[std::clamp(combo, 0, 3)];
}

void QualityControls::ChooseCombo(int combo) {
    if (combo >= 0 && combo < 4) m_quality = QualityForCombo(combo);
}

void QualityControls::MoveSlider(int position) {
    m_quality = std::clamp(position, kMin, kMax);
}

bool QualityControls::TypeText(const std::string& text) {
    if (!m_beforeTyping) m_beforeTyping = m_quality;
    const bool number =
        !text.empty() && text.size() <= 3 &&
        std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
    const int value = number ? std::stoi(text) : 0;
    if (!number || value < kMin || value > kMax) {
        m_quality = *m_beforeTyping;
        return false;
    }
    m_quality = value;
    return true;
}

JpegOptionsModel::JpegOptionsModel() : m_controls(std::clamp(AppJpegQuality(), 5, 12)) {}

void JpegOptionsModel::Ok() {
    AppJpegQuality() = m_controls.Quality();
}

void TiffOptionsModel::ChooseNone() {
    m_compression = kTiffNone;
}
void TiffOptionsModel::ChooseLzw() {
    m_compression = kTiffLzw;
}

void TiffOptionsModel::ChooseJpeg() {
    if (AppMessages().Ask(kJpegQuestion, Buttons::YesNo) == Answer::Yes) m_compression = kTiffJpeg;
}

void TiffOptionsModel::ChooseZip() {
    if (AppMessages().Ask(kZipQuestion, Buttons::YesNo) == Answer::Yes)
        m_compression = kTiffDeflate;
}

}  // namespace zelvo
