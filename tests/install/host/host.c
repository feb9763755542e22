/* A tiny kvserver host: loads the signatures from a data folder, scans a
 * file or folder and prints each detection.
 *   host DATA_FOLDER PATH
 * Exit status: 1 when a pest was found, 0 when none, 2 on an error. */
#include <kvserver.h>
#include <stdio.h>

static int32_t detections = 0;

/* Called for every file the walk examines; `info` is ours to release. */
static int32_t KV_CDECL OnReport(char* path, int32_t detected, _PEST_INFORMATION* info,
                                 int32_t user_value) {
  (void)user_value;
  if (detected) {
    printf("%s: %s FOUND (pest %u)\n", path, info->lpszPestName, (unsigned)info->dwPestID);
    ++detections;
  }
  kvDeallocatePestInformation(info); /* accepts null */
  return 1;                          /* 0 would skip the rest of this folder */
}

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: %s DATA_FOLDER PATH\n", argv[0]);
    return 2;
  }
  kvSetDATFolder(argv[1]); /* else: registry values, then the host's folder */
  const int32_t status = kvServerInitialize();
  if (status != KV_STATUS_OK) {
    fprintf(stderr, "kvServerInitialize: status %d\n", (int)status);
    return 2;
  }
  /* The engine has written its two statistics lines to standard output, the
   * last one without its line end. */
  printf("\n");
  const int32_t reports = kvScanFileOrDirectory(argv[2], OnReport, 0);
  printf("%d files examined, %d detections\n", (int)reports, (int)detections);
  kvServerDeinitialize();
  return detections > 0 ? 1 : 0;
}
