// Clipboard text through libbramble.so's table, filled and cut byte for byte. Built for the
// offscreen platform and for an X server.
#include "bramble/Bramble.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ClipboardText, IsFilledAndCutAndGoesRoundTrip)
{
    const struct {
        const char* text; // null: the clipboard holds a picture, no text
        unsigned length;
        std::string expected;
    } cases[] = {
        {"ABCDEFG", 5, std::string("ABCDE\0", 6)},
        {"AB", 5, std::string("AB\0\0\0\0", 6)},
        {"", 5, std::string(6, '\0')},
        {nullptr, 3, std::string(4, '\0')},
        {"\xe3\x81\x82\xe3\x81\x84", 4, std::string("\xe3\x81\x82\xe3\0", 5)}, // cut inside a character
    };
    for (const auto& c : cases) {
        c.text ? _CopyToClipboard(c.text) : QGuiApplication::clipboard()->setImage(QImage(4, 4, QImage::Format_RGB32));
        std::string buffer(c.length + 2, 'x');
        _PasteFromClipboard(buffer.data(), c.length);
        EXPECT_EQ(buffer, c.expected + "x") << (c.text ? c.text : "(picture)");
    }
    _CopyToClipboard("round trip");
    _CopyToClipboard(nullptr);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("round trip"));
}

} // namespace
