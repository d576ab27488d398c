// Standard output as the tool writes it.
#pragma once

namespace qv {

// Lines end in "\n" on every platform, so the tool's output is the same
// byte for byte on Windows and elsewhere.
void UseBinaryStdout();

}  // namespace qv
