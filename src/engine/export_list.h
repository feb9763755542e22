// The library's export table, written once. Each line names one exported
// function: its result, its name, its parameters and the arguments that pass
// them on, and for the functions that have a callee-pops twin the byte count
// of the arguments in the twin's name ("_<name>_stdcall@<bytes>").
//
// KV_EXPORT_LIST(PLAIN, TWINNED, HAND_TWINNED, DECORATED) expands
//   PLAIN(result, name, parameters, arguments) for the functions without a
//     twin;
//   TWINNED(result, name, parameters, arguments, bytes) for those whose twin
//     takes the same parameters and only calls the plain function;
//   HAND_TWINNED(...) alike for those whose twin is written by hand (it
//     takes a stdcall callback where the plain function takes a cdecl one);
//   DECORATED(result, name, parameters, arguments, win32_name, win64_name)
//     for a function exported plainly on POSIX but on Windows only under the
//     decorated name a Microsoft compiler gives its signature, per
//     architecture.
// The twins' definitions, the Windows .def file and the export check all
// come from this list; the build reads it line by line, so keep one entry
// per line.
#pragma once

// clang-format off
#define KV_EXPORT_LIST(PLAIN, TWINNED, HAND_TWINNED, DECORATED) \
  TWINNED(int32_t, kvServerInitialize, (void), (), 0) \
  TWINNED(int32_t, kvServerDeinitialize, (void), (), 0) \
  TWINNED(int32_t, kvSetScanMode, (int32_t mode), (mode), 4) \
  TWINNED(int32_t, kvPauseScan, (void), (), 0) \
  TWINNED(int32_t, kvResumeScan, (void), (), 0) \
  TWINNED(int32_t, kvStopScan, (void), (), 0) \
  TWINNED(int32_t, kvImmediateExit, (void), (), 0) \
  TWINNED(int32_t, kvGetDATFolder, (char* buffer, int32_t size), (buffer, size), 8) \
  TWINNED(int32_t, kvSetDATFolder, (const char* folder), (folder), 4) \
  TWINNED(_PEST_INFORMATION*, kvScanSingleFile, (const char* path), (path), 4) \
  HAND_TWINNED(int32_t, kvScanFileOrDirectory, (char* path, ScanCallback callback, int32_t user_value), (path, callback, user_value), 12) \
  PLAIN(int32_t, kvScanFileOrDirectory_async, (char* path, ScanCallback callback, int32_t user_value), (path, callback, user_value)) \
  DECORATED(int32_t, kvScanFileOrDirectory_Internal, (char* path, ScanCallback callback, ScanCallbackStdcall stdcall_callback, int32_t user_value), (path, callback, stdcall_callback, user_value), "?kvScanFileOrDirectory_Internal@@YAHPADP6AH0HPAU_PEST_INFORMATION@@J@ZP6GH0H1J@ZJ@Z", "?kvScanFileOrDirectory_Internal@@YAHPEADP6AH0HPEAU_PEST_INFORMATION@@J@Z2J@Z") \
  TWINNED(int32_t, kvSetFileMasks, (const char* masks), (masks), 4) \
  TWINNED(int32_t, kvVerifyDAT, (const char* path), (path), 4) \
  PLAIN(const _PEST_SIGNATURE*, fpi, (uint32_t pvt, uint32_t second, uint32_t c, uint32_t d), (pvt, second, c, d)) \
  TWINNED(_PEST_INFORMATION*, kvFindPestByName, (const char* name), (name), 4) \
  TWINNED(_PEST_INFORMATION*, kvFindPestByPVT, (uint32_t pvt), (pvt), 4) \
  TWINNED(int32_t, kvDeallocatePestInformation, (_PEST_INFORMATION* info), (info), 4) \
  TWINNED(int32_t, kvLoadPestInfo, (void), (), 0) \
  TWINNED(int32_t, kvUnloadPestInfo, (void), (), 0) \
  TWINNED(int32_t, kvGetDetailedPestInformation, (uint32_t pest_id, _DETAILED_PEST_INFORMATION** out), (pest_id, out), 8) \
  TWINNED(int32_t, kvGetDetailedPestInformationFromName, (const char* name, _DETAILED_PEST_INFORMATION** out), (name, out), 8) \
  TWINNED(_DETAILED_PEST_INFORMATION*, kvGetDetailedPestInfoByIndex, (int32_t index), (index), 4) \
  TWINNED(int32_t, kvDeallocateDetailedPestInformation, (_DETAILED_PEST_INFORMATION* info), (info), 4) \
  TWINNED(int32_t, kvAddExclusion, (const char* path), (path), 4) \
  TWINNED(int32_t, kvRemoveExclusion, (const char* path), (path), 4) \
  TWINNED(const char*, kvFindFirstExclusion, (void), (), 0) \
  TWINNED(const char*, kvFindNextExclusion, (void), (), 0) \
  TWINNED(int32_t, kvIsFileExcluded, (const char* path), (path), 4) \
  TWINNED(int32_t, kvGetProcessFilename, (uint32_t process_id, char* buffer, int32_t size), (process_id, buffer, size), 12)
// clang-format on
