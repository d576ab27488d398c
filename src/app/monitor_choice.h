// The monitors the show can run on, and which one it takes: pure rules, kept
// apart from the platform's enumeration so that they can be tested anywhere.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qv {

struct CMonitorRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
};

struct CMonitorEntry {
  CMonitorRect m_rcWork;  // work area in screen coordinates
  int32_t m_bPrimary = 0;
};

// The monitor index for the setting n among the entries (at least one):
// past the end means the last monitor; -1 (and, from a damaged settings
// file, anything below it) means the last non-primary monitor in
// enumeration order, or monitor 0 when every entry is primary.
int32_t ResolveMonitorIndex(int32_t n, std::span<const CMonitorEntry> entries);

// The monitor index after the monitors changed (one added or removed, a work
// area moved): the monitor of the setting while it exists; when it has gone
// (or the setting is automatic), the automatic choice among those present.
int32_t MonitorAfterChange(int32_t setting, std::span<const CMonitorEntry> entries);

// The monitors that run a show: first the resolved monitor `first`, then
// every other monitor whose bit is set in mask (bit i: monitor i), in order;
// bits of monitors that are not there are ignored. Empty when first is not a
// monitor index.
std::vector<int32_t> ChosenMonitors(int32_t first, uint32_t mask, size_t count);

// "MONITOR 2", "MONITOR 1 (Primary)": numbered from 1.
std::string MonitorLabel(int32_t index, bool primary);

}  // namespace qv
