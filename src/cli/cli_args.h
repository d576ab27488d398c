// A small parser for the tool's "--name value" options and positional words.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace qv::cli {

class CArgs {
 public:
  // flags: options without a value; every other "--name" takes the next word.
  CArgs(const std::vector<std::string>& words, const std::set<std::string>& flags);

  bool Ok() const { return m_bOk; }
  bool Has(const std::string& name) const;
  std::optional<std::string> Value(const std::string& name) const;
  const std::vector<std::string>& Positional() const { return m_arrPositional; }
  // Options that were given but are not in known (a usage error).
  bool OnlyKnown(const std::set<std::string>& known) const;

 private:
  bool m_bOk = true;
  std::map<std::string, std::string> m_options;
  std::vector<std::string> m_arrPositional;
};

// Whole-word integer parsing within [lo, hi].
std::optional<int64_t> ParseInt(const std::string& text, int64_t lo, int64_t hi);

// Reads an int32 option (or its default); false when given but not a number in range.
bool IntOption(const CArgs& args, const std::string& name, int64_t lo, int64_t hi, int64_t fallback, int64_t& out);

}  // namespace qv::cli
