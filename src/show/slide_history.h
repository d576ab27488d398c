// The pictures a show has shown, newest last, so that the user can step back
// to one that went and forward again before new pictures are chosen. Kept in
// memory only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

namespace qv {

struct CHistoryEntry {
  std::string path;
  int32_t nCounter = 0;  // the sequential position after this picture was picked
};

// One entry is current: the picture on show, or the one just stepped to and
// being loaded. Back and Forward move by one entry; Record adds at the newest
// end. When a stepped-to picture cannot be loaded, Forget drops it and the
// entry the step came from is current again, so the same step once more goes
// past the forgotten one.
class CSlideHistory {
 public:
  static constexpr size_t kLimit = 50;

  // A new picture went on show. Entries newer than the current one (left by
  // stepping back) are dropped first; past kLimit the oldest goes.
  void Record(std::string path, int32_t counter);
  // The entry before the current one, which becomes current; nullopt (and
  // nothing moves) at the oldest.
  std::optional<CHistoryEntry> Back();
  // The entry after the current one, which becomes current; nullopt when the
  // newest is current: then a new picture is due.
  std::optional<CHistoryEntry> Forward();
  // Drops the current entry after its picture failed to load (see above).
  void Forget();

  const CHistoryEntry* Current() const { return m_arrEntries.empty() ? nullptr : &m_arrEntries[m_nCurrent]; }
  size_t Size() const { return m_arrEntries.size(); }

 private:
  std::deque<CHistoryEntry> m_arrEntries;  // oldest first
  size_t m_nCurrent = 0;                   // valid while there are entries
  bool m_bSteppedBack = false;             // the last move was Back
};

}  // namespace qv
