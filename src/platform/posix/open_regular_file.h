// Opening a regular file for reading on POSIX, shared by plain opens and
// opens relative to a listed folder.
#pragma once

#include <cstdint>

namespace kv::platform {

// Opens `name` (relative to the folder descriptor `folder`, or AT_FDCWD)
// for reading without blocking: a pipe put in the file's place cannot stall
// the open, and anything but a regular file is closed again at once. A link
// in `name`'s last step is followed only when `follow_link`. The
// descriptor, or -1; `size` receives the size the check found.
int OpenRegularFileAt(int folder, const char* name, bool follow_link, uint64_t* size);

}  // namespace kv::platform
