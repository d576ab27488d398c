// The next slide prepared on a background thread: the window thread asks for
// a picture (path, window size, settings) and later takes the finished
// picture, scaled and cropped, to turn it into its device bitmap. A newer
// request supersedes an older one: the older picture's decoding stops at its
// next row and its result is dropped, so two preparations never run for one
// show and a slow picture never holds up the one the user asked for.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "library/show_settings.h"
#include "platform/latest_job_worker.h"
#include "show/show_image.h"
#include "show/slide_preparation.h"

namespace qv {

// What asked for a slide.
enum class ESlideOrigin {
  kTimer,  // the slide timer or the retry after a too narrow picture
  kUser,   // a tray press, a double-click, the Settings command
};

// Where the picture comes from: a new pick, or a step through the show's
// history.
enum class EHistoryStep { kNew, kBack, kForward };

struct CSlideJob {
  std::string path;
  CShowSettings settings;  // scalars only (CShowSettings::ScalarsOnly)
  int32_t width = 0;       // the window's client size
  int32_t height = 0;
  ESlideOrigin origin = ESlideOrigin::kTimer;
  EHistoryStep step = EHistoryStep::kNew;
  int32_t counter = 0;  // the sequential position after this picture
};

struct CPreparedSlide {
  std::string path;
  ESlideOrigin origin = ESlideOrigin::kTimer;
  EHistoryStep step = EHistoryStep::kNew;
  int32_t counter = 0;
  CSlidePreparation prep;
  // kReady: holds the 24-bit picture, scaled and cropped; otherwise empty.
  std::unique_ptr<CShowImage> image;
};

// Prepares one job on the calling thread; stops early (and the outcome is
// meaningless) once token says the job is no longer wanted.
CPreparedSlide PrepareSlideJob(CSlideJob& job, const CJobToken& token);

class CSlideWorker {
 public:
  // ready runs on the worker thread when a slide can be taken.
  explicit CSlideWorker(std::function<void()> ready);

  // Supersedes whatever is waiting or being prepared.
  void Prepare(CSlideJob job) { m_worker.Post(std::move(job)); }
  // A request is waiting or being prepared.
  bool Busy() const { return m_worker.Busy(); }
  // The prepared slide of the newest request, once.
  std::optional<CPreparedSlide> Take() { return m_worker.Take(); }
  // Nothing more is wanted (the window goes away).
  void Cancel() { m_worker.Cancel(); }

 private:
  CLatestJobWorker<CSlideJob, CPreparedSlide> m_worker;
};

}  // namespace qv
