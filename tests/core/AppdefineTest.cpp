// The settings file in a private working folder per test, and the dotted address helpers.
#include "app/core/Appdefine.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

const char* const kFile = "APPSET.DAT";

// The 68 bytes of a record, built byte by byte rather than through the structure.
std::string DefaultImage()
{
    std::string bytes(68, '\0');
    bytes[4] = 1;                         // COM 1
    bytes.replace(8, 12, "192.168.0.88"); // address text, zero bytes behind it
    bytes[24] = 0x11;                     // 10001 = 0x2711, little-endian
    bytes[25] = 0x27;
    bytes[28] = '\n'; // terminator "\n"
    return bytes;
}

// A record that differs from the defaults in every field, with reserved and spare bytes set.
std::string CustomImage()
{
    std::string bytes(68, '\0');
    bytes[0] = 1; // LAN
    bytes[4] = 9; // COM 9
    bytes.replace(8, 9, "10.0.0.77");
    bytes[24] = 0x39; // port 12345 = 0x3039
    bytes[25] = 0x30;
    bytes.replace(28, 2, "\r\n");
    bytes.replace(31, 7, "0.0.5.0");
    bytes.replace(47, 8, "10.0.0.5");
    bytes[63] = 0x5A;                         // spare
    bytes.replace(64, 4, "\xDE\xAD\xBE\xEF"); // reserved
    return bytes;
}

std::string FileBytes()
{
    return qmrtest::ReadFile(kFile);
}

void ExpectDefaults(const ComSettings& com)
{
    EXPECT_EQ(com.Interface, kInterfaceUsb);
    EXPECT_EQ(com.ComPort, 1);
    EXPECT_STREQ(com.IpAddress, "192.168.0.88");
    EXPECT_EQ(com.TcpPort, 10001);
    EXPECT_STREQ(com.Terminator, "\n");
    EXPECT_STREQ(com.IpAddress2, "");
    EXPECT_STREQ(com.IpAddressAlt, "");
    EXPECT_EQ(com.Spare, 0);
}

// A heap copy of exactly `bytes` (no zero byte added), so that the sanitizer sees any access
// past the field.
std::unique_ptr<char[]> Field(const std::string& bytes)
{
    auto field = std::make_unique<char[]>(bytes.size());
    std::memcpy(field.get(), bytes.data(), bytes.size());
    return field;
}

} // namespace

TEST(AppSetData, NoFileGivesDefaultsAndTheDeleteWritesThemAtOnce)
{
    qmrtest::ScopedWorkDir dir;
    KAppSetData* data = AppSetDataCreate();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(AppSetData, data);
    ExpectDefaults(*data->GetComSettings());
    EXPECT_EQ(FileBytes(), "");
    AppSetDataDelete();
    EXPECT_EQ(AppSetData, nullptr);
    EXPECT_EQ(FileBytes(), DefaultImage());
    AppSetDataDelete(); // nothing held: nothing happens
    EXPECT_EQ(FileBytes(), DefaultImage());
}

TEST(AppSetData, FilesShorterThanTheRecordAreIgnoredWhole)
{
    for (std::size_t size : {0u, 1u, 40u, 67u}) {
        SCOPED_TRACE(size);
        qmrtest::ScopedWorkDir dir;
        qmrtest::WriteFile(kFile, CustomImage().substr(0, size));
        KAppSetData* data = AppSetDataCreate();
        ASSERT_NE(data, nullptr);
        ExpectDefaults(*data->GetComSettings());
        // No trace of the partly read bytes, reserved bytes included.
        EXPECT_EQ(std::memcmp(&data->Record(), DefaultImage().data(), 68), 0);
        AppSetDataDelete();
        EXPECT_EQ(FileBytes(), DefaultImage());
    }
}

TEST(AppSetData, LongerFileIsReadForTheRecordAndRewrittenAs68Bytes)
{
    qmrtest::ScopedWorkDir dir;
    qmrtest::WriteFile(kFile, CustomImage() + std::string(32, '\x7F'));
    KAppSetData* data = AppSetDataCreate();
    ASSERT_NE(data, nullptr);
    const ComSettings& com = *data->GetComSettings();
    EXPECT_EQ(com.Interface, kInterfaceLan);
    EXPECT_EQ(com.ComPort, 9);
    EXPECT_STREQ(com.IpAddress, "10.0.0.77");
    EXPECT_EQ(com.TcpPort, 12345);
    EXPECT_STREQ(com.Terminator, "\r\n");
    EXPECT_STREQ(com.IpAddress2, "0.0.5.0");
    EXPECT_STREQ(com.IpAddressAlt, "10.0.0.5");
    EXPECT_EQ(com.Spare, 0x5A);
    AppSetDataDelete();
    EXPECT_EQ(FileBytes(), CustomImage());
}

TEST(AppSetData, ReservedAndSpareBytesSurviveBothWritesOfARun)
{
    qmrtest::ScopedWorkDir dir;
    qmrtest::WriteFile(kFile, CustomImage());

    // Start-up: read and written back at once.
    ASSERT_NE(AppSetDataCreate(), nullptr);
    ComSettings live = *AppSetData->GetComSettings();
    AppSetDataDelete();
    EXPECT_EQ(FileBytes(), CustomImage());

    // Shut-down: read again, the live block copied over, written.
    live.ComPort = 3;
    live.Interface = kInterfaceUsb;
    std::memcpy(live.IpAddress, "192.168.1.2", sizeof "192.168.1.2");
    ASSERT_NE(AppSetDataCreate(), nullptr);
    std::memcpy(AppSetData->GetComSettings(), &live, sizeof live);
    AppSetDataDelete();

    std::string expected = CustomImage();
    expected[0] = 0;
    expected[4] = 3;
    expected.replace(8, 12, std::string("192.168.1.2\0", 12));
    EXPECT_EQ(FileBytes(), expected);
    EXPECT_EQ(FileBytes().substr(63), "\x5A\xDE\xAD\xBE\xEF");
}

TEST(AppSetData, SecondCreateSavesTheFirstObjectBeforeReplacingIt)
{
    qmrtest::ScopedWorkDir dir;
    ASSERT_NE(AppSetDataCreate(), nullptr);
    AppSetData->GetComSettings()->ComPort = 12;
    KAppSetData* second = AppSetDataCreate();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->GetComSettings()->ComPort, 12);
    AppSetDataDelete();
}

TEST(AppSetData, UnwritableFileIsSilentlyNotSaved)
{
    qmrtest::ScopedWorkDir dir;
    std::filesystem::create_directory(kFile); // a folder in the file's place: no open works
    KAppSetData data;
    ExpectDefaults(*data.GetComSettings());
    EXPECT_FALSE(data.Save());
    EXPECT_FALSE(data.Load());
}

TEST(AppSetData, FieldsWithoutZeroByteAreReadAsWhole16ByteTexts)
{
    qmrtest::ScopedWorkDir dir;
    std::string image = CustomImage();
    // The second address fills its field; a read past it would run on into the alternative
    // address and take "0000000000255" as the fourth part.
    image.replace(31, 16, "0.0.5.0000000000");
    image.replace(47, 16, "255.255.255.255.");
    image.replace(8, 16, "192.168.000.0881");
    image.replace(28, 3, "xyz");
    qmrtest::WriteFile(kFile, image);

    ASSERT_NE(AppSetDataCreate(), nullptr);
    ComSettings& com = *AppSetData->GetComSettings();
    EXPECT_TRUE(IsIpEqualConst(com.IpAddress2));
    EXPECT_TRUE(IsIpAll255(com.IpAddressAlt));
    EXPECT_EQ(std::string(NormalizeIpText(com.IpAddress)), "192.168.0.881");
    EXPECT_EQ(com.TcpPort, 12345); // the rewrite stayed inside its field
    // The other fields are carried unchanged.
    EXPECT_EQ(std::memcmp(com.Terminator, "xyz", 3), 0);
    EXPECT_EQ(std::memcmp(com.IpAddress2, "0.0.5.0000000000", 16), 0);
    AppSetDataDelete();
    image.replace(8, 16,
                  std::string("192.168.0.881\0"
                              "81",
                              16));
    EXPECT_EQ(FileBytes(), image);
}

TEST(IpText, IsIpEqualConst)
{
    const struct {
        const char* text;
        bool expected;
    } rows[] = {
        {"0.0.5.0", true},  {"00.0.05.0", true}, {"0.0.5.0.7", true},   {"0.0.5", false},    {" 0.+0.5.-0", true},
        {"0.0.5x.0", true}, {"0.0.5.1", false},  {"0.0.5.", true},      {"", false},         {"...", false},
        {"0..5.0", true},   {"1.0.5.0", false},  {"0.0.005.000", true}, {"0.0.+5.0 ", true}, {"0.0.-5.0", false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(IsIpEqualConst(row.text), row.expected) << '"' << row.text << '"';
    }
    EXPECT_FALSE(IsIpEqualConst(nullptr));
}

TEST(IpText, IsIpAll255)
{
    const struct {
        const char* text;
        bool expected;
    } rows[] = {
        {"255.255.255.255", true},   {"255.255.255.0255", false}, {"255.255.255", false},
        {"255.255.255.255.1", true}, {" 255.255.255.255", false}, {"255.255.255.255 ", false},
        {"255.255.255.+255", false}, {"255.255.255.", false},     {"", false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(IsIpAll255(row.text), row.expected) << '"' << row.text << '"';
    }
    EXPECT_FALSE(IsIpAll255(nullptr));
}

TEST(IpText, NormalizeIpText)
{
    const struct {
        const char* text;
        const char* expected;
    } rows[] = {
        {"192.168.000.088", "192.168.0.88"},
        {"000.000.000.000", "0.0.0.0"},
        {"192.168", "192.168."},
        {"", "0."},
        {"1.2.3.4.5", "1.2.3.4"},
        {"-1.+2. 3.x", "-1.2.3.0"},
        {"...", "0.0.0.0"},
        {"10.0.0.5", "10.0.0.5"},
        {"1.2.3", "1.2.3."},
        {"7", "7."},
        // Longer than the field: cut to its first 15 characters.
        {"1234567890123..", "1234567890123.0"},
        {"999999999999999", "999999999999999"},
    };
    for (const auto& row : rows) {
        char field[kIpTextSize] = {};
        std::strncpy(field, row.text, sizeof field - 1);
        EXPECT_EQ(NormalizeIpText(field), field);
        EXPECT_STREQ(field, row.expected) << '"' << row.text << '"';
    }
    EXPECT_EQ(NormalizeIpText(nullptr), nullptr);
}

TEST(IpText, HostileFieldsAreNeitherReadNorWrittenPastTheirEnd)
{
    const struct {
        std::string bytes;
        const char* normalized;
    } rows[] = {
        {std::string(16, '9'), "999999999999999"},
        {std::string(16, '.'), "0.0.0.0"},
        {"0.0.5.0000000000", "0.0.5.0"},
        {"255.255.255.2555", "255.255.255.255"},
        {"-99999999999999.", "-99999999999999"},
        {"1.1.1.1111111111", "1.1.1.111111111"},
        {"12.", "12"},
        {"9.", "9"},
        {"4", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.bytes);
        auto field = Field(row.bytes);
        IsIpEqualConst(field.get(), row.bytes.size());
        IsIpAll255(field.get(), row.bytes.size());
        NormalizeIpText(field.get(), row.bytes.size());
        EXPECT_EQ(std::string(field.get(), strnlen(field.get(), row.bytes.size())), row.normalized);
        EXPECT_LT(strnlen(field.get(), row.bytes.size()), row.bytes.size());
    }
    // A bound of 0 touches nothing.
    char untouched = 'z';
    EXPECT_EQ(NormalizeIpText(&untouched, 0), &untouched);
    EXPECT_EQ(untouched, 'z');
    EXPECT_FALSE(IsIpEqualConst(&untouched, 0));
}
