#include "common/Kfile2.h"

#include "TestSupport.h"

#include <QApplication>
#include <QWidget>

#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace {

using qmrtest::ReadFile;
using qmrtest::WriteFile;

// Every line that ReadLine gives until the error code is set, as the address check reads.
std::vector<std::string> ReadAllLines(KFile& file, int maximum)
{
    std::vector<std::string> lines;
    std::vector<char> buffer(static_cast<size_t>(maximum) + 1, '\x7f');
    while (file.GetError() == KFile::kErrNone) {
        const int length = file.ReadLine(buffer.data(), maximum);
        if (length < 0) {
            break;
        }
        EXPECT_LE(length, maximum);
        EXPECT_EQ(buffer[static_cast<size_t>(length)], '\0');
        lines.emplace_back(buffer.data(), static_cast<size_t>(length));
    }
    return lines;
}

} // namespace

TEST(Kfile2, ShortFileReadOfWholeRecordFails)
{
    qmrtest::ScopedWorkDir dir;
    WriteFile("APPSET.DAT", std::string(40, 'x'));
    std::unique_ptr<KBinFile> file(OpenBinFile("APPSET.DAT", 0));
    ASSERT_NE(file, nullptr);
    char record[68] = {};
    EXPECT_EQ(file->Read(record, 68), -1);
    EXPECT_EQ(file->GetError(), KFile::kErrRead);
}

TEST(Kfile2, ReadOfExactCountSucceedsAndCountsAreChecked)
{
    qmrtest::ScopedWorkDir dir;
    WriteFile("data", "0123456789");
    std::unique_ptr<KBinFile> file(OpenBinFile("data", 0));
    ASSERT_NE(file, nullptr);
    char buffer[11] = {};
    EXPECT_EQ(file->Read(buffer, 0), 0);
    EXPECT_EQ(file->Read(buffer, 10), 10);
    EXPECT_EQ(std::string(buffer, 10), "0123456789");
    EXPECT_EQ(file->GetError(), KFile::kErrNone);
    EXPECT_EQ(file->Read(buffer, -1), -1);
    EXPECT_EQ(file->GetError(), KFile::kErrRead);
    EXPECT_EQ(file->Read(nullptr, 4), -1);
}

TEST(Kfile2, MissingFileForReadingGivesNothingAndShowsNothing)
{
    qmrtest::ScopedWorkDir dir;
    EXPECT_EQ(OpenBinFile("missing.dat", 0), nullptr);
    EXPECT_EQ(OpenTxtFile("missing.txt", 0), nullptr);
    EXPECT_FALSE(std::filesystem::exists("missing.dat"));
    QApplication::processEvents();
    EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty());

    KBinFile file;
    EXPECT_FALSE(file.OpenRead("missing.dat"));
    EXPECT_EQ(file.GetError(), KFile::kErrOpen);
    EXPECT_FALSE(file.IsOpen());
}

TEST(Kfile2, WriteModeCreatesAndTruncatesAppendModeAppends)
{
    qmrtest::ScopedWorkDir dir;
    {
        std::unique_ptr<KBinFile> file(OpenBinFile("out.dat", 1));
        ASSERT_NE(file, nullptr);
        EXPECT_TRUE(std::filesystem::exists("out.dat"));
        EXPECT_EQ(file->Write("abc", 3), 0);
    }
    EXPECT_EQ(ReadFile("out.dat"), "abc");
    {
        std::unique_ptr<KBinFile> file(OpenBinFile("out.dat", 2));
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(file->Write("de", 2), 0);
    }
    EXPECT_EQ(ReadFile("out.dat"), "abcde");
    {
        std::unique_ptr<KTxtFile> file(OpenTxtFile("out.dat", 1));
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(file->Write("x\n", 2), 0);
    }
    EXPECT_EQ(ReadFile("out.dat"), "x\n");
    {
        std::unique_ptr<KTxtFile> file(OpenTxtFile("out.dat", 2));
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(file->Write("y\n", 2), 0);
    }
    EXPECT_EQ(ReadFile("out.dat"), "x\ny\n");
}

TEST(Kfile2, FactoryRefusesUnknownModesAndUnopenablePaths)
{
    qmrtest::ScopedWorkDir dir;
    WriteFile("exists", "1");
    for (int mode : {3, -1, 255}) {
        EXPECT_EQ(OpenBinFile("exists", mode), nullptr) << mode;
        EXPECT_EQ(OpenTxtFile("exists", mode), nullptr) << mode;
    }
    EXPECT_EQ(OpenBinFile("no/such/folder/file", 1), nullptr);
    EXPECT_EQ(OpenBinFile(nullptr, 1), nullptr);
    std::filesystem::create_directory("folder");
    EXPECT_EQ(OpenBinFile("folder", 0), nullptr);
}

TEST(Kfile2, LinesOfThreeLineFile)
{
    qmrtest::ScopedWorkDir dir;
    WriteFile("chkip.res", "a\n\nb");
    for (int text = 0; text < 2; ++text) {
        std::unique_ptr<KFile> file(text != 0 ? static_cast<KFile*>(OpenTxtFile("chkip.res", 0))
                                              : static_cast<KFile*>(OpenBinFile("chkip.res", 0)));
        ASSERT_NE(file, nullptr);
        char line[161];
        EXPECT_EQ(file->ReadLine(line, 160), 1);
        EXPECT_STREQ(line, "a");
        EXPECT_EQ(file->ReadLine(line, 160), 0);
        EXPECT_STREQ(line, "");
        EXPECT_EQ(file->ReadLine(line, 160), 1);
        EXPECT_STREQ(line, "b");
        EXPECT_EQ(file->GetError(), KFile::kErrNone);
        EXPECT_EQ(file->ReadLine(line, 160), -1);
        EXPECT_EQ(file->GetError(), KFile::kErrRead);
    }
}

TEST(Kfile2, LongLinesComeInPieces)
{
    qmrtest::ScopedWorkDir dir;
    WriteFile("long.txt", "abcdefghij\nxy");
    std::unique_ptr<KTxtFile> file(OpenTxtFile("long.txt", 0));
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(ReadAllLines(*file, 4), (std::vector<std::string>{"abcd", "efgh", "ij", "xy"}));
    EXPECT_EQ(file->GetError(), KFile::kErrRead);
}

TEST(Kfile2, TextFilesDropCarriageReturnOfLineEndBinaryFilesKeepIt)
{
    qmrtest::ScopedWorkDir dir;
    WriteFile("crlf", "64 bytes: ms TTL=64\r\n\r\nlast\r");
    {
        std::unique_ptr<KTxtFile> file(OpenTxtFile("crlf", 0));
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(ReadAllLines(*file, 160), (std::vector<std::string>{"64 bytes: ms TTL=64", "", "last\r"}));
    }
    {
        std::unique_ptr<KBinFile> file(OpenBinFile("crlf", 0));
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(ReadAllLines(*file, 160), (std::vector<std::string>{"64 bytes: ms TTL=64\r", "\r", "last\r"}));
    }
    // A piece that ends between "\r" and "\n" still loses the pair.
    WriteFile("split", "ab\r\ncd\rx");
    std::unique_ptr<KTxtFile> file(OpenTxtFile("split", 0));
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(ReadAllLines(*file, 3), (std::vector<std::string>{"ab", "cd\r", "x"}));
}

TEST(Kfile2, WrongDirectionIsRefused)
{
    qmrtest::ScopedWorkDir dir;
    WriteFile("in", "content");
    std::unique_ptr<KBinFile> reader(OpenBinFile("in", 0));
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->Write("x", 1), -1);
    EXPECT_EQ(reader->GetError(), KFile::kErrWrite);

    std::unique_ptr<KBinFile> writer(OpenBinFile("out", 1));
    ASSERT_NE(writer, nullptr);
    char buffer[8];
    EXPECT_EQ(writer->Read(buffer, 1), -1);
    EXPECT_EQ(writer->GetError(), KFile::kErrRead);
    char line[8];
    EXPECT_EQ(writer->ReadLine(line, 7), -1);
    EXPECT_EQ(writer->GetError(), KFile::kErrRead);
    EXPECT_EQ(ReadFile("in"), "content");
}

TEST(Kfile2, ErrorCodeIsSticky)
{
    qmrtest::ScopedWorkDir dir;
    WriteFile("in", "0123");
    std::unique_ptr<KBinFile> file(OpenBinFile("in", 0));
    ASSERT_NE(file, nullptr);
    char buffer[8];
    EXPECT_EQ(file->Write("x", 1), -1);
    EXPECT_EQ(file->GetError(), KFile::kErrWrite);
    EXPECT_EQ(file->Read(buffer, 2), 2);
    EXPECT_EQ(file->GetError(), KFile::kErrWrite);
    EXPECT_EQ(file->Read(buffer, 8), -1);
    EXPECT_EQ(file->GetError(), KFile::kErrRead);
}

TEST(Kfile2, GetSizeKeepsThePosition)
{
    qmrtest::ScopedWorkDir dir;
    std::string content;
    for (int i = 0; i < 40; ++i) {
        content += static_cast<char>('A' + i % 26);
    }
    WriteFile("pos", content);
    std::unique_ptr<KBinFile> file(OpenBinFile("pos", 0));
    ASSERT_NE(file, nullptr);
    char buffer[10];
    ASSERT_EQ(file->Read(buffer, 10), 10);
    EXPECT_EQ(file->GetSize(), 40);
    ASSERT_EQ(file->Read(buffer, 10), 10);
    EXPECT_EQ(std::string(buffer, 10), content.substr(10, 10));
    EXPECT_EQ(file->GetError(), KFile::kErrNone);

    std::unique_ptr<KBinFile> writer(OpenBinFile("grow", 1));
    ASSERT_NE(writer, nullptr);
    EXPECT_EQ(writer->Write("12345", 5), 0);
    EXPECT_EQ(writer->GetSize(), 5);
    EXPECT_EQ(writer->Write("6", 1), 0);
    EXPECT_EQ(writer->GetSize(), 6);
}

TEST(Kfile2, ClosedOrBaseFilesFailEveryOperation)
{
    KFile base;
    EXPECT_FALSE(base.OpenRead("anything"));
    EXPECT_FALSE(base.OpenWrite("anything"));
    EXPECT_EQ(base.GetSize(), -1);
    EXPECT_EQ(base.GetError(), KFile::kErrSize);
    char buffer[4];
    EXPECT_EQ(base.Write("x", 1), -1);
    EXPECT_EQ(base.GetError(), KFile::kErrWrite);
    EXPECT_EQ(base.ReadLine(buffer, 3), -1);
    EXPECT_EQ(base.GetError(), KFile::kErrRead);

    qmrtest::ScopedWorkDir dir;
    WriteFile("in", "abc\n");
    std::unique_ptr<KTxtFile> file(OpenTxtFile("in", 0));
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->ReadLine(nullptr, 10), -1);
    EXPECT_EQ(file->ReadLine(buffer, 0), -1);
    file->Close();
    file->Close();
    EXPECT_FALSE(file->IsOpen());
    EXPECT_EQ(file->ReadLine(buffer, 3), -1);
    EXPECT_EQ(file->Read(buffer, 1), -1);
}

TEST(Kfile2, OverlongAndBinaryContentReadsSafely)
{
    qmrtest::ScopedWorkDir dir;
    std::string content(100000, 'z');
    content += "\n";
    content += std::string("\0\0\xff\n", 4);
    content += std::string(159, 'q');
    WriteFile("big", content);
    std::unique_ptr<KTxtFile> file(OpenTxtFile("big", 0));
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->GetSize(), static_cast<int>(content.size()));
    const std::vector<std::string> lines = ReadAllLines(*file, 160);
    ASSERT_EQ(lines.size(), 100000u / 160 + 1 + 1 + 1);
    EXPECT_EQ(lines.front(), std::string(160, 'z'));
    EXPECT_EQ(lines[lines.size() - 3], std::string(100000 % 160, 'z'));
    EXPECT_EQ(lines[lines.size() - 2], ""); // a zero byte ends the text of its line
    EXPECT_EQ(lines.back(), std::string(159, 'q'));
}

TEST(Kfile2, FileExistTellsFilesOnly)
{
    qmrtest::ScopedWorkDir dir;
    WriteFile("file", "");
    std::filesystem::create_directory("folder");
    EXPECT_TRUE(FileExist("file"));
    EXPECT_FALSE(FileExist("folder"));
    EXPECT_FALSE(FileExist("missing"));
    EXPECT_FALSE(FileExist(""));
    EXPECT_FALSE(FileExist(nullptr));
}
