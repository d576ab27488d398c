#include "show/slide_history.h"

namespace qv {

void CSlideHistory::Record(std::string path, int32_t counter) {
  if (!m_arrEntries.empty()) m_arrEntries.resize(m_nCurrent + 1);
  m_arrEntries.push_back({std::move(path), counter});
  if (m_arrEntries.size() > kLimit) m_arrEntries.pop_front();
  m_nCurrent = m_arrEntries.size() - 1;
  m_bSteppedBack = false;
}

std::optional<CHistoryEntry> CSlideHistory::Back() {
  if (m_arrEntries.empty() || m_nCurrent == 0) return std::nullopt;
  m_bSteppedBack = true;
  return m_arrEntries[--m_nCurrent];
}

std::optional<CHistoryEntry> CSlideHistory::Forward() {
  if (m_nCurrent + 1 >= m_arrEntries.size()) return std::nullopt;
  m_bSteppedBack = false;
  return m_arrEntries[++m_nCurrent];
}

void CSlideHistory::Forget() {
  if (m_arrEntries.empty()) return;
  m_arrEntries.erase(m_arrEntries.begin() + static_cast<std::ptrdiff_t>(m_nCurrent));
  // Stepped back: the newer neighbour, now at this index, is the one the step
  // came from. Otherwise the older one is (the newest when one just recorded
  // is forgotten).
  if (!m_bSteppedBack && m_nCurrent > 0) --m_nCurrent;
  if (m_nCurrent >= m_arrEntries.size()) m_nCurrent = m_arrEntries.empty() ? 0 : m_arrEntries.size() - 1;
}

}  // namespace qv
