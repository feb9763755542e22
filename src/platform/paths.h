// Paths and folders as the engine sees them: the separator, existence,
// short path names, read-only files and the temporary folder.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kv::platform {

// The character that separates folders in a path: '\' on Windows, '/' on
// POSIX.
#if defined(_WIN32)
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// True when `path` is the root of the whole file system written as its
// separator alone ("/" on POSIX). Windows has no such root: its roots carry
// a drive (C:\) or a share.
bool IsFileSystemRoot(std::string_view path);

// True when a file or folder exists at `path` (its attributes can be read).
bool PathExists(const char* path);

// Whether the file system gives paths a second, short form: only Windows.
#if defined(_WIN32)
inline constexpr bool kHasShortPathNames = true;
#else
inline constexpr bool kHasShortPathNames = false;
#endif

// The short (8.3) form of an existing path, at most `max_length` characters.
// Windows asks the file system; POSIX has no short names and returns the
// path byte for byte when it exists. Nullopt when the path does not exist or
// the result would be longer than `max_length`.
std::optional<std::string> ShortPathName(const char* path, size_t max_length);

// True when an existing file may not be opened for writing: the Windows
// read-only attribute, or on POSIX no write permission bit for the owner
// (whatever the caller's own privileges). False for a missing file.
bool IsReadOnlyFile(const char* path);

// Removes a file (or a link, not what it leads to); false when it did not
// exist or could not be removed.
bool RemoveFile(const char* path);

// Creates the folder `path` that only the current user may enter (POSIX mode
// 0700; on Windows it inherits the user's temporary folder's protection).
// False when it exists already or cannot be made.
bool MakePrivateFolder(const char* path);

// Removes an empty folder (or a link to one); false when it cannot.
bool RemoveEmptyFolder(const char* path);

// The user's temporary folder, with a trailing separator. Windows asks
// GetTempPathA; POSIX takes $TMPDIR when it names an existing folder, else
// /tmp.
std::string TemporaryFolder();

}  // namespace kv::platform
