// Threads that work for the user interface without competing with it.
#pragma once

namespace qv {

// Puts the calling thread into background mode: lowest scheduling priority
// and, where the system has it, low-priority disk and memory access
// (THREAD_MODE_BACKGROUND_BEGIN on Windows). Best effort.
void EnterBackgroundMode();

}  // namespace qv
