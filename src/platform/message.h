// The one message the engine shows its user.
#pragma once

namespace kv::platform {

// Windows: a modal error box captioned "Trovalen" with no owner window.
// POSIX: one line "Trovalen: <text>" on standard error, in one write.
void ShowUserMessage(const char* text);

}  // namespace kv::platform
