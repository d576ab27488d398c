#include "cli/cli_args.h"

#include <cerrno>
#include <cstdlib>

namespace qv::cli {

CArgs::CArgs(const std::vector<std::string>& words, const std::set<std::string>& flags) {
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (word.size() > 2 && word.compare(0, 2, "--") == 0) {
      const std::string name = word.substr(2);
      if (flags.count(name)) {
        m_options[name] = "";
      } else if (i + 1 < words.size()) {
        m_options[name] = words[++i];
      } else {
        m_bOk = false;
      }
    } else {
      m_arrPositional.push_back(word);
    }
  }
}

bool CArgs::Has(const std::string& name) const { return m_options.count(name) != 0; }

std::optional<std::string> CArgs::Value(const std::string& name) const {
  const auto it = m_options.find(name);
  if (it == m_options.end()) return std::nullopt;
  return it->second;
}

bool CArgs::OnlyKnown(const std::set<std::string>& known) const {
  for (const auto& [name, value] : m_options) {
    if (!known.count(name)) return false;
  }
  return true;
}

std::optional<int64_t> ParseInt(const std::string& text, int64_t lo, int64_t hi) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || value < lo || value > hi) return std::nullopt;
  return value;
}

bool IntOption(const CArgs& args, const std::string& name, int64_t lo, int64_t hi, int64_t fallback, int64_t& out) {
  const auto text = args.Value(name);
  if (!text) {
    out = fallback;
    return true;
  }
  const auto value = ParseInt(*text, lo, hi);
  if (!value) return false;
  out = *value;
  return true;
}

}  // namespace qv::cli
