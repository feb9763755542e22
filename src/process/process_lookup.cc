// Process lookup over the platform's process inventory.
#include "process/process_lookup.h"

#include <cstring>

#include "platform/processes.h"

namespace kv {

int32_t GetProcessFilename(uint32_t process_id, char* buffer, uint32_t size) {
  if (buffer == nullptr) return -1;
  const auto records = platform::ListProcesses();
  if (!records) return -1;
  buffer[0] = '\0';
  for (const platform::ProcessRecord& record : *records) {
    if (record.process_id != process_id) continue;
    if (record.path.size() > size) return -1;
    std::memcpy(buffer, record.path.c_str(), record.path.size() + 1);
    break;
  }
  return static_cast<int32_t>(std::strlen(buffer));
}

}  // namespace kv
