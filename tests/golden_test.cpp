// End-to-end golden cases: every folder under tests/golden holds one run of the
// converter (option word or argument list, input module) and what it must
// produce (console text after the banner, output bytes or their absence, exit
// status). Each folder runs in-process and through the built binary.
//
// Folder contents:
//   word         the option word (first line), or
//   argv         the arguments after the program name, one per line
//   input.muf    the module, or
//   input.gen    a compact description of it (see ExpandGen)
//   console.txt  console text after the three banner lines
//   status       exit status
//   output       exact output bytes, or
//   output.gen   a compact description of them (see ExpandGen), or
//   no_output    marker: the output file must not exist
//   about        what the case shows (not read)
// In argv and console.txt, @IN@, @OUT@, @MISSING@, @NODIR@ and @DIR@ stand for
// the input path, the output path, a missing input, an output inside a
// missing directory and the case's own temporary directory.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "test_support.hpp"
#include "trelon/trelon.hpp"

namespace {

namespace fs = std::filesystem;
using trelon::test::ReadFile;
using trelon::test::TempDir;
using trelon::test::WriteFile;

const fs::path kGoldenDir = fs::path(TRELON_SOURCE_DIR) / "tests" / "golden";

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

std::string Trim(const std::string& s) {
  const auto b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

void ReplaceAll(std::string& s, const std::string& from, const std::string& to) {
  for (std::size_t p = 0; (p = s.find(from, p)) != std::string::npos; p += to.size()) s.replace(p, from.size(), to);
}

uint32_t Number(const std::string& t) { return static_cast<uint32_t>(std::stoul(t, nullptr, 0)); }

std::string Unescape(const std::string& t) {
  std::string out;
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (t[i] != '\\' || i + 1 == t.size()) {
      out += t[i];
      continue;
    }
    const char c = t[++i];
    if (c == 'r') out += '\r';
    else if (c == 'n') out += '\n';
    else if (c == 'x' && i + 2 < t.size()) {
      out += static_cast<char>(std::stoi(t.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else out += c;
  }
  return out;
}

// Expands a compact output description. Lines:
//   bytes 4E 71 ...     these bytes
//   fill <count> <hh>   <count> copies of byte hh (count decimal or 0x..)
//   text <escaped>      the text after "text ", with \r \n \\ \xHH
//   repeat <count> ... end   the enclosed lines <count> times (nestable)
//   # comment
std::string ExpandGen(const std::vector<std::string>& lines, std::size_t& i, bool nested) {
  std::string out;
  while (i < lines.size()) {
    const std::string line = lines[i++];
    const std::string t = Trim(line);
    if (t.empty() || t[0] == '#') continue;
    std::istringstream in(t);
    std::string op;
    in >> op;
    if (op == "bytes") {
      std::string b;
      while (in >> b) out += static_cast<char>(std::stoi(b, nullptr, 16));
    } else if (op == "fill") {
      std::string count, byte;
      in >> count >> byte;
      out.append(Number(count), static_cast<char>(std::stoi(byte, nullptr, 16)));
    } else if (op == "text") {
      const auto at = line.find("text ");
      out += Unescape(line.substr(at + 5));
    } else if (op == "repeat") {
      std::string count;
      in >> count;
      const std::size_t body = i;
      std::string block;
      for (uint32_t k = 0, n = Number(count); k < n; ++k) {
        i = body;
        const std::string once = ExpandGen(lines, i, true);
        if (k == 0) block.reserve(once.size() * n);
        block += once;
      }
      out += block;
    } else if (op == "end") {
      if (!nested) throw std::runtime_error("'end' without 'repeat'");
      return out;
    } else {
      throw std::runtime_error("unknown line in output.gen: " + line);
    }
  }
  if (nested) throw std::runtime_error("'repeat' without 'end'");
  return out;
}

std::string ExpandGenText(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  std::size_t i = 0;
  return ExpandGen(lines, i, false);
}

struct Case {
  std::string name;
  std::vector<std::string> args;  // after the program name, with placeholders
  std::string module;
  std::string console;
  int status = 0;
  bool output_exists = true;
  std::string output;
};

Case LoadCase(const std::string& name) {
  const fs::path dir = kGoldenDir / name;
  auto has = [&](const char* f) { return fs::exists(dir / f); };
  auto read = [&](const char* f) { return ReadFile((dir / f).string()); };
  Case c;
  c.name = name;
  if (has("word") == has("argv")) throw std::runtime_error(name + ": needs exactly one of word and argv");
  if (has("word")) {
    std::string word = read("word");
    if (!word.empty() && word.back() == '\n') word.pop_back();
    c.args = {word, "@IN@", "@OUT@"};
  } else {
    std::istringstream in(read("argv"));
    for (std::string a; std::getline(in, a);) c.args.push_back(a);
  }
  for (const char* f : {"console.txt", "status"}) {
    if (!has(f)) throw std::runtime_error(name + ": missing " + f);
  }
  if (has("input.muf") == has("input.gen")) throw std::runtime_error(name + ": needs exactly one of input.muf and input.gen");
  c.module = has("input.muf") ? read("input.muf") : ExpandGenText(read("input.gen"));
  c.console = read("console.txt");
  c.status = std::stoi(read("status"));
  const int outputs = int{has("output")} + int{has("output.gen")} + int{has("no_output")};
  if (outputs != 1) throw std::runtime_error(name + ": needs exactly one of output, output.gen, no_output");
  if (has("no_output")) {
    c.output_exists = false;
  } else if (has("output")) {
    c.output = read("output");
  } else {
    c.output = ExpandGenText(read("output.gen"));
  }
  return c;
}

std::vector<std::string> CaseNames() {
  std::vector<std::string> names;
  if (!fs::is_directory(kGoldenDir)) return names;
  for (const auto& e : fs::directory_iterator(kGoldenDir)) {
    if (e.is_directory()) names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

struct Paths {
  std::string dir, in, out, missing, nodir;
  explicit Paths(const std::string& d)
      : dir(d), in(d + "/in.muf"), out(d + "/out.bin"), missing(d + "/missing.muf"), nodir(d + "/nodir/out.bin") {}
  std::string Fill(std::string s) const {
    ReplaceAll(s, "@IN@", in);
    ReplaceAll(s, "@OUT@", out);
    ReplaceAll(s, "@MISSING@", missing);
    ReplaceAll(s, "@NODIR@", nodir);
    ReplaceAll(s, "@DIR@", dir);
    return s;
  }
  void Clean() const {
    std::remove(in.c_str());
    std::remove(out.c_str());
    std::remove((dir + "/console.txt").c_str());
    std::remove((dir + "/stderr.txt").c_str());
    ::rmdir(dir.c_str());
  }
};

struct Result {
  std::string console, stderr_text, output;
  int status = -1;
  bool output_exists = false;
};

Result RunInProcess(const Case& c, const Paths& p) {
  std::vector<std::string> args{"trelon"};
  for (const auto& a : c.args) args.push_back(p.Fill(a));
  std::vector<const char*> argv;
  for (const auto& a : args) argv.push_back(a.c_str());
  char* buf = nullptr;
  std::size_t len = 0;
  std::FILE* console = open_memstream(&buf, &len);
  Result r;
  r.status = trelon::Run(static_cast<int>(argv.size()), argv.data(), console);
  std::fclose(console);
  r.console.assign(buf, len);
  std::free(buf);
  return r;
}

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char ch : s) q += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
  return q + "'";
}

Result RunBinary(const Case& c, const Paths& p) {
  std::string cmd = Quote(TRELON_BINARY);
  for (const auto& a : c.args) cmd += " " + Quote(p.Fill(a));
  cmd += " > " + Quote(p.dir + "/console.txt") + " 2> " + Quote(p.dir + "/stderr.txt");
  const int raw = std::system(cmd.c_str());
  Result r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.console = ReadFile(p.dir + "/console.txt");
  r.stderr_text = ReadFile(p.dir + "/stderr.txt");
  return r;
}

// Where two byte strings first differ, with a little context, so a mismatch
// in a large output is readable.
std::string FirstDifference(const std::string& want, const std::string& got) {
  std::size_t i = 0;
  while (i < want.size() && i < got.size() && want[i] == got[i]) ++i;
  auto hex = [](const std::string& s, std::size_t at) {
    std::string h;
    char b[4];
    for (std::size_t k = at; k < s.size() && k < at + 16; ++k) {
      std::snprintf(b, sizeof b, "%02X ", static_cast<unsigned char>(s[k]));
      h += b;
    }
    return h;
  };
  std::ostringstream m;
  m << "sizes " << want.size() << " (expected) and " << got.size() << " (actual); first difference at byte " << i
    << "\n  expected: " << hex(want, i) << "\n  actual:   " << hex(got, i);
  return m.str();
}

void Check(const Case& c, bool binary) {
  const Paths p(TempDir());
  WriteFile(p.in, c.module);
  Result r = binary ? RunBinary(c, p) : RunInProcess(c, p);
  r.output_exists = Exists(p.out);
  r.output = ReadFile(p.out);
  const bool nodir_created = Exists(p.dir + "/nodir");
  p.Clean();

  EXPECT_FALSE(nodir_created);
  EXPECT_EQ(r.status, c.status);
  EXPECT_EQ(r.stderr_text, "");
  // The banner: the version line and two lines of authorship.
  const std::string head = "Trelon-C version 1.0\n";
  ASSERT_EQ(r.console.compare(0, head.size(), head), 0) << r.console;
  std::size_t after = head.size();
  for (int line = 0; line < 2; ++line) {
    after = r.console.find('\n', after);
    ASSERT_NE(after, std::string::npos) << r.console;
    ++after;
  }
  EXPECT_EQ(r.console.substr(after), p.Fill(c.console));
  EXPECT_EQ(r.output_exists, c.output_exists);
  if (r.output != c.output) ADD_FAILURE() << "output differs: " << FirstDifference(c.output, r.output);
}

class Golden : public testing::TestWithParam<std::string> {};

TEST_P(Golden, InProcess) { Check(LoadCase(GetParam()), false); }
TEST_P(Golden, Binary) { Check(LoadCase(GetParam()), true); }

INSTANTIATE_TEST_SUITE_P(Cases, Golden, testing::ValuesIn(CaseNames()),
                         [](const testing::TestParamInfo<std::string>& info) { return info.param; });

// A missing or empty folder set would let the suite pass without running.
TEST(GoldenSet, HasCases) { EXPECT_GE(CaseNames().size(), 100u); }

// The description language itself: a repeat nested in a repeat, and the
// escapes that hex text and binary outputs use.
TEST(GoldenSet, GenExpands) {
  const std::vector<std::string> lines = {"bytes 4E 71", "fill 0x3 5A", "repeat 2", "text a\\r\\n",
                                          "repeat 2", "bytes FF", "end", "end", "text \\x00\\\\"};
  std::size_t i = 0;
  const std::string once = std::string("a\r\n") + "\xFF\xFF";
  EXPECT_EQ(ExpandGen(lines, i, false), "NqZZZ" + once + once + std::string("\0\\", 2));
}

}  // namespace
