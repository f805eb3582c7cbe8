#pragma once
// Replacing a file whole: the new content is written into a new file beside the old one,
// which is synced to the disk and then renamed over it. A write that fails or is cut short
// (a full disk, a file size limit, a kill) leaves the old file as it was.

#include <cstdio>
#include <string>

namespace qmr::platform {

// A new, empty file in the folder of `path` with a name of its own, open for binary writing,
// with the permissions of `path` when it exists (else those of any new file). Its name goes
// to `name`. Null when it cannot be made.
std::FILE* CreateFileBeside(const std::string& path, std::string& name);

// Hands what the stream holds to the file and waits until the disk has it: true when all of
// it got there.
bool SyncFile(std::FILE* stream);

} // namespace qmr::platform
