// POSIX user message: one line on standard error, written in one call.
#include <unistd.h>

#include <string>

#include "platform/message.h"

namespace kv::platform {

void ShowUserMessage(const char* text) {
  std::string line = "Trovalen: ";
  if (text != nullptr) line += text;
  line += '\n';
  ssize_t ignored = ::write(STDERR_FILENO, line.data(), line.size());
  (void)ignored;
}

}  // namespace kv::platform
