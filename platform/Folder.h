#pragma once
// Folders of the file system.

namespace qmr::platform {

// Creates the folder `path` (its parent must exist). True when it exists afterwards as a
// folder, also when it existed before.
bool MakeFolder(const char* path);

} // namespace qmr::platform
