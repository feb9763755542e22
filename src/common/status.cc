// Descriptions of the status codes for tools and messages.
#include "common/status.h"

namespace kv {

const char* DescribeStatus(int32_t status) {
  switch (status) {
    case 0:
      return "success";
    case 2:
      return "the file cannot be opened";
    case 3:
      return "the file is corrupt";
    case 4:
      return "the format date differs";
    case 5:
      return "out of memory";
    case 6:
      return "the file does not start with the data-file magic";
    case 9:
      return "the engine was never initialized";
    case 10:
      return "pest not found";
    default:
      return "unknown status";
  }
}

}  // namespace kv
