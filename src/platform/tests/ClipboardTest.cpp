// The in-process clipboard, and the Qt one on the off-screen platform: our own bitmap comes
// back byte for byte, other programs' pictures come back as 24-bit bitmaps over white.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>

#include <clocale>
#include <cstdlib>
#include <cstring>

#include "platform/Clipboard.h"
#include "platform/MaskPainter.h"
#include "platform/Messages.h"
#include "platform/QtClipboard.h"

namespace zelvo {
namespace {

std::vector<uint8_t> Dib32(int32_t w, int32_t h, uint8_t fourth) {
    std::vector<uint8_t> d(40 + size_t(w) * 4 * size_t(h), 0);
    const int32_t header = 40;
    std::memcpy(d.data(), &header, 4);
    std::memcpy(d.data() + 4, &w, 4);
    std::memcpy(d.data() + 8, &h, 4);
    d[12] = 1;
    d[14] = 32;
    for (size_t i = 40; i < d.size(); i += 4) {
        d[i] = 10;
        d[i + 1] = 20;
        d[i + 2] = 30;
        d[i + 3] = fourth;
    }
    return d;
}

TEST(MemoryClipboardTest, HoldsOneBitmapAndFailsWhileLocked) {
    MemoryClipboard c;
    EXPECT_FALSE(c.HasDib());
    EXPECT_TRUE(c.SetDib({1, 2, 3}));
    EXPECT_EQ(c.Dib(), (std::vector<uint8_t>{1, 2, 3}));
    c.SetLocked(true);
    EXPECT_FALSE(c.SetDib({4}));
    EXPECT_FALSE(c.Empty());
    c.SetLocked(false);
    EXPECT_TRUE(c.Empty());
    EXPECT_FALSE(c.HasDib());
    EXPECT_FALSE(c.Dib());
}

TEST(MemoryClipboardTest, TheAppClipboardIsAMemoryOneUntilAnotherIsInstalled) {
    Clipboard& fallback = AppClipboard();
    MemoryClipboard mine;
    SetAppClipboard(&mine);
    EXPECT_EQ(&AppClipboard(), &mine);
    SetAppClipboard(nullptr);
    EXPECT_EQ(&AppClipboard(), &fallback);
}

// Qt takes the locale from the environment; the point in numbers stays whatever it names.
TEST(QtGuiApplicationTest, NumbersKeepThePointInAnyLocale) {
    setenv("LC_ALL", "C.UTF-8", 1);
    if (!EnsureGuiApplication()) GTEST_SKIP() << "no Qt GUI application can be made here";
    EXPECT_STREQ(setlocale(LC_NUMERIC, nullptr), "C");
    EXPECT_EQ(std::strtod("1.5", nullptr), 1.5);
}

class QtClipboardTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!EnsureGuiApplication()) GTEST_SKIP() << "no Qt GUI application can be made here";
        QGuiApplication::clipboard()->setText("probe");
        if (QGuiApplication::clipboard()->text() != "probe")
            GTEST_SKIP() << "this Qt platform has no clipboard";
    }
};

TEST_F(QtClipboardTest, OwnBitmapComesBackExactlyBesideAPictureForOthers) {
    QtClipboard c;
    const std::vector<uint8_t> dib = Dib32(3, 2, 51);
    ASSERT_TRUE(c.SetDib(dib));
    EXPECT_TRUE(c.HasDib());
    EXPECT_EQ(c.Dib(), dib);
    const QImage others = QGuiApplication::clipboard()->image();
    ASSERT_FALSE(others.isNull());
    EXPECT_EQ(others.size(), QSize(3, 2));
    EXPECT_EQ(others.pixel(2, 1), qRgb(30, 20, 10));
    EXPECT_TRUE(c.Empty());
    EXPECT_FALSE(c.HasDib());
    EXPECT_FALSE(c.Dib());
}

TEST_F(QtClipboardTest, OtherProgramsPicturesBecomeTwentyFourBitBitmapsOverWhite) {
    QImage picture(2, 1, QImage::Format_ARGB32);
    picture.setPixel(0, 0, qRgba(255, 0, 0, 255));
    picture.setPixel(1, 0, qRgba(0, 0, 0, 0));  // transparent: white shows through
    QGuiApplication::clipboard()->setImage(picture);
    QtClipboard c;
    ASSERT_TRUE(c.HasDib());
    const auto dib = c.Dib();
    ASSERT_TRUE(dib);
    ASSERT_GE(dib->size(), 48u);
    EXPECT_EQ((*dib)[14], 24);
    const uint8_t* row = dib->data() + 40;
    EXPECT_EQ(row[0], 0);  // B, G, R of red
    EXPECT_EQ(row[1], 0);
    EXPECT_EQ(row[2], 255);
    EXPECT_EQ(row[3], 255);
    EXPECT_EQ(row[4], 255);
    EXPECT_EQ(row[5], 255);
}

// The answer is kept between questions, but not past a change another program makes.
TEST_F(QtClipboardTest, WhetherAPictureIsThereFollowsOtherProgramsChanges) {
    QtClipboard c;
    QClipboard* system = QGuiApplication::clipboard();
    system->setText("words");
    EXPECT_FALSE(c.HasDib());
    QImage picture(1, 1, QImage::Format_RGB32);
    picture.fill(Qt::red);
    system->setImage(picture);
    EXPECT_TRUE(c.HasDib());
    EXPECT_TRUE(c.HasDib());
    system->setText("words again");
    EXPECT_FALSE(c.HasDib());
}

TEST_F(QtClipboardTest, ABmpFileOnTheClipboardIsRead) {
    QImage picture(1, 1, QImage::Format_RGB32);
    picture.setPixel(0, 0, qRgb(1, 2, 3));
    QByteArray bmp;
    {
        QBuffer buffer(&bmp);
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(picture.save(&buffer, "BMP"));
    }
    auto* data = new QMimeData;
    data->setData("image/bmp", bmp);
    QGuiApplication::clipboard()->setMimeData(data);
    QtClipboard c;
    const auto dib = c.Dib();
    ASSERT_TRUE(dib);
    EXPECT_EQ((*dib)[40], 3);
    EXPECT_EQ((*dib)[41], 2);
    EXPECT_EQ((*dib)[42], 1);
}

// A 36-megapixel picture (144 MB, past Qt's own limit for decoding) from another program pastes
// like a small one, every row in its place although it is converted a band of rows at a time.
TEST_F(QtClipboardTest, ALargePictureFromAnotherProgramIsRead) {
    const int side = 6000;
    const int rows[] = {0, 255, 256, 300, side - 1};
    QImage picture(side, side, QImage::Format_RGB32);
    picture.fill(qRgb(10, 200, 30));
    for (const int y : rows) picture.setPixel(y % 97, y, qRgb(y % 251, 7, 200));
    QByteArray bmp;
    {
        QBuffer buffer(&bmp);
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(picture.save(&buffer, "BMP"));
    }
    picture = QImage();
    auto* data = new QMimeData;
    data->setData("image/bmp", bmp);
    QGuiApplication::clipboard()->setMimeData(data);
    QtClipboard c;
    const auto dib = c.Dib();
    QGuiApplication::clipboard()->clear();
    ASSERT_TRUE(dib);
    int32_t w = 0, h = 0;
    std::memcpy(&w, dib->data() + 4, 4);
    std::memcpy(&h, dib->data() + 8, 4);
    ASSERT_EQ(w, side);
    ASSERT_EQ(h, side);
    auto at = [&](int x, int y) {
        const uint8_t* p = dib->data() + 40 + size_t(side - 1 - y) * side * 3 + size_t(x) * 3;
        return qRgb(p[2], p[1], p[0]);
    };
    for (const int y : rows) {
        EXPECT_EQ(at(y % 97, y), qRgb(y % 251, 7, 200)) << y;
        EXPECT_EQ(at(y % 97 + 1, y), qRgb(10, 200, 30)) << y;
    }
}

// A picture too large to decode is refused with a message, not dropped without a word: only
// its header is needed to know, so the test's PNG has nothing after it.
TEST_F(QtClipboardTest, APictureTooLargeToPasteIsRefusedWithAMessage) {
    auto be32 = [](QByteArray& b, uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) b.append(char((v >> shift) & 0xFF));
    };
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    auto chunk = [&](QByteArray typeAndData) {
        be32(png, uint32_t(typeAndData.size() - 4));
        png.append(typeAndData);
        uint32_t crc = 0xFFFFFFFFu;
        for (const char ch : typeAndData) {
            crc ^= uint8_t(ch);
            for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
        be32(png, ~crc);
    };
    QByteArray header("IHDR");
    be32(header, 15000);
    be32(header, 10000);
    header.append("\x08\x06\x00\x00\x00", 5);  // 8-bit RGBA
    chunk(header);
    chunk("IDAT");
    auto* data = new QMimeData;
    data->setData("image/png", png);
    QGuiApplication::clipboard()->setMimeData(data);
    ScopedRecordingMessages messages;
    QtClipboard c;
    EXPECT_FALSE(c.Dib());
    QGuiApplication::clipboard()->clear();
    EXPECT_EQ(messages.Last(),
              "The picture on the clipboard is too large to paste (15000 x 10000 pixels).");
}

}  // namespace
}  // namespace zelvo
