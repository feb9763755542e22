/* unzip32.h - the public C interface of the unzip32 library.
 *
 * A ZIP reader behind the classic unzip DLL interface: the option record,
 * the callback record, the memory buffer record and the five operations
 * Wiz_Init, Wiz_SetOpts, Wiz_SingleEntryUnzip, Wiz_UnzipToMemory and
 * UzpFreeMemBuffer; and three exports of our own (kvUnzip...) that the
 * published interface lacks. Built as unzip32.dll (32- and 64-bit Windows)
 * and libunzip32.so. Every function and callback uses the callee-pops
 * convention on 32-bit Windows (UNZIP32_CALL) and is exported under its
 * plain name.
 *
 * Names are passed and reported as stored in the archive: bytes, no
 * character-set conversion, '/' separators as stored.
 *
 * Bounds, each reached by a hostile or broken archive, never by a
 * reasonable one:
 *   - Member count: at most 100,000. An archive declaring more is refused
 *     whole: its listing fails (UNZIP32_LIMIT) and nothing is listed.
 *   - Central directory: at most 64 MiB. A larger one is refused whole, as
 *     above.
 *   - Declared size: Wiz_UnzipToMemory and kvUnzipToMemoryByIndex refuse a
 *     member declaring more than 256 MiB uncompressed (settable with
 *     kvUnzipSetMaxMemberSize), before inflating anything.
 *   - Bytes inflated per call: one call inflates at most 1 GiB in all; a
 *     member that would pass that is not extracted and the call fails
 *     (UNZIP32_LIMIT).
 *   - A member's data never inflates beyond its declared uncompressed size:
 *     a stream that would (a decompression bomb) fails with no output.
 * A damaged or refused member fails alone: listing reads the central
 * directory only, so its neighbours are still listed and extracted.
 *
 * The library keeps the central directory of the last archive it read
 * (keyed by path, file identity, size and modification time), so that a
 * listing followed by one extraction per member parses the directory once.
 * No file stays open between calls. All functions are thread-safe.
 */
#ifndef UNZIP32_H_
#define UNZIP32_H_

#include <stdint.h>

#if defined(_WIN32)
#define UNZIP32_CALL __stdcall
#define UNZIP32_EXPORT
#else
#define UNZIP32_CALL
#define UNZIP32_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Results of Wiz_SingleEntryUnzip and kvUnzipListIndexed. */
#define UNZIP32_OK 0
#define UNZIP32_SKIPPED 1 /* an existing file was kept (the overwrite query said no) */
#define UNZIP32_DAMAGED 2 /* damaged directory or member data, CRC or size mismatch */
#define UNZIP32_LIMIT 3   /* one of the bounds above was reached */
#define UNZIP32_NO_MEMORY 4
#define UNZIP32_NOT_ARCHIVE 9 /* cannot be opened, or not a ZIP archive */
#define UNZIP32_BAD_PARAMETERS 10
#define UNZIP32_NO_MATCH 11     /* a named member is not in the archive */
#define UNZIP32_UNSAFE_NAME 12  /* a name that could write outside the folder: refused */
#define UNZIP32_WRITE_FAILED 50 /* an output file or folder cannot be written */
#define UNZIP32_CANCELLED 80    /* the service callback asked to stop */
#define UNZIP32_UNSUPPORTED 81  /* compression or encryption method not supported */
#define UNZIP32_BAD_PASSWORD 82 /* encrypted, and no or a wrong password */

/* The option record: seventeen fields, fifteen 32-bit integers and two text
 * pointers. The library reads only the ones it names; the others are
 * accepted and ignored. */
typedef struct Unzip32Options {
  int32_t extractOnlyNewer; /* 1: ignored; an existing file is replaced only
                               when the overwrite query says so */
  int32_t option2;
  int32_t option3;
  int32_t option4;
  int32_t option5;
  int32_t option6;
  int32_t verboseListing; /* 7: nonzero lists the members instead of extracting */
  int32_t option8;
  int32_t option9;
  int32_t option10;
  int32_t option11;
  int32_t option12;
  int32_t option13;
  int32_t caseInsensitive; /* 14: nonzero: names in the include and exclude
                              lists also match ignoring ASCII case */
  int32_t privilegeMode;   /* 15: ignored */
  char* archivePath;       /* 16: the archive file */
  char* extractFolder;     /* 17: where members are written; null: the current folder */
} Unzip32Options;

/* Message output: the text of one message (errors, in English) and its
 * length. The result is ignored. */
typedef int(UNZIP32_CALL* Unzip32PrintFn)(char* text, uint32_t length);
/* Never called. */
typedef void(UNZIP32_CALL* Unzip32SoundFn)(void);
/* Overwrite query for an existing file about to be replaced: 1 replaces it,
 * anything else keeps it (the member is skipped: UNZIP32_SKIPPED). Without
 * the callback existing files are kept. */
typedef int(UNZIP32_CALL* Unzip32ReplaceFn)(char* filePath);
/* Password query for an encrypted member: store a NUL-terminated password
 * of at most size-1 bytes in buffer and return 0; any other result declines.
 * An empty password, or no callback, fails the member (UNZIP32_BAD_PASSWORD). */
typedef int(UNZIP32_CALL* Unzip32PasswordFn)(char* buffer, int size, const char* prompt,
                                             const char* memberName);
/* One listed member: sizes (saturated at 0xFFFFFFFF), the percentage of
 * space saved (0 to 100), the date and time of its last change (year in
 * full), '/' for a folder entry else ' ', its name, its method ("Stored",
 * "Defl:N", "Defl:X", "Defl:F", "Defl:S" or "Unk:NNN"), its CRC-32, and 1
 * when it is encrypted else 0. */
typedef void(UNZIP32_CALL* Unzip32MemberFn)(uint32_t uncompressedSize, uint32_t compressedSize,
                                            uint32_t percentSaved, uint32_t month, uint32_t day,
                                            uint32_t year, uint32_t hour, uint32_t minute,
                                            char marker, const char* name, const char* method,
                                            uint32_t crc32, char encrypted);
/* Called before each member is listed or extracted, with its name and
 * uncompressed size; a nonzero result stops the call (UNZIP32_CANCELLED). */
typedef int(UNZIP32_CALL* Unzip32ServiceFn)(const char* memberName, uint32_t uncompressedSize);

/* The callback record: six function pointers (each may be null), then
 * counters that a listing fills. The library writes nothing past
 * commentLength. */
typedef struct Unzip32Callbacks {
  Unzip32PrintFn print;
  Unzip32SoundFn sound;
  Unzip32ReplaceFn replace;
  Unzip32PasswordFn password;
  Unzip32MemberFn sendMember;
  Unzip32ServiceFn service;
  uint32_t totalCompressed; /* sums over the members listed, saturated */
  uint32_t totalUncompressed;
  uint32_t percentSaved; /* over the totals */
  uint32_t memberCount;
  uint16_t commentLength; /* of the archive's comment */
} Unzip32Callbacks;

/* A member extracted to memory; released with UzpFreeMemBuffer. */
typedef struct Unzip32Buffer {
  uint32_t length;
  char* data;
} Unzip32Buffer;

/* Checks the callback record; nonzero when it is there. Nothing to set up:
 * every call stands alone. */
UNZIP32_EXPORT int UNZIP32_CALL Wiz_Init(void* reserved, Unzip32Callbacks* callbacks);

/* Checks the option record; nonzero when it is there. The options take
 * effect as passed to each Wiz_SingleEntryUnzip. */
UNZIP32_EXPORT int UNZIP32_CALL Wiz_SetOpts(void* reserved, Unzip32Options* options);

/* With options->verboseListing set: lists the archive's members, calling
 * callbacks->sendMember once for each in central-directory order, and fills
 * the counters; nothing is extracted. Otherwise extracts members into
 * options->extractFolder, recreating their folders beneath it.
 * Members are selected by the include list (all members when it is empty)
 * less the exclude list, each entry a literal name: the first member of
 * that exact name, else (with caseInsensitive) of that name ignoring ASCII
 * case. A name that could write outside the folder is refused, never
 * written. Returns UNZIP32_OK, or the first failure met (later members are
 * still tried). A listing that fails lists nothing. */
UNZIP32_EXPORT int UNZIP32_CALL Wiz_SingleEntryUnzip(int includeCount, char** includeNames,
                                                     int excludeCount, char** excludeNames,
                                                     Unzip32Options* options,
                                                     Unzip32Callbacks* callbacks);

/* Extracts the member named `memberName` (exact match first, else ignoring
 * ASCII case; no wildcards) into a buffer that UzpFreeMemBuffer releases.
 * Nonzero on success; 0 on failure, with the buffer empty. The callbacks
 * (may be null) answer the password query and receive messages. */
UNZIP32_EXPORT int UNZIP32_CALL Wiz_UnzipToMemory(char* archivePath, char* memberName,
                                                  Unzip32Callbacks* callbacks,
                                                  Unzip32Buffer* buffer);

/* Releases the bytes of a buffer from Wiz_UnzipToMemory and empties it. */
UNZIP32_EXPORT void UNZIP32_CALL UzpFreeMemBuffer(Unzip32Buffer* buffer);

/* --- Ours, outside the published interface. --------------------------- */

/* One member of kvUnzipListIndexed: its position in the central directory
 * (what kvUnzipToMemoryByIndex takes), its uncompressed size (saturated at
 * 0xFFFFFFFF), and its whole name with its length (a name may hold zero
 * bytes). */
typedef void(UNZIP32_CALL* Unzip32IndexedMemberFn)(void* context, uint32_t index,
                                                   uint32_t uncompressedSize, const char* name,
                                                   uint32_t nameLength);

/* Lists every member with its index, in central-directory order, so that
 * members sharing a name (a.exe twice, or a.exe and A.EXE) can each be
 * extracted. Results as Wiz_SingleEntryUnzip's listing. */
UNZIP32_EXPORT int UNZIP32_CALL kvUnzipListIndexed(const char* archivePath,
                                                   Unzip32IndexedMemberFn callback, void* context);

/* Wiz_UnzipToMemory for the member at `index` of the central directory. */
UNZIP32_EXPORT int UNZIP32_CALL kvUnzipToMemoryByIndex(const char* archivePath, uint32_t index,
                                                       Unzip32Callbacks* callbacks,
                                                       Unzip32Buffer* buffer);

/* Sets the largest declared size extraction to memory accepts (0: back to
 * the default, 256 MiB) and returns the previous one. Process-wide. */
UNZIP32_EXPORT uint32_t UNZIP32_CALL kvUnzipSetMaxMemberSize(uint32_t bytes);

#ifdef __cplusplus
}
#endif

#endif /* UNZIP32_H_ */
