#pragma once
// File classes over the C standard file functions: a fixed open mode, a sticky error code,
// block and line operations. Each object is used by one thread at a time.

#include <cstdio>

class KFile {
public:
    // Error codes; set by a failing operation and never cleared.
    enum : unsigned char {
        kErrNone = 0,
        kErrOpen = 1,
        kErrWrite = 2,
        kErrRead = 3,
        kErrSize = 4,
    };

    KFile() = default;
    virtual ~KFile();
    KFile(const KFile&) = delete;
    KFile& operator=(const KFile&) = delete;

    virtual bool OpenRead(const char* name);
    virtual bool OpenWrite(const char* name);
    virtual void Close();
    virtual int GetSize();

    int Read(void* buffer, int count);
    int Write(const void* buffer, int count);
    int ReadLine(char* buffer, int maximum);

    unsigned char GetError() const { return error_; }
    bool IsOpen() const { return open_ != 0; }

protected:
    bool OpenWithMode(const char* name, const char* modeText, unsigned char mode);

    std::FILE* stream_ = nullptr;
    unsigned char mode_ = 0; // 0 read, 1 write or append
    unsigned char open_ = 0;
    unsigned char error_ = kErrNone;
};

class KBinFile : public KFile {
public:
    ~KBinFile() override;
    bool OpenRead(const char* name) override;  // "rb", only when the file exists
    bool OpenWrite(const char* name) override; // "wb"
    bool OpenAppend(const char* name);         // "ab"
};

class KTxtFile : public KFile {
public:
    ~KTxtFile() override;
    bool OpenRead(const char* name) override;  // "r" (text), only when the file exists
    bool OpenWrite(const char* name) override; // "w"
    bool OpenAppend(const char* name);         // "a"
};

// Factories: mode 0 read, 1 write, 2 append; any other mode fails. The object belongs to the
// caller, who deletes it to close the file; nothing is returned when the open failed.
KBinFile* OpenBinFile(const char* name, int mode);
KTxtFile* OpenTxtFile(const char* name, int mode);

// True when the file exists.
bool FileExist(const char* name);
