// The per-thread error state, the list of all states, and the operation frame.
#include <atomic>
#include <mutex>

#include "codec/codec_internal.h"

namespace qv::codec {

namespace {

// Every state ever created, destroyed together at program end. A state is
// reached through the thread-local pointer; the list only owns them.
class CStateList {
 public:
  ~CStateList() {
    s_bClosed.store(true);
    std::lock_guard<std::mutex> lock(m_lock);
    m_arrStates.clear();
  }

  ISThreadState* Create() {
    auto state = std::make_unique<ISThreadState>();
    std::lock_guard<std::mutex> lock(m_lock);
    m_arrStates.push_back(std::move(state));
    return m_arrStates.back().get();
  }

  static bool Closed() { return s_bClosed.load(); }

 private:
  static inline std::atomic<bool> s_bClosed{false};
  std::mutex m_lock;
  std::vector<std::unique_ptr<ISThreadState>> m_arrStates;
};

CStateList& States() {
  static CStateList list;
  return list;
}

thread_local ISThreadState* t_pState = nullptr;

}  // namespace

ISThreadState* GetThreadState() noexcept {
  if (t_pState) return CStateList::Closed() ? nullptr : t_pState;
  if (CStateList::Closed()) return nullptr;
  try {
    t_pState = States().Create();
  } catch (...) {
    return nullptr;
  }
  return t_pState;
}

bool ReportProgress(ISThreadState& state, int32_t index, int32_t count) {
  if (!state.m_pfnProgress || state.m_nNesting != 1) return true;
  return state.m_pfnProgress(index, count, state.m_nProgressUser) != 0;
}

CISOperation::CISOperation() noexcept : m_pState(GetThreadState()) {
  if (!m_pState) return;
  m_pState->m_nLastError = IS_ERR_OK;
  m_guard.emplace(*m_pState);
}

CISOperation::~CISOperation() {
  if (!m_pState) return;
  m_guard.reset();
  m_pState->m_nLastError = m_nError;
}

bool CISOperation::Attach(HISSRC source, CISIO& io) {
  const int32_t check = CheckSource(source);
  if (check != IS_ERR_OK) {
    m_nError = check;
    return false;
  }
  io = CISIO(source);
  return true;
}

bool CISOperation::Progress(int32_t index, int32_t count) {
  if (ReportProgress(*m_pState, index, count)) return true;
  m_nError = IS_ERR_CANCELLED;
  return false;
}

}  // namespace qv::codec

int32_t ISGetLastError() {
  const qv::codec::ISThreadState* state = qv::codec::GetThreadState();
  return state ? state->m_nLastError : IS_ERR_NOSTATE;
}

int32_t ISSetProgressCallback(ISProgressFn callback, uintptr_t user) {
  qv::codec::CISOperation op;
  if (!op.Ok()) return 0;
  op.State().m_pfnProgress = callback;
  op.State().m_nProgressUser = user;
  return 1;
}
