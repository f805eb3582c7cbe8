// Fuzz target: arbitrary bytes as "APPSET.DAT", loaded and saved by the settings object as the
// start-up does, in a folder of its own. A file of 68 bytes or more gives its first 68 bytes,
// a shorter one the defaults; the save writes exactly the record held. The text fields are
// read as the settings window reads them, never past their field.
#include "app/core/Appdefine.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

void Check(bool ok)
{
    if (!ok) {
        std::abort();
    }
}

struct Folder {
    std::string path;
    Folder()
    {
        // TMPDIR may name a memory file system: a disk file system costs milliseconds a write.
        std::string name = (std::filesystem::temp_directory_path() / "qmr-fuzz-appset-XXXXXX").string();
        Check(mkdtemp(name.data()) != nullptr);
        path = name;
    }
    ~Folder() { std::filesystem::remove_all(path); }
};

std::vector<char> ReadAll(const char* name)
{
    std::vector<char> bytes;
    if (std::FILE* f = std::fopen(name, "rb")) {
        char buffer[256];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) {
            bytes.insert(bytes.end(), buffer, buffer + n);
        }
        std::fclose(f);
    }
    return bytes;
}

// A text field copied into a heap block of exactly its size, so a read past it is seen.
template <std::size_t N>
std::vector<char> Field(const char (&field)[N])
{
    std::vector<char> copy(field, field + N);
    copy.shrink_to_fit();
    return copy;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Folder folder;
    // The fuzzer keeps its own paths relative to where it started: come back afterwards.
    const int home = open(".", O_RDONLY | O_DIRECTORY);
    Check(home >= 0 && chdir(folder.path.c_str()) == 0);

    if (std::FILE* f = std::fopen("APPSET.DAT", "wb")) {
        Check(size == 0 || std::fwrite(data, 1, size, f) == size);
        std::fclose(f);
    }
    KAppSetData* settings = AppSetDataCreate();
    Check(settings != nullptr && settings == AppSetData);
    AppSetRecord record = settings->Record();
    if (size >= sizeof record) {
        Check(std::memcmp(&record, data, sizeof record) == 0);
    } else {
        settings->SetDefault();
        Check(std::memcmp(&record, &settings->Record(), sizeof record) == 0);
    }

    const ComSettings& com = record.Com;
    auto address = Field(com.IpAddress);
    NormalizeIpText(address.data(), address.size());
    Check(strnlen(address.data(), address.size()) < address.size());
    auto second = Field(com.IpAddress2);
    auto alternative = Field(com.IpAddressAlt);
    IsIpEqualConst(second.data(), second.size());
    IsIpAll255(alternative.data(), alternative.size());

    AppSetDataDelete();
    Check(AppSetData == nullptr);
    const std::vector<char> saved = ReadAll("APPSET.DAT");
    Check(saved.size() == sizeof record && std::memcmp(saved.data(), &record, sizeof record) == 0);

    Check(fchdir(home) == 0);
    close(home);
    return 0;
}
