#pragma once
// File classes over the C standard file functions: a fixed open mode, a sticky error code,
// block and line operations. Each object is used by one thread at a time.
//
// Text files on this system have "\n" line ends and the C library does no translation; so
// that a file written on a system with "\r\n" line ends reads the same, a text file
// (KTxtFile) drops the carriage return of a "\r\n" pair when it reads a line. A binary file
// keeps it. Writing never translates.

#include <cstdio>
#include <string>

class KFile {
public:
    // Error codes; set by a failing operation and never cleared.
    enum : unsigned char {
        kErrNone = 0,
        kErrOpen = 1,  // open failed, or the file to be read does not exist
        kErrWrite = 2, // not in write mode, or fewer bytes written than asked
        kErrRead = 3,  // not in read mode, fewer bytes than asked, or no line
        kErrSize = 4,  // a position or seek operation failed
    };

    KFile() = default;
    virtual ~KFile();
    KFile(const KFile&) = delete;
    KFile& operator=(const KFile&) = delete;

    // The base class has no file kind: both opens fail.
    virtual bool OpenRead(const char* name);
    virtual bool OpenWrite(const char* name);
    virtual void Close();
    // The file's length in bytes, or -1 (error code 4); the position is left where it was.
    virtual int GetSize();

    // Reads exactly count bytes: count, or -1 (error code 3) when fewer came or the file is
    // not open for reading.
    int Read(void* buffer, int count);
    // Writes count bytes: 0, or -1 (error code 2) when fewer went out or the file is not
    // open for writing.
    int Write(const void* buffer, int count);
    // Reads one line of at most `maximum` characters into buffer (which holds maximum + 1
    // bytes), without its "\n": the length of the text, or -1 (error code 3) at the end of
    // the file, on failure, without a buffer or not in read mode. A longer line comes in
    // pieces of `maximum` characters.
    int ReadLine(char* buffer, int maximum);

    unsigned char GetError() const { return error_; }
    bool IsOpen() const { return open_ != 0; }

protected:
    // Sets the mode, closes a stream still open and opens the named file with modeText.
    bool OpenWithMode(const char* name, const char* modeText, unsigned char mode);
    // Writes to a new file beside `name` that Close puts in its place (see KBinFile).
    bool OpenReplacing(const char* name);

    std::FILE* stream_ = nullptr;
    unsigned char mode_ = 0; // 0 read, 1 write or append
    unsigned char open_ = 0;
    unsigned char error_ = kErrNone;
    bool textLines_ = false; // ReadLine drops the "\r" of a "\r\n" pair

private:
    void FinishReplacing();

    std::string replaceTarget_; // the file a replacing write takes the place of
    std::string replaceName_;   // the new file that holds the write until then
};

class KBinFile : public KFile {
public:
    ~KBinFile() override;
    bool OpenRead(const char* name) override;  // "rb", only when the file exists
    bool OpenWrite(const char* name) override; // "wb"
    bool OpenAppend(const char* name);         // "ab"
    // Write mode into a new file beside `name`. Close flushes it to the disk and renames it
    // over `name` when every write succeeded; otherwise it removes it, sets error code 2 and
    // leaves `name` as it was. So a failed or cut-short write never costs the old file.
    bool OpenReplace(const char* name);
};

class KTxtFile : public KFile {
public:
    ~KTxtFile() override;
    bool OpenRead(const char* name) override;  // "r" (text), only when the file exists
    bool OpenWrite(const char* name) override; // "w"
    bool OpenAppend(const char* name);         // "a"
};

// Factories: mode 0 read, 1 write, 2 append; any other mode fails. The object belongs to the
// caller, who deletes it to close the file; nothing is returned when the open failed (a
// failed open shows nothing). An exception on the way is shown in a simple message box (on
// the GUI thread) and gives nothing.
KBinFile* OpenBinFile(const char* name, int mode);
KTxtFile* OpenTxtFile(const char* name, int mode);
// A binary file that replaces `name` whole when it is closed (KBinFile::OpenReplace); check
// the error code after Close to learn whether it did.
KBinFile* OpenBinFileReplace(const char* name);

// True when the file exists (a folder is no file).
bool FileExist(const char* name);
