// quadrivue-cli.exe (beside this test) on the three metafiles: load goes
// through the image holder, decode through the codec's reader table; both
// write the picture as a PPM whose size and colours are checked.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "codec/codec_test_support.h"
#include "metafile_fixtures.h"
#include "platform/paths.h"
#include "support/param_names.h"

namespace qv::test {
namespace {

// Runs the tool with the arguments (each quoted); its output goes to outputPath.
DWORD RunCli(const std::string& arguments, const std::string& outputPath) {
  const std::string program = JoinPath(GetProgramFolder(), "quadrivue-cli.exe");
  std::string command = "\"" + program + "\" " + arguments;
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE output = ::CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  if (output == INVALID_HANDLE_VALUE) return DWORD(-1);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = output;
  startup.hStdError = output;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION process = {};
  DWORD code = DWORD(-1);
  if (::CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                       &process)) {
    ::WaitForSingleObject(process.hProcess, 60000);
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
  }
  ::CloseHandle(output);
  return code;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

// A binary PPM as the tool writes it ("P6\n<w> <h>\n255\n", then the rows).
bool ReadPpm(const std::string& path, int32_t& width, int32_t& height, std::string& pixels) {
  const std::string bytes = ReadText(path);
  int consumed = 0;
  if (std::sscanf(bytes.c_str(), "P6\n%d %d\n255\n%n", &width, &height, &consumed) != 2 || consumed == 0) return false;
  pixels = bytes.substr(size_t(consumed));
  return pixels.size() == size_t(width) * size_t(height) * 3;
}

struct CCliCase {
  const char* name;
  const char* command;  // load or decode
  CFixtureCase fixture;
  friend void PrintTo(const CCliCase& c, std::ostream* os) { *os << c.command << " " << c.fixture.fileName; }
};

class MetafileCliTest : public ::testing::TestWithParam<CCliCase> {};

TEST_P(MetafileCliTest, WritesThePictureAtItsSizeAndColours) {
  CTempFolder folder;
  const CCliCase& c = GetParam();
  const std::string in = folder.Path(c.fixture.fileName);
  ASSERT_TRUE(WriteFixture(c.fixture.kind, in));
  const std::string out = folder.Path("out.ppm");
  const std::string extra = std::string(c.command) == "decode" ? " --bpp 24" : "";
  const DWORD code =
      RunCli(std::string(c.command) + " " + Quoted(in) + " " + Quoted(out) + extra, folder.Path("output.txt"));
  ASSERT_EQ(code, 0u) << ReadText(folder.Path("output.txt"));

  int32_t width = 0, height = 0;
  std::string pixels;
  ASSERT_TRUE(ReadPpm(out, width, height, pixels));
  const CExpectedSize size = ExpectedFixtureSize(c.fixture.kind, in);
  EXPECT_NEAR(width, size.width, size.tolerance);
  EXPECT_NEAR(height, size.height, size.tolerance);
  const auto* image = reinterpret_cast<const uint8_t*>(pixels.data());
  for (const CColourProbe& probe : PictureProbes())
    EXPECT_EQ(PixelAt(image, width, height, probe.fx, probe.fy), probe.colour) << "at " << probe.fx << ", " << probe.fy;
}

std::vector<CCliCase> CliCases() {
  std::vector<CCliCase> cases;
  for (const CFixtureCase& f : kFixtureCases) {
    cases.push_back({f.name, "load", f});
    cases.push_back({f.name, "decode", f});
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, MetafileCliTest, ::testing::ValuesIn(CliCases()),
                         [](const auto& info) { return TestName(std::string(info.param.command) + info.param.name); });

// Metafiles render at 24 bits only; decode refuses other depths.
TEST(MetafileCli, DecodeAtAnotherDepthFails) {
  CTempFolder folder;
  const std::string in = folder.Path("picture.emf");
  ASSERT_TRUE(WriteEmf(in));
  const std::string output = folder.Path("output.txt");
  EXPECT_EQ(RunCli("decode " + Quoted(in) + " " + Quoted(folder.Path("out.ppm")) + " --bpp 8", output), 1u);
  EXPECT_NE(ReadText(output).find("error 5"), std::string::npos) << ReadText(output);
}

}  // namespace
}  // namespace qv::test
