// quadrivue-cli: shows what the slideshow would do with a file or a folder.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_commands.h"
#include "platform/console.h"

namespace qv::cli {

namespace {

struct Command {
  const char* name;
  int (*run)(const Words&);
  const char* usage;
};

const Command kCommands[] = {
    {"frame", CmdFrame, "frame PW PH W H [--fit N] [--smart-crop 0|1]"},
    {"pick", CmdPick, "pick --count N [--random [--no-repeats] --seed S | --counter C] [--draws K]"},
    {"scan", CmdScan, "scan [--no-subfolders] [--exclude FILE] --index FILE FOLDER..."},
    {"list", CmdList, "list --index FILE [--at I]"},
    {"settings", CmdSettings,
     "settings defaults FILE | settings show FILE | settings set FILE name=value... "
     "(folder+=PATH appends, folders= clears)"},
    {"load", CmdLoad, "load FILE [--auto-rotate 0|1] OUT.ppm"},
    {"render", CmdRender,
     "render FILE --size WxH [--fit N] [--smart-crop 0|1] [--min-width N] [--ignore-small 0|1] [--auto-rotate 0|1] "
     "[--match-shape 0|1] OUT.ppm|OUT.bmp"},
    {"detect", CmdDetect, "detect FILE"},
    {"decode", CmdDecode, "decode FILE OUT --bpp N"},
    {"resize", CmdResize, "resize IN.ppm OUT.ppm --size WxH --op bilinear|area|block|nearest|bicubic|filter:K"},
    {"quantize", CmdQuantize, "quantize IN.ppm OUT.ppm --colors N [--dither 0|1] [--level L] [--octree]"},
};

}  // namespace

int Fail(const std::string& text) {
  std::fprintf(stderr, "error: %s\n", text.c_str());
  return 1;
}

int Usage() {
  std::fprintf(stderr, "usage: quadrivue-cli COMMAND ...\n");
  for (const auto& command : kCommands) std::fprintf(stderr, "  quadrivue-cli %s\n", command.usage);
  return 2;
}

}  // namespace qv::cli

int main(int argc, char** argv) {
  using namespace qv::cli;
  qv::UseBinaryStdout();
  if (argc < 2) return Usage();
  const std::string name = argv[1];
  const Words words(argv + 2, argv + argc);
  for (const auto& command : kCommands) {
    if (name == command.name) {
      const int rc = command.run(words);
      std::fflush(stdout);
      return rc;
    }
  }
  return Usage();
}
