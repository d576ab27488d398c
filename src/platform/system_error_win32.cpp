#include <windows.h>

#include "platform/system_error.h"

namespace qv {

uint32_t LastSystemError() { return ::GetLastError(); }

std::string SystemErrorText(uint32_t code) {
  char* text = nullptr;
  const DWORD length =
      ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
  std::string message = length && text ? std::string(text, length) : std::string();
  if (text) ::LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
    message.pop_back();
  if (message.empty()) message = "System error " + std::to_string(code) + ".";
  return message;
}

}  // namespace qv
