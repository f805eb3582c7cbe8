#include "common/Kfile2.h"

#include "platform/FileReplace.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <QThread>

#include <climits>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <new>
#include <system_error>

namespace {

// The simple message box of a factory that met an exception: one line and an OK button, on
// the GUI thread. From another thread the box is posted there and nothing waits for it.
void ShowFileException(const char* what)
{
    const QString text = QString::fromLocal8Bit(what != nullptr ? what : "");
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (app == nullptr) {
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
        return;
    }
    auto show = [text] { QMessageBox::information(nullptr, QCoreApplication::applicationName(), text); };
    if (QThread::currentThread() == app->thread()) {
        show();
    } else {
        QMetaObject::invokeMethod(app, show, Qt::QueuedConnection);
    }
}

// Makes a file object and opens it with `open`; the object, or none when the open failed.
template <class File, class Open>
File* MakeOpenedFile(Open open)
{
    try {
        File* file = new (std::nothrow) File;
        if (file == nullptr) {
            return nullptr;
        }
        if (open(*file)) {
            return file;
        }
        delete file;
    } catch (const std::exception& e) {
        ShowFileException(e.what());
    }
    return nullptr;
}

template <class File>
File* OpenFile(const char* name, int mode)
{
    return MakeOpenedFile<File>([name, mode](File& file) {
        switch (mode) {
        case 0:
            return file.OpenRead(name);
        case 1:
            return file.OpenWrite(name);
        case 2:
            return file.OpenAppend(name);
        default:
            return false;
        }
    });
}

} // namespace

KFile::~KFile()
{
    KFile::Close();
}

bool KFile::OpenRead(const char* /*name*/)
{
    mode_ = 0;
    return false;
}

bool KFile::OpenWrite(const char* /*name*/)
{
    mode_ = 1;
    return false;
}

bool KFile::OpenWithMode(const char* name, const char* modeText, unsigned char mode)
{
    mode_ = mode;
    Close();
    if (name == nullptr || (mode == 0 && !FileExist(name))) {
        error_ = kErrOpen;
        return false;
    }
    stream_ = std::fopen(name, modeText);
    if (stream_ == nullptr) {
        error_ = kErrOpen;
        return false;
    }
    open_ = 1;
    return true;
}

bool KFile::OpenReplacing(const char* name)
{
    mode_ = 1;
    Close();
    if (name != nullptr) {
        stream_ = qmr::platform::CreateFileBeside(name, replaceName_);
    }
    if (stream_ == nullptr) {
        error_ = kErrOpen;
        return false;
    }
    replaceTarget_ = name;
    open_ = 1;
    return true;
}

void KFile::Close()
{
    if (stream_ != nullptr && open_ == 1) {
        if (replaceName_.empty()) {
            std::fclose(stream_);
        } else {
            FinishReplacing();
        }
    }
    stream_ = nullptr;
    open_ = 0;
}

void KFile::FinishReplacing()
{
    // The new file takes the old one's place only when all of it reached the disk.
    bool whole = error_ == kErrNone && qmr::platform::SyncFile(stream_);
    whole = std::fclose(stream_) == 0 && whole;
    whole = whole && std::rename(replaceName_.c_str(), replaceTarget_.c_str()) == 0;
    if (!whole) {
        std::remove(replaceName_.c_str());
        error_ = kErrWrite;
    }
    replaceName_.clear();
    replaceTarget_.clear();
}

int KFile::GetSize()
{
    if (stream_ == nullptr) {
        error_ = kErrSize;
        return -1;
    }
    const long position = std::ftell(stream_);
    long size = -1;
    if (std::fseek(stream_, 0, SEEK_END) == 0) {
        size = std::ftell(stream_);
    }
    bool failed = position < 0 || size < 0 || size > INT_MAX;
    if (position >= 0 && std::fseek(stream_, position, SEEK_SET) != 0) {
        failed = true;
    }
    if (failed) {
        error_ = kErrSize;
    }
    return size < 0 || size > INT_MAX ? -1 : static_cast<int>(size);
}

int KFile::Read(void* buffer, int count)
{
    if (mode_ != 0 || stream_ == nullptr || count < 0 || (buffer == nullptr && count > 0)) {
        error_ = kErrRead;
        return -1;
    }
    if (count == 0) {
        return 0;
    }
    const size_t got = std::fread(buffer, 1, static_cast<size_t>(count), stream_);
    if (got < static_cast<size_t>(count)) {
        error_ = kErrRead;
        return -1;
    }
    return count;
}

int KFile::Write(const void* buffer, int count)
{
    if (mode_ != 1 || stream_ == nullptr || count < 0 || (buffer == nullptr && count > 0)) {
        error_ = kErrWrite;
        return -1;
    }
    if (count == 0) {
        return 0;
    }
    const size_t put = std::fwrite(buffer, 1, static_cast<size_t>(count), stream_);
    if (put < static_cast<size_t>(count)) {
        error_ = kErrWrite;
        return -1;
    }
    return 0;
}

int KFile::ReadLine(char* buffer, int maximum)
{
    // fgets takes the room including the zero byte; a maximum that leaves no room for one
    // character could never make progress.
    if (mode_ != 0 || stream_ == nullptr || buffer == nullptr || maximum <= 0 || maximum == INT_MAX) {
        error_ = kErrRead;
        return -1;
    }
    if (std::fgets(buffer, maximum + 1, stream_) == nullptr) {
        buffer[0] = '\0';
        error_ = kErrRead;
        return -1;
    }
    size_t length = std::strlen(buffer);
    char* newline = static_cast<char*>(std::memchr(buffer, '\n', length));
    if (newline != nullptr) {
        *newline = '\0';
        length = static_cast<size_t>(newline - buffer);
        if (textLines_ && length > 0 && buffer[length - 1] == '\r') {
            buffer[--length] = '\0';
        }
    } else if (textLines_ && length > 0 && buffer[length - 1] == '\r') {
        // The piece ended between the two characters of a "\r\n" pair.
        const int next = std::fgetc(stream_);
        if (next == '\n') {
            buffer[--length] = '\0';
        } else if (next != EOF) {
            std::ungetc(next, stream_);
        }
    }
    return static_cast<int>(length);
}

KBinFile::~KBinFile()
{
    Close();
}

bool KBinFile::OpenRead(const char* name)
{
    textLines_ = false;
    return OpenWithMode(name, "rb", 0);
}

bool KBinFile::OpenWrite(const char* name)
{
    textLines_ = false;
    return OpenWithMode(name, "wb", 1);
}

bool KBinFile::OpenAppend(const char* name)
{
    textLines_ = false;
    return OpenWithMode(name, "ab", 1);
}

bool KBinFile::OpenReplace(const char* name)
{
    textLines_ = false;
    return OpenReplacing(name);
}

KTxtFile::~KTxtFile()
{
    Close();
}

bool KTxtFile::OpenRead(const char* name)
{
    textLines_ = true;
    return OpenWithMode(name, "r", 0);
}

bool KTxtFile::OpenWrite(const char* name)
{
    textLines_ = true;
    return OpenWithMode(name, "w", 1);
}

bool KTxtFile::OpenAppend(const char* name)
{
    textLines_ = true;
    return OpenWithMode(name, "a", 1);
}

KBinFile* OpenBinFile(const char* name, int mode)
{
    return OpenFile<KBinFile>(name, mode);
}

KTxtFile* OpenTxtFile(const char* name, int mode)
{
    return OpenFile<KTxtFile>(name, mode);
}

KBinFile* OpenBinFileReplace(const char* name)
{
    return MakeOpenedFile<KBinFile>([name](KBinFile& file) { return file.OpenReplace(name); });
}

bool FileExist(const char* name)
{
    if (name == nullptr || name[0] == '\0') {
        return false;
    }
    std::error_code ec;
    const auto status = std::filesystem::status(name, ec);
    return !ec && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}
