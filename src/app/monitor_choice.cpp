#include "app/monitor_choice.h"

namespace qv {

int32_t ResolveMonitorIndex(int32_t n, std::span<const CMonitorEntry> entries) {
  const auto count = static_cast<int32_t>(entries.size());
  if (count <= 0) return -1;
  if (n >= count) n = count - 1;
  if (n < 0) {
    n = 0;
    for (int32_t i = 0; i < count; ++i) {
      if (!entries[static_cast<size_t>(i)].m_bPrimary) n = i;
    }
  }
  return n;
}

int32_t MonitorAfterChange(int32_t setting, std::span<const CMonitorEntry> entries) {
  if (setting >= 0 && static_cast<size_t>(setting) < entries.size()) return setting;
  return ResolveMonitorIndex(-1, entries);
}

std::vector<int32_t> ChosenMonitors(int32_t first, uint32_t mask, size_t count) {
  std::vector<int32_t> chosen;
  if (first < 0 || static_cast<size_t>(first) >= count) return chosen;
  chosen.push_back(first);
  for (size_t i = 0; i < count && i < 32; ++i) {
    if ((mask >> i) & 1u && static_cast<int32_t>(i) != first) chosen.push_back(static_cast<int32_t>(i));
  }
  return chosen;
}

std::string MonitorLabel(int32_t index, bool primary) {
  std::string label = "MONITOR " + std::to_string(int64_t{index} + 1);
  if (primary) label += " (Primary)";
  return label;
}

}  // namespace qv
