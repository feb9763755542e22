/* kvserver.h - the public C interface of the kvserver scanning engine.
 *
 * Hosts load the engine as a dynamic library (kvserver.dll on Windows,
 * libkvserver.so on POSIX) and call the flat functions declared here. Every
 * function uses the caller-pops convention under its plain name. On Windows
 * most functions are also exported as a callee-pops twin named
 * "_<name>_stdcall@<argument bytes>" (for example "_kvSetScanMode_stdcall@4"),
 * reachable through GetProcAddress; the KV_*_STDCALL_FN typedefs below give
 * the matching function-pointer types. POSIX builds export the plain names
 * only.
 *
 * Strings are 8-bit, NUL-terminated. Records the engine allocates for a host
 * are released only by the matching kvDeallocate... function.
 */
#ifndef KVSERVER_H_
#define KVSERVER_H_

#include <stdint.h>

#if defined(_WIN32)
#define KV_CDECL __cdecl
#define KV_STDCALL __stdcall
#define KV_EXPORT
#else
#define KV_CDECL
#define KV_STDCALL
#define KV_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* DAT status codes returned by the functions that read data files. */
#define KV_STATUS_OK 0
#define KV_STATUS_CANNOT_OPEN 2
#define KV_STATUS_CORRUPT 3
#define KV_STATUS_WRONG_DATE 4
#define KV_STATUS_OUT_OF_MEMORY 5
#define KV_STATUS_WRONG_MAGIC 6
#define KV_STATUS_NEVER_INITIALIZED 9
#define KV_STATUS_PEST_NOT_FOUND 10

/* A detection: allocated by the engine, owned by the host afterwards and
 * released with kvDeallocatePestInformation. */
typedef struct _PEST_INFORMATION {
  uint32_t dwPestID;
  uint32_t dwPVT;     /* as stored: may be the complement of the CRC */
  char* lpszFileName; /* "" when the record did not come from a scan */
  char* lpszPestName;
  int32_t bSizeMatch;     /* 1: a signature of this pest has the file's size */
  uint32_t dwReserved[3]; /* always 0 */
} _PEST_INFORMATION;

/* One signature of the loaded table, exactly as the engine keeps it. */
typedef struct _PEST_SIGNATURE {
  uint32_t dwPestID;
  uint32_t dwPVT;
  uint32_t dwExtra1;
  uint32_t dwExtra2;
  uint32_t dwAltKey;
  uint32_t dwFileSize;
  char* lpszPestName;
} _PEST_SIGNATURE;

/* A pest's descriptive texts; released with
 * kvDeallocateDetailedPestInformation. */
typedef struct _DETAILED_PEST_INFORMATION {
  uint32_t dwPestID;
  char* lpszText1;
  char* lpszText2;
  char* lpszText3;
  char* lpszText4;
  char* lpszText5;
} _DETAILED_PEST_INFORMATION;

#if defined(_WIN32) && !defined(_WIN64)
/* The 32-bit layouts are part of the binary contract with existing hosts. */
#ifdef __cplusplus
#define KV_STATIC_ASSERT static_assert
#else
#define KV_STATIC_ASSERT _Static_assert
#endif
KV_STATIC_ASSERT(sizeof(_PEST_INFORMATION) == 32, "_PEST_INFORMATION: 32 bytes");
KV_STATIC_ASSERT(sizeof(_PEST_SIGNATURE) == 7 * 4, "_PEST_SIGNATURE: 7 words");
#undef KV_STATIC_ASSERT
#endif

/* Scan callbacks: path, detected flag, detection record (or null), the
 * host's user value. Return 0 to stop the current folder or archive. */
typedef int32_t(KV_CDECL* ScanCallback)(char* path, int32_t detected, _PEST_INFORMATION* info,
                                        int32_t user_value);
typedef int32_t(KV_STDCALL* ScanCallbackStdcall)(char* path, int32_t detected,
                                                 _PEST_INFORMATION* info, int32_t user_value);

/* --- Start and stop ------------------------------------------------------ */

/* Sets the default file masks, finds KVFILE.DAT (the folder set with
 * kvSetDATFolder, else the registry value KVLocation; then KVCLLocation; then
 * the host executable's folder), loads it and the exclusion list, and resets
 * the scan mode to 0. Returns a KV_STATUS_* code; on failure nothing is
 * loaded. */
KV_EXPORT int32_t KV_CDECL kvServerInitialize(void);
/* Releases the pest information and the signatures. Returns 0, or 9 when the
 * engine was never initialized. */
KV_EXPORT int32_t KV_CDECL kvServerDeinitialize(void);

/* --- Engine state and control ------------------------------------------ */

/* Sets the scan mode: 0 pre-selects files by exact signature size, 1 (and
 * any other value) fingerprints every file. Returns 1. */
KV_EXPORT int32_t KV_CDECL kvSetScanMode(int32_t mode);
/* Holds running walks before their next directory entry. Returns 1. */
KV_EXPORT int32_t KV_CDECL kvPauseScan(void);
/* Releases paused walks. Returns 1. */
KV_EXPORT int32_t KV_CDECL kvResumeScan(void);
/* Ends every walk running now at its next file, folder entry or archive
 * member, waking paused ones; each returns its count so far. Walks started
 * afterwards run normally. For a host's Ctrl-C or Stop button. Returns 1. */
KV_EXPORT int32_t KV_CDECL kvStopScan(void);
/* Ends the host process at once with exit code 0; releases nothing. Returns
 * 0 only if the process could not be opened for termination. */
KV_EXPORT int32_t KV_CDECL kvImmediateExit(void);

/* --- Scans ---------------------------------------------------------------- */

/* Identifies one file by the CRC-32 of its first 2047 bytes. Returns a new
 * record (lpszFileName is `path` as given, bSizeMatch 0) that the host
 * releases with kvDeallocatePestInformation, or null when the path is
 * excluded, cannot be read (or is held open for writing on Windows), is
 * empty, or matches no signature. */
KV_EXPORT _PEST_INFORMATION* KV_CDECL kvScanSingleFile(const char* path);

/* Resumes paused walks, then walks `path`, a file or a folder (one trailing
 * separator ignored), depth first in the order the system lists folders,
 * and reports every file whose name passes the file masks to `callback`:
 * its path (the engine's buffer, valid during the call, at most 4,095
 * characters: a longer one is cut in the middle at "<...>"), 1 and a new
 * record when a pest was found (the host releases it with
 * kvDeallocatePestInformation), else 0 and null, and `user_value`. In scan
 * mode 0 a file is read only when a signature has exactly its size. Members
 * of ZIP archives are reported as "<archive>|<member>" before the archive.
 * Excluded files and files larger than the database's largest signature
 * size are reported undetected. Links to folders are not followed. A 0 from
 * the callback skips the rest of the folder (or archive) it reported from.
 * Returns the number of reports, or -1 when the engine was never
 * initialized. On Windows the twin "_kvScanFileOrDirectory_stdcall@12" takes
 * a ScanCallbackStdcall. */
KV_EXPORT int32_t KV_CDECL kvScanFileOrDirectory(char* path, ScanCallback callback,
                                                 int32_t user_value);
/* Copies `path` and runs kvScanFileOrDirectory on a new thread, then calls
 * `callback` once more with a null path, 0, null and user value 0 as the end
 * notification. Returns 1 when the thread started; 0 for a null path or
 * callback, or when no thread could be made. The library stays loaded until
 * the thread has ended. No stdcall twin. */
KV_EXPORT int32_t KV_CDECL kvScanFileOrDirectory_async(char* path, ScanCallback callback,
                                                       int32_t user_value);
/* The walk of kvScanFileOrDirectory without the resume step; `callback` is
 * used when given, else `stdcall_callback`. On POSIX exported under this
 * name; on Windows only under the decorated name below (look it up with
 * GetProcAddress), with no stdcall twin. */
typedef int32_t(KV_CDECL* KV_SCANFILEORDIRECTORY_INTERNAL_FN)(char* path, ScanCallback callback,
                                                              ScanCallbackStdcall stdcall_callback,
                                                              int32_t user_value);
#if defined(_WIN64)
#define KV_SCANFILEORDIRECTORY_INTERNAL_NAME \
  "?kvScanFileOrDirectory_Internal@@YAHPEADP6AH0HPEAU_PEST_INFORMATION@@J@Z2J@Z"
#elif defined(_WIN32)
#define KV_SCANFILEORDIRECTORY_INTERNAL_NAME \
  "?kvScanFileOrDirectory_Internal@@YAHPADP6AH0HPAU_PEST_INFORMATION@@J@ZP6GH0H1J@ZJ@Z"
#else
#define KV_SCANFILEORDIRECTORY_INTERNAL_NAME "kvScanFileOrDirectory_Internal"
#endif
KV_EXPORT int32_t KV_CDECL kvScanFileOrDirectory_Internal(char* path, ScanCallback callback,
                                                          ScanCallbackStdcall stdcall_callback,
                                                          int32_t user_value);

/* --- Scan settings ------------------------------------------------------ */

/* Replaces the file masks with a ";"-separated list of wildcard masks ("*",
 * "?"; a leading "!" makes an exclude mask), compared without regard to
 * ASCII case. A name is scanned when an include mask matches it and no
 * exclude mask does. Returns the number of ";" in the list; a null list
 * returns 0 and keeps the current masks. */
KV_EXPORT int32_t KV_CDECL kvSetFileMasks(const char* masks);

/* --- Data files ---------------------------------------------------------- */

/* Reads and fully decodes a data file (KVFILE.DAT or KVINFO.DAT) without
 * touching the engine's tables. Returns a KV_STATUS_* code, 0 when the file
 * would load; 2 for a null path. */
KV_EXPORT int32_t KV_CDECL kvVerifyDAT(const char* path);

/* --- Pest information (KVINFO.DAT) -------------------------------------- */

/* Loads the pest information table (KVLocation, then KVCLLocation, then the
 * host executable's folder; a folder set with kvSetDATFolder is not used and
 * is replaced by the folder searched). Counted: each call needs one
 * kvUnloadPestInfo. Returns a KV_STATUS_* code. */
KV_EXPORT int32_t KV_CDECL kvLoadPestInfo(void);
/* Drops one reference; the last releases the table. Returns 0. */
KV_EXPORT int32_t KV_CDECL kvUnloadPestInfo(void);
/* A new copy of the pest's information in *out and 0; 10 when no record has
 * that id. Loads the table for the call when it is not loaded (and returns
 * that load's status when it fails). */
KV_EXPORT int32_t KV_CDECL kvGetDetailedPestInformation(uint32_t pest_id,
                                                        _DETAILED_PEST_INFORMATION** out);
/* As kvGetDetailedPestInformation for the pest of the first signature named
 * `name` (ASCII case ignored); 10 when no signature has that name. */
KV_EXPORT int32_t KV_CDECL kvGetDetailedPestInformationFromName(const char* name,
                                                                _DETAILED_PEST_INFORMATION** out);
/* A new copy of the record at `index` of the loaded table, or null. */
KV_EXPORT _DETAILED_PEST_INFORMATION* KV_CDECL kvGetDetailedPestInfoByIndex(int32_t index);
/* Releases a copy: its five texts, then the record. Accepts null; returns 1. */
KV_EXPORT int32_t KV_CDECL kvDeallocateDetailedPestInformation(_DETAILED_PEST_INFORMATION* info);

/* --- Data folder --------------------------------------------------------- */

/* Copies the engine's data folder and its NUL into `buffer`, which holds
 * size + 1 bytes, and returns 1. Returns 0 and writes nothing when the
 * folder is empty, longer than `size` characters (a negative size always),
 * or the buffer is null. */
KV_EXPORT int32_t KV_CDECL kvGetDATFolder(char* buffer, int32_t size);
/* Sets the data folder to a copy of `folder`, unchecked (an empty text
 * empties it; null leaves it unchanged). Returns 1. */
KV_EXPORT int32_t KV_CDECL kvSetDATFolder(const char* folder);

/* --- Exclusions ---------------------------------------------------------- */

/* Reloads the list and adds `path` (its short form, without one trailing
 * separator) to excluded.dat unless it is excluded already. Returns 1 when
 * the path is excluded afterwards, 0 when it could not be added (the file
 * cannot be written, a null or empty path, or one that cannot be stored as
 * one entry of at most 259 characters). */
KV_EXPORT int32_t KV_CDECL kvAddExclusion(const char* path);
/* Removes every entry equal to `path` (ASCII case ignored, one trailing
 * separator dropped), as the find functions return it, and rewrites the
 * file. Returns 1 when an entry was removed, 0 when none matched or the
 * file could not be rewritten (the list is then reloaded from the file). */
KV_EXPORT int32_t KV_CDECL kvRemoveExclusion(const char* path);
/* Reloads the list and starts an enumeration: the first entry, or null.
 * The text is the engine's own, valid until the list is next reloaded. */
KV_EXPORT const char* KV_CDECL kvFindFirstExclusion(void);
/* The next entry of the enumeration, or null at its end, before any
 * kvFindFirstExclusion, or after the list was reloaded. */
KV_EXPORT const char* KV_CDECL kvFindNextExclusion(void);
/* 1 when `path` is excluded by an entry of the list as last loaded (the
 * entry names it or a folder that holds it) or contains "QUARANTINE" or
 * "_RESTORE" in any case; 0 otherwise and for null. */
KV_EXPORT int32_t KV_CDECL kvIsFileExcluded(const char* path);

/* --- Processes ----------------------------------------------------------- */

/* Copies the executable path of process `process_id` into `buffer` (room
 * for `size` characters, taken as unsigned, and a NUL). Returns its length;
 * 0 with an empty buffer when no listed process has the id; -1 for a null
 * buffer, when the process list cannot be taken, or when the path is longer
 * than `size` (the buffer is then empty). */
KV_EXPORT int32_t KV_CDECL kvGetProcessFilename(uint32_t process_id, char* buffer, int32_t size);
/* --- Signature lookups ---------------------------------------------------- */

/* The signature for a file's head CRC `pvt` (matched as stored or as its
 * complement) when c and d are 0 or 0xFFFFFFFF; otherwise the first
 * signature whose PVT is pvt or ~pvt, or whose alternate key is d. `second`
 * is ignored. Returns a pointer into the engine's table, valid until the
 * table is next reloaded or freed, or null. No stdcall twin. */
KV_EXPORT const _PEST_SIGNATURE* KV_CDECL fpi(uint32_t pvt, uint32_t second, uint32_t c,
                                              uint32_t d);
/* A new record for the first signature storing exactly `pvt` (no
 * complement), with an empty file name; null when none. Release it with
 * kvDeallocatePestInformation. */
KV_EXPORT _PEST_INFORMATION* KV_CDECL kvFindPestByPVT(uint32_t pvt);
/* A new record for the first signature named `name`, ASCII letters compared
 * without case, with an empty file name; null when none or `name` is null. */
KV_EXPORT _PEST_INFORMATION* KV_CDECL kvFindPestByName(const char* name);
/* Releases a record from the engine: file name, pest name, record. Accepts
 * null. Returns 1. */
KV_EXPORT int32_t KV_CDECL kvDeallocatePestInformation(_PEST_INFORMATION* info);

#if defined(_WIN32)
/* Function-pointer types of the callee-pops twins, for GetProcAddress. */
typedef int32_t(KV_STDCALL* KV_SETSCANMODE_STDCALL_FN)(int32_t mode);
typedef int32_t(KV_STDCALL* KV_VOID_STDCALL_FN)(void);
typedef int32_t(KV_STDCALL* KV_PATH_STDCALL_FN)(const char* path);
typedef int32_t(KV_STDCALL* KV_GETDATFOLDER_STDCALL_FN)(char* buffer, int32_t size);
typedef const char*(KV_STDCALL* KV_TEXT_STDCALL_FN)(void);
typedef int32_t(KV_STDCALL* KV_GETPROCESSFILENAME_STDCALL_FN)(uint32_t process_id, char* buffer,
                                                              int32_t size);
typedef _PEST_INFORMATION*(KV_STDCALL* KV_FINDPESTBYPVT_STDCALL_FN)(uint32_t pvt);
typedef _PEST_INFORMATION*(KV_STDCALL* KV_FINDPESTBYNAME_STDCALL_FN)(const char* name);
typedef int32_t(KV_STDCALL* KV_DEALLOCATEPESTINFORMATION_STDCALL_FN)(_PEST_INFORMATION* info);
typedef int32_t(KV_STDCALL* KV_SCANFILEORDIRECTORY_STDCALL_FN)(char* path,
                                                               ScanCallbackStdcall callback,
                                                               int32_t user_value);
#endif

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* KVSERVER_H_ */
