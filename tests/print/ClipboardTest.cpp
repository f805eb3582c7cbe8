// Clipboard text through libbramble.so's table: the buffer is filled and cut byte for byte.
// Built twice: on the offscreen platform and on an X server.
#include "bramble/Bramble.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ClipboardText, IsFilledAndCutAndGoesRoundTrip)
{
    struct Case {
        const char* clipboard; // null: the clipboard holds no text
        unsigned length;
        std::string expected;
    };
    const Case cases[] = {
        {"ABCDEFG", 5, std::string("ABCDE\0", 6)},
        {"AB", 5, std::string("AB\0\0\0\0", 6)},
        {"", 5, std::string(6, '\0')},
        {nullptr, 3, std::string(4, '\0')},
        {"\xe3\x81\x82\xe3\x81\x84", 4, std::string("\xe3\x81\x82\xe3\0", 5)},
    };
    for (const Case& c : cases) {
        if (c.clipboard != nullptr) {
            _CopyToClipboard(c.clipboard);
        } else {
            QGuiApplication::clipboard()->setImage(QImage(4, 4, QImage::Format_RGB32));
        }
        std::string buffer(c.length + 2, 'x');
        _PasteFromClipboard(buffer.data(), c.length);
        EXPECT_EQ(buffer.substr(0, c.length + 1), c.expected) << (c.clipboard ? c.clipboard : "(image)");
        EXPECT_EQ(buffer.back(), 'x') << "written past the buffer";
    }
    _CopyToClipboard("round trip");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("round trip"));
    _CopyToClipboard(nullptr);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("round trip"));
}

} // namespace
