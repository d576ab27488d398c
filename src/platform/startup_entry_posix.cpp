#include <cerrno>

#include "platform/startup_entry.h"
#include "platform/system_error.h"

namespace qv {

namespace {

bool NotSupported(std::string* reason) {
  if (reason) *reason = SystemErrorText(ENOTSUP);
  return false;
}

}  // namespace

bool CStartupEntry::Supported() { return false; }

std::optional<std::string> CStartupEntry::Read(std::string* reason) const {
  NotSupported(reason);
  return std::nullopt;
}

bool CStartupEntry::Write(const std::string&, std::string* reason) const { return NotSupported(reason); }

bool CStartupEntry::Remove(std::string* reason) const { return NotSupported(reason); }

}  // namespace qv
