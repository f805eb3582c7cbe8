#pragma once
// Folders of the file system.

#include <string>

namespace qmr::platform {

// Creates the folder `path` (its parent must exist). True when it exists afterwards as a
// folder, also when it existed before.
bool MakeFolder(const char* path);

// The folder that holds this program's executable, as an absolute path; empty when it cannot
// be told.
std::string ProgramFolder();

} // namespace qmr::platform
