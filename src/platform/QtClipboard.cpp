#include "platform/QtClipboard.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QMimeData>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>

#include "platform/Messages.h"

namespace zelvo {

namespace {

QClipboard* SystemClipboard() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance())
               ? QGuiApplication::clipboard()
               : nullptr;
}

// Changes the system clipboard has told of (GUI thread only).
int g_changes = 0;

void CountChanges(QClipboard* clipboard) {
    static QClipboard* counted = nullptr;
    if (counted == clipboard) return;
    counted = clipboard;
    QObject::connect(clipboard, &QClipboard::dataChanged, clipboard, [] { ++g_changes; });
}

int32_t ReadInt32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return int32_t(v);
}

void WriteInt32(uint8_t* p, int32_t v) {
    std::memcpy(p, &v, 4);
}

// The picture other programs see: the bitmap's colour bytes, opaque. Null when the bytes are
// not a plain 24- or 32-bit bitmap.
QImage PictureOf(const std::vector<uint8_t>& dib) {
    if (dib.size() < 40) return {};
    const int32_t headerBytes = ReadInt32(dib.data());
    const int32_t width = ReadInt32(dib.data() + 4);
    const int32_t height = ReadInt32(dib.data() + 8);
    uint16_t bits;
    std::memcpy(&bits, dib.data() + 14, 2);
    if (headerBytes < 40 || width <= 0 || height <= 0 || (bits != 24 && bits != 32)) return {};
    const uint64_t stride = ((uint64_t(bits) * uint64_t(width) + 31) / 32) * 4;
    if (uint64_t(headerBytes) + stride * uint64_t(height) > dib.size()) return {};
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull()) return {};
    const size_t step = bits / 8;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* src = dib.data() + size_t(headerBytes) + size_t(height - 1 - y) * stride;
        QRgb* dst = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int32_t x = 0; x < width; ++x, src += step) dst[x] = qRgb(src[2], src[1], src[0]);
    }
    return image;
}

// Another program's picture as a 24-bit DIB, composited over white a band of rows at a time,
// so that only the picture and the bitmap are held whole.
std::optional<std::vector<uint8_t>> DibOf(const QImage& picture) {
    if (picture.isNull() || picture.width() <= 0 || picture.height() <= 0) return std::nullopt;
    const int32_t width = picture.width(), height = picture.height();
    const uint64_t stride = ((24 * uint64_t(width) + 31) / 32) * 4;
    if (stride * uint64_t(height) > (uint64_t(1) << 31)) return std::nullopt;
    constexpr int32_t kBand = 256;
    QImage over(width, std::min(height, kBand), QImage::Format_RGB32);
    if (over.isNull()) return std::nullopt;
    std::vector<uint8_t> dib(40 + size_t(stride) * size_t(height), 0);
    WriteInt32(dib.data(), 40);
    WriteInt32(dib.data() + 4, width);
    WriteInt32(dib.data() + 8, height);
    dib[12] = 1;   // planes
    dib[14] = 24;  // bits per pixel
    WriteInt32(dib.data() + 20, int32_t(stride * uint64_t(height)));
    for (int32_t top = 0; top < height; top += kBand) {
        over.fill(Qt::white);
        {
            QPainter painter(&over);
            painter.drawImage(0, -top, picture);
        }
        for (int32_t y = top; y < std::min(height, top + kBand); ++y) {
            uint8_t* dst = dib.data() + 40 + size_t(height - 1 - y) * size_t(stride);
            const QRgb* src = reinterpret_cast<const QRgb*>(over.constScanLine(y - top));
            for (int32_t x = 0; x < width; ++x, dst += 3) {
                dst[0] = uint8_t(qBlue(src[x]));
                dst[1] = uint8_t(qGreen(src[x]));
                dst[2] = uint8_t(qRed(src[x]));
            }
        }
    }
    return dib;
}

}  // namespace

bool QtClipboard::SetDib(const std::vector<uint8_t>& dib) {
    QClipboard* clipboard = SystemClipboard();
    if (!clipboard) return false;
    auto* data = new QMimeData;
    data->setData(kMimeType,
                  QByteArray(reinterpret_cast<const char*>(dib.data()), qsizetype(dib.size())));
    const QImage picture = PictureOf(dib);
    if (!picture.isNull()) data->setImageData(picture);
    clipboard->setMimeData(data);  // the clipboard owns it now
    m_known = false;
    return true;
}

std::optional<std::vector<uint8_t>> QtClipboard::Dib() {
    QClipboard* clipboard = SystemClipboard();
    const QMimeData* data = clipboard ? clipboard->mimeData() : nullptr;
    if (!data) return std::nullopt;
    if (data->hasFormat(kMimeType)) {
        const QByteArray bytes = data->data(kMimeType);
        return std::vector<uint8_t>(bytes.begin(), bytes.end());
    }
    // Qt refuses to decode a picture of more than 128 MB (a 32-megapixel photograph) unless
    // told otherwise, and a paste of a large picture must read it before cutting it to the
    // canvas.
    QImageReader::setAllocationLimit(kPictureLimitMb);
    for (const char* format : {"PNG", "BMP"}) {
        const QString mime = QStringLiteral("image/") + QString::fromLatin1(format).toLower();
        if (!data->hasFormat(mime)) continue;
        QByteArray bytes = data->data(mime);
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, format);
        // Past the limit Qt would refuse it without a word, and Paste would seem to do nothing.
        const QSize size = reader.size();
        if (size.isValid() &&
            int64_t(size.width()) * size.height() * 4 > (int64_t(kPictureLimitMb) << 20)) {
            AppMessages().Show("The picture on the clipboard is too large to paste (" +
                               std::to_string(size.width()) + " x " +
                               std::to_string(size.height()) + " pixels).");
            return std::nullopt;
        }
        QImage picture;
        if (reader.read(&picture)) return DibOf(picture);
    }
    if (data->hasImage()) return DibOf(qvariant_cast<QImage>(data->imageData()));
    return std::nullopt;
}

bool QtClipboard::HasDib() {
    QClipboard* clipboard = SystemClipboard();
    if (!clipboard) return false;
    // Each question is a round trip to the program that owns the clipboard, and the menus ask
    // four times a second: the answer holds until the clipboard tells of a change, and a
    // second at most in case it does not.
    CountChanges(clipboard);
    const auto now = std::chrono::steady_clock::now();
    if (m_known && m_changes == g_changes && now - m_askedAt < std::chrono::seconds(1))
        return m_has;
    const QMimeData* data = clipboard->mimeData();
    m_has =
        data && (data->hasFormat(kMimeType) || data->hasFormat("image/bmp") || data->hasImage());
    m_known = true;
    m_changes = g_changes;
    m_askedAt = now;
    return m_has;
}

bool QtClipboard::Empty() {
    QClipboard* clipboard = SystemClipboard();
    if (!clipboard) return false;
    clipboard->clear();
    m_known = false;
    return true;
}

bool QtClipboard::SetText(const std::string& text) {
    QClipboard* clipboard = SystemClipboard();
    if (!clipboard) return false;
    clipboard->setText(QString::fromStdString(text));
    m_known = false;
    return true;
}

std::optional<std::string> QtClipboard::Text() {
    QClipboard* clipboard = SystemClipboard();
    const QMimeData* data = clipboard ? clipboard->mimeData() : nullptr;
    if (!data || !data->hasText()) return std::nullopt;
    return data->text().toStdString();
}

}  // namespace zelvo
