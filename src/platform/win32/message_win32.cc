// Win32 user message: a modal error box without an owner window.
#include <windows.h>

#include "platform/message.h"

namespace kv::platform {

void ShowUserMessage(const char* text) {
  ::MessageBoxA(nullptr, text != nullptr ? text : "", "Trovalen", MB_OK | MB_ICONERROR);
}

}  // namespace kv::platform
