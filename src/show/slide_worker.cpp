#include "show/slide_worker.h"

#include "codec/codec.h"

namespace qv {

namespace {

// The codec asks after every row whether to go on.
int32_t StillWanted(int32_t, int32_t, uintptr_t user) {
  return reinterpret_cast<const CJobToken*>(user)->Wanted() ? 1 : 0;
}

// The progress callback set for this thread while a job runs.
class CCancelHook {
 public:
  explicit CCancelHook(const CJobToken& token) {
    ISSetProgressCallback(&StillWanted, reinterpret_cast<uintptr_t>(&token));
  }
  CCancelHook(const CCancelHook&) = delete;
  CCancelHook& operator=(const CCancelHook&) = delete;
  ~CCancelHook() { ISSetProgressCallback(nullptr, 0); }
};

}  // namespace

CPreparedSlide PrepareSlideJob(CSlideJob& job, const CJobToken& token) {
  CPreparedSlide slide;
  slide.path = job.path;
  slide.origin = job.origin;
  slide.step = job.step;
  slide.counter = job.counter;
  slide.image = std::make_unique<CShowImage>();
  if (!token.Wanted()) return slide;
  const CCancelHook hook(token);
  slide.prep = PrepareSlide(*slide.image, job.path, job.settings, job.width, job.height);
  if (slide.prep.outcome != ESlideOutcome::kReady) slide.image.reset();
  return slide;
}

CSlideWorker::CSlideWorker(std::function<void()> ready)
    : m_worker(&PrepareSlideJob, [ready = std::move(ready)](uint64_t) {
        if (ready) ready();
      }) {}

}  // namespace qv
