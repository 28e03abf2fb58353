// The golden cases: every folder of tests/golden is one run of the converter,
// checked in-process (trelon::Run, with and without the AVX2 paths) and
// through the built binary.
//   word | argv            the option word, or the arguments one per line
//   input.muf | input.gen  the module, or a description of its bytes
//   existing               bytes put at the output path before the run
//   console.txt, status    what is printed after the banner (banner.txt); the exit status
//                          (no console.txt: nothing is printed, not even the banner)
//   stderr.txt             what goes to standard error (nothing, if absent)
//   output | output.gen | no_output   the output bytes, described, or no file
//   map.txt | map.json | map.svg      the memory map written to @DIR@/map.EXT
//   about                  what the case shows
// In argv and console.txt @IN@, @OUT@, @MISSING@ (no such file), @NODIR@ (in a
// missing folder), @DIR@ (the case's scratch folder) and @LINK@ (a symbolic
// link to the input) stand for paths. A description has the lines
// "bytes HH ..." and "repeat COUNT" ... "end". Either way the input stays as
// it was.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "cli/run.hpp"
#include "reader/reader.hpp"

namespace {

namespace fs = std::filesystem;
const fs::path kGolden = fs::path(TRELON_SOURCE_DIR) / "tests/golden";

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::string Gen(std::istream& in) {
  std::string out;
  for (std::string line, op, n, b; std::getline(in, line) && line.find("end") != 0;) {
    std::istringstream words(line);
    words >> op;
    while (op == "bytes" && words >> b) out += static_cast<char>(std::stoi(b, nullptr, 16));
    const std::string body = op == "repeat" && words >> n ? Gen(in) : "";
    for (auto k = body.empty() ? 0 : std::stoul(n, nullptr, 0); k > 0; --k) out += body;
    op.clear();
  }
  return out;
}

// A file, or the bytes that its description (the same name ending in .gen) spells out.
std::string Bytes(const fs::path& file) {
  std::ifstream gen(fs::path(file).replace_extension(".gen"), std::ios::binary);
  return gen ? Gen(gen) : Read(file);
}

std::set<std::string> Cases() {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(kGolden))
    if (entry.is_directory()) names.insert(entry.path().filename());
  return names;
}

class Golden : public testing::TestWithParam<std::string> {};

TEST_P(Golden, Case) {
  const fs::path dir = kGolden / GetParam();
  const std::string module = Bytes(dir / "input.muf"), want = Bytes(dir / "output"),
                    word = Read(dir / "word");
  const std::string arguments =
      fs::exists(dir / "word") ? word.substr(0, word.find('\n')) + "\n@IN@\n@OUT@" : Read(dir / "argv");
  const char* const ways[] = {"in-process", "in-process, SSE2 paths", "through the binary"};
  for (const int way : {0, 1, 2}) {
    const bool binary = way == 2;
    SCOPED_TRACE(ways[way]);
    char scratch[] = "/tmp/trelon-golden-XXXXXX";
    ASSERT_NE(mkdtemp(scratch), nullptr);
    const std::string tmp = scratch, in = tmp + "/in.muf", out = tmp + "/out.bin";
    auto fill = [&](std::string s) {  // @NAME@ stands for a path in the scratch folder
      for (const std::string name : {"@IN@/in.muf", "@OUT@/out.bin", "@MISSING@/missing.muf",
                                     "@NODIR@/nodir/out.bin", "@LINK@/link.muf", "@DIR@"}) {
        const std::string from = name.substr(0, name.find('@', 1) + 1), to = tmp + name.substr(from.size());
        for (std::size_t at; (at = s.find(from)) != std::string::npos;) s.replace(at, from.size(), to);
      }
      return s;
    };
    std::ofstream(in, std::ios::binary) << module;
    if (fs::exists(dir / "existing")) std::ofstream(out, std::ios::binary) << Read(dir / "existing");
    fs::create_symlink(in, tmp + "/link.muf");
    std::istringstream lines(fill(arguments));
    std::vector<std::string> args{TRELON_BINARY};
    for (std::string arg; std::getline(lines, arg);) args.push_back(arg);
    std::vector<const char*> argv;
    std::string command;  // the arguments quoted for the shell
    for (const auto& arg : args) argv.push_back(arg.c_str()), command += "'" + arg + "' ";
    int status = -1;
    if (binary) {
      status = WEXITSTATUS(std::system((command + ">" + tmp + "/console 2>" + tmp + "/errors").c_str()));
    } else {
      std::FILE* stream = std::fopen((tmp + "/console").c_str(), "wb");
      std::FILE* error_stream = std::fopen((tmp + "/errors").c_str(), "wb");
      status = trelon::RunCommandLine(static_cast<int>(argv.size()), argv.data(), stream, error_stream, way != 1, 0);
      std::fclose(stream);
      std::fclose(error_stream);
    }
    const std::string console = Read(tmp + "/console"), errors = Read(tmp + "/errors");
    EXPECT_EQ(status, std::stoi(Read(dir / "status")));
    const bool quiet = !fs::exists(dir / "console.txt");  // nothing at all, not even the banner
    EXPECT_EQ(console, (quiet ? "" : Read(kGolden / "banner.txt")) + fill(Read(dir / "console.txt")));
    EXPECT_EQ(errors, fill(Read(dir / "stderr.txt")));
    EXPECT_EQ(fs::exists(out), !fs::exists(dir / "no_output"));
    const std::string got = Read(out);
    EXPECT_TRUE(got == want) << got.size() << " bytes written, " << want.size() << " expected";
    EXPECT_EQ(Read(in), module);
    std::set<std::string> left{"in.muf", "out.bin", "link.muf", "console", "errors"};
    for (const std::string map : {"map.txt", "map.json", "map.svg"}) {
      if (!fs::exists(dir / map)) continue;
      EXPECT_EQ(Read(tmp + "/" + map), Read(dir / map)) << map;
      left.insert(map);
    }
    for (const auto& entry : fs::directory_iterator(tmp))  // no temporary file left behind
      EXPECT_TRUE(left.contains(entry.path().filename())) << entry.path();
    fs::remove_all(tmp);
  }
}

INSTANTIATE_TEST_SUITE_P(Folders, Golden, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<std::string>& info) { return info.param; });

// Lines past 2^31 are counted on, not wrapped (no module this size fits a folder).
TEST(LineCount, PassesTwoToThe31) {
  char text[] = "\n\n";
  trelon::Input input(fmemopen(text, 2, "rb"));
  trelon::Console silent(nullptr, nullptr, nullptr);
  trelon::Output output(nullptr);
  trelon::Writer none(output, silent);
  trelon::LoadAccount account(false);
  const auto failure = trelon::ReadModule(input, trelon::Options{}, none, silent, account, INT32_MAX);
  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(failure->line, 2147483649LL);
  std::fclose(input.file);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size);

// The checks of fuzz/fuzz.cpp hold for the seed corpus and the minimised findings.
TEST(FuzzInputs, PassTheChecks) {
  int count = 0;
  for (const char* folder : {"fuzz/corpus", "fuzz/regressions"})
    for (const auto& entry : fs::recursive_directory_iterator(fs::path(TRELON_SOURCE_DIR) / folder)) {
      if (!entry.is_regular_file()) continue;
      const std::string bytes = Read(entry.path());
      count += LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()) == 0;
    }
  EXPECT_GT(count, 900);
}

}  // namespace
