#include "app/command_line.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

TEST(CommandLine, Words) {
  struct Case {
    std::vector<std::string> words;
    ERemoteCommand command;
    bool understood;
  };
  const Case cases[] = {
      {{}, ERemoteCommand::kNone, true},
      {{"/next"}, ERemoteCommand::kNext, true},
      {{"-NEXT"}, ERemoteCommand::kNext, true},
      {{"--next"}, ERemoteCommand::kNext, true},
      {{"--next?"}, ERemoteCommand::kNone, false},
      {{"/-next"}, ERemoteCommand::kNone, false},
      {{"/Pause"}, ERemoteCommand::kPause, true},
      {{"-resume"}, ERemoteCommand::kResume, true},
      {{"/Settings"}, ERemoteCommand::kSettings, true},
      {{"/EXIT"}, ERemoteCommand::kExit, true},
      {{"next"}, ERemoteCommand::kNone, false},
      {{"/nextslide"}, ERemoteCommand::kNone, false},
      {{"/show"}, ERemoteCommand::kNone, false},
      {{"/"}, ERemoteCommand::kNone, false},
      {{"--"}, ERemoteCommand::kNone, false},
      {{""}, ERemoteCommand::kNone, false},
      {{"/next", "/pause"}, ERemoteCommand::kNone, false},
  };
  for (const auto& c : cases) {
    const std::string shown = c.words.empty() ? "(none)" : c.words.front() + (c.words.size() > 1 ? " ..." : "");
    const CCommandLine line = ParseCommandLine(c.words);
    EXPECT_EQ(line.command, c.command) << shown;
    EXPECT_EQ(line.strError.empty(), c.understood) << shown;
  }
}

TEST(CommandLine, WhatAStartDoes) {
  struct Case {
    ERemoteCommand command;
    bool startsWhenAlone;
    ERemoteCommand forRunningCopy;
  };
  const Case cases[] = {
      {ERemoteCommand::kNone, true, ERemoteCommand::kSettings},
      {ERemoteCommand::kNext, true, ERemoteCommand::kNext},
      {ERemoteCommand::kPause, false, ERemoteCommand::kPause},
      {ERemoteCommand::kResume, true, ERemoteCommand::kResume},
      {ERemoteCommand::kSettings, true, ERemoteCommand::kSettings},
      {ERemoteCommand::kExit, false, ERemoteCommand::kExit},
  };
  for (const auto& c : cases) {
    const auto n = static_cast<uint32_t>(c.command);
    EXPECT_EQ(StartsWhenAlone(c.command), c.startsWhenAlone) << n;
    EXPECT_EQ(CommandForRunningCopy(c.command), c.forRunningCopy) << n;
  }
}

TEST(CommandLine, InstanceKeyFoldsOnlyAsciiCase) {
  EXPECT_EQ(InstanceKey("C:\\Program Files\\Quadrivue"), InstanceKey("c:\\PROGRAM FILES\\quadrivue"));
  EXPECT_NE(InstanceKey("C:\\Program Files\\Quadrivue"), InstanceKey("C:\\Program Files\\Quadrivue2"));
  EXPECT_NE(InstanceKey("C:\\Tools\\Quadrivue"), InstanceKey("D:\\Tools\\Quadrivue"));
  EXPECT_NE(InstanceKey(""), InstanceKey("\\"));
  // Letters beyond ASCII (UTF-8 "É" and "é") are not folded.
  EXPECT_NE(InstanceKey("C:\\\xC3\x89t\xC3\xA9"), InstanceKey("C:\\\xC3\xA9t\xC3\xA9"));
}

}  // namespace
}  // namespace qv
