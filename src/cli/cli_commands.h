// The tool's subcommands. Each takes the words after its name and returns the
// exit code: 0 success, 1 failure (one "error: ..." line on stderr), 2 usage.
#pragma once

#include <string>
#include <vector>

namespace qv::cli {

using Words = std::vector<std::string>;

// Prints "error: <text>" to stderr and returns 1.
int Fail(const std::string& text);
// Prints the usage text to stderr and returns 2.
int Usage();

int CmdFrame(const Words& args);
int CmdPick(const Words& args);
int CmdScan(const Words& args);
int CmdList(const Words& args);
int CmdSettings(const Words& args);
int CmdLoad(const Words& args);
int CmdRender(const Words& args);
int CmdDetect(const Words& args);
int CmdDecode(const Words& args);
int CmdResize(const Words& args);
int CmdQuantize(const Words& args);

}  // namespace qv::cli
