// The documents must tell the truth about the program: every example in
// README.md, docs/trelon.1 and docs/muf-modules.md is run and its output
// compared with what the document shows.
//
// An example is a transcript. In Markdown it is a fenced block marked
// "console"; in the man page it is an .EX/.EE block. A line "$ command" is
// run with sh in a scratch directory kept for the whole document (so a file
// made by one example is there for the next), and the lines below it, up to
// the next "$ " line or the end of the block, are what it prints, standard
// output and standard error together. A line "..." stands for any number of
// lines. A command whose last line is a here-document ("<<'EOF'") takes the
// lines up to the delimiter with it. Every command must exit with status 0:
// examples that show another status end with `echo "exit status $?"`.
//
// A "$ " line anywhere else in a document is an error, so no command line can
// escape being checked.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string kSource = TRELON_SOURCE_DIR;
const std::string kBinary = TRELON_BINARY;

struct Example {
  int line = 0;  // line of the "$ " in the document
  std::string command;
  std::vector<std::string> expected;
};

struct Document {
  std::string path;
  std::vector<Example> examples;
  std::vector<std::string> problems;  // what makes the document unfit to check
};

std::vector<std::string> ReadLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool StartsWith(const std::string& s, const std::string& prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

std::string Where(const Document& doc, int line) { return doc.path + ":" + std::to_string(line); }

// Turns the lines of one example block (with their document line numbers)
// into commands and their expected output.
void ParseTranscript(Document& doc, const std::vector<std::pair<int, std::string>>& block) {
  static const std::regex heredoc(R"(<<-?\s*['"]?([A-Za-z_][A-Za-z0-9_]*)['"]?\s*$)");
  bool any = false;
  for (std::size_t i = 0; i < block.size(); ++i) {
    const auto& [line, text] = block[i];
    if (StartsWith(text, "$ ")) {
      Example ex;
      ex.line = line;
      ex.command = text.substr(2);
      std::smatch m;
      if (std::regex_search(text, m, heredoc)) {
        const std::string end = m[1];
        bool closed = false;
        while (++i < block.size()) {
          ex.command += "\n" + block[i].second;
          if (block[i].second == end) {
            closed = true;
            break;
          }
        }
        if (!closed) doc.problems.push_back(Where(doc, line) + ": here-document without its " + end);
      }
      doc.examples.push_back(ex);
      any = true;
    } else if (!any) {
      if (!text.empty()) doc.problems.push_back(Where(doc, line) + ": output before any command");
    } else {
      doc.examples.back().expected.push_back(text);
    }
  }
}

// Markdown: fenced blocks whose info string is "console" are transcripts.
Document ParseMarkdown(const std::string& relative) {
  Document doc;
  doc.path = relative;
  const auto lines = ReadLines(kSource + "/" + relative);
  if (lines.empty()) doc.problems.push_back(relative + ": missing or empty");
  bool in_fence = false;
  bool console = false;
  std::vector<std::pair<int, std::string>> block;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const int n = static_cast<int>(i) + 1;
    const std::string& text = lines[i];
    if (StartsWith(text, "```")) {
      if (!in_fence) {
        in_fence = true;
        console = text.substr(3) == "console";
        block.clear();
      } else {
        if (console) ParseTranscript(doc, block);
        in_fence = false;
      }
      continue;
    }
    if (in_fence && console) {
      block.emplace_back(n, text);
    } else if (const std::size_t lead = text.find_first_not_of(' ');
               lead != std::string::npos && StartsWith(text.substr(lead), "$ ")) {
      doc.problems.push_back(Where(doc, n) + ": command line outside a console block");
    }
  }
  if (in_fence) doc.problems.push_back(relative + ": unclosed code block");
  return doc;
}

// The text that man shows for one line of an example block. Only the few
// escapes that the examples need are known; any other is reported, so that
// the test never compares against something other than what a reader sees.
bool Unescape(const std::string& in, std::string& out, std::string& error) {
  static const std::map<std::string, std::string> named = {
      {"aq", "'"}, {"dq", "\""}, {"ha", "^"}, {"ti", "~"}, {"rs", "\\"}};
  out.clear();
  for (std::size_t i = 0; i < in.size(); ++i) {
    if (in[i] != '\\') {
      out += in[i];
      continue;
    }
    if (++i == in.size()) {
      error = "backslash at the end of the line";
      return false;
    }
    const char c = in[i];
    if (c == '-') {
      out += '-';
    } else if (c == 'e') {
      out += '\\';
    } else if (c == '&') {
    } else if (c == 'f' && i + 1 < in.size()) {
      ++i;  // a font change shows nothing
    } else if (c == '(' && i + 2 < in.size()) {
      const auto it = named.find(in.substr(i + 1, 2));
      if (it == named.end()) {
        error = "unknown character \\(" + in.substr(i + 1, 2);
        return false;
      }
      out += it->second;
      i += 2;
    } else {
      error = std::string("unknown escape \\") + c;
      return false;
    }
  }
  return true;
}

// The man page: .EX/.EE blocks that hold "$ " lines are transcripts.
Document ParseRoff(const std::string& relative) {
  Document doc;
  doc.path = relative;
  const auto lines = ReadLines(kSource + "/" + relative);
  if (lines.empty()) doc.problems.push_back(relative + ": missing or empty");
  bool in_example = false;
  std::vector<std::pair<int, std::string>> block;
  bool requests_inside = false;
  int requests_line = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const int n = static_cast<int>(i) + 1;
    const std::string& raw = lines[i];
    if (!in_example) {
      if (raw == ".EX") {
        in_example = true;
        block.clear();
        requests_inside = false;
      } else if (StartsWith(raw, "$ ")) {
        doc.problems.push_back(Where(doc, n) + ": command line outside .EX/.EE");
      }
      continue;
    }
    if (raw == ".EE") {
      in_example = false;
      bool transcript = false;
      for (const auto& [line, text] : block) transcript = transcript || StartsWith(text, "$ ");
      if (!transcript) continue;
      if (requests_inside) {
        doc.problems.push_back(Where(doc, requests_line) + ": request inside an example");
      }
      // man squeezes a run of blank lines into one, so such output cannot be
      // shown truthfully.
      for (std::size_t k = 1; k < block.size(); ++k) {
        if (block[k].second.empty() && block[k - 1].second.empty()) {
          doc.problems.push_back(Where(doc, block[k].first) +
                                 ": two blank lines in a row (man shows one)");
        }
      }
      ParseTranscript(doc, block);
      continue;
    }
    if (StartsWith(raw, ".") || StartsWith(raw, "'")) {
      if (!StartsWith(raw, ".\\\"")) {
        requests_inside = true;
        requests_line = n;
      }
      continue;
    }
    std::string text, error;
    if (!Unescape(raw, text, error)) {
      doc.problems.push_back(Where(doc, n) + ": " + error);
      continue;
    }
    block.emplace_back(n, text);
  }
  if (in_example) doc.problems.push_back(relative + ": .EX without .EE");
  return doc;
}

// Does `actual` fit `expected`, where a line "..." in `expected` matches any
// run of lines?
bool Matches(const std::vector<std::string>& expected, const std::vector<std::string>& actual) {
  // fits[i][j]: expected[i..] matches actual[j..].
  const std::size_t ne = expected.size(), na = actual.size();
  std::vector<std::vector<char>> fits(ne + 1, std::vector<char>(na + 1, 0));
  fits[ne][na] = 1;
  for (std::size_t i = ne; i-- > 0;) {
    for (std::size_t j = na + 1; j-- > 0;) {
      if (expected[i] == "...") {
        fits[i][j] = fits[i + 1][j] || (j < na && fits[i][j + 1]);
      } else {
        fits[i][j] = j < na && expected[i] == actual[j] && fits[i + 1][j + 1];
      }
    }
  }
  return fits[0][0] != 0;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::string Join(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& l : lines) text += "    |" + l + "\n";
  return text;
}

std::string MakeTempDir() {
  char templ[] = "/tmp/trelon-docs-XXXXXX";
  if (mkdtemp(templ) == nullptr) return "";
  return templ;
}

// A scratch directory in which the examples of one document run, and the
// PATH under which they run.
struct Sandbox {
  std::string dir;
  std::string path_env;

  ~Sandbox() {
    if (!dir.empty()) std::system(("rm -rf '" + dir + "'").c_str());
  }
};

// The README is read in a checkout after `make`: the program is
// build/release/trelon and the example modules are in examples/. The man page
// and the guide assume an installed trelon on the PATH.
void Prepare(Sandbox& box, bool checkout_layout) {
  box.dir = MakeTempDir();
  ASSERT_FALSE(box.dir.empty());
  const std::string bin = box.dir + "/.bin";
  ASSERT_EQ(::mkdir(bin.c_str(), 0755), 0);
  ASSERT_EQ(::symlink(kBinary.c_str(), (bin + "/trelon").c_str()), 0);
  const char* old_path = std::getenv("PATH");
  box.path_env = (checkout_layout ? std::string() : bin + ":") +
                 (old_path != nullptr ? old_path : "/usr/bin:/bin");
  if (checkout_layout) {
    ASSERT_EQ(::mkdir((box.dir + "/build").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((box.dir + "/build/release").c_str(), 0755), 0);
    ASSERT_EQ(::symlink(kBinary.c_str(), (box.dir + "/build/release/trelon").c_str()), 0);
    ASSERT_EQ(::symlink((kSource + "/examples").c_str(), (box.dir + "/examples").c_str()), 0);
  }
}

// Runs one command in the sandbox; returns its exit status and output.
int RunCommand(const Sandbox& box, const std::string& command, std::string& output) {
  const std::string script = box.dir + "/.example.sh", out = box.dir + "/.example.out";
  {
    std::ofstream s(script, std::ios::binary);
    s << "cd '" << box.dir << "' || exit 99\n" << command << "\n";
  }
  const std::string run = "env PATH='" + box.path_env + "' LC_ALL=C sh '" + script + "' > '" + out +
                          "' 2>&1 < /dev/null";
  const int raw = std::system(run.c_str());
  output = ReadAll(out);
  std::remove(script.c_str());
  std::remove(out.c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

void CheckDocument(const Document& doc, bool checkout_layout, std::size_t at_least) {
  for (const auto& p : doc.problems) ADD_FAILURE() << p;
  // A broken extraction must not pass for a document without examples.
  EXPECT_GE(doc.examples.size(), at_least) << doc.path << ": too few examples found";
  Sandbox box;
  Prepare(box, checkout_layout);
  if (::testing::Test::HasFatalFailure()) return;
  for (const auto& ex : doc.examples) {
    std::string output;
    const int status = RunCommand(box, ex.command, output);
    const auto actual = SplitLines(output);
    EXPECT_EQ(status, 0) << Where(doc, ex.line) << ": $ " << ex.command << "\nprinted:\n"
                         << Join(actual);
    EXPECT_TRUE(Matches(ex.expected, actual))
        << Where(doc, ex.line) << ": $ " << ex.command << "\nthe document shows:\n"
        << Join(ex.expected) << "the program printed:\n"
        << Join(actual);
  }
}

TEST(DocExamples, ReadmeTranscriptsAreTrue) {
  CheckDocument(ParseMarkdown("README.md"), true, 4);
}

TEST(DocExamples, ManPageTranscriptsAreTrue) {
  CheckDocument(ParseRoff("docs/trelon.1"), false, 20);
}

TEST(DocExamples, GuideTranscriptsAreTrue) {
  CheckDocument(ParseMarkdown("docs/muf-modules.md"), false, 8);
}

// The man page promises an example for every format and modifier.
TEST(DocExamples, ManPageShowsEveryFormatAndModifier) {
  const Document doc = ParseRoff("docs/trelon.1");
  static const std::regex word(R"(trelon\s+/([A-Za-z0-9]*))");
  std::set<std::string> formats;
  std::set<char> modifiers;
  for (const auto& ex : doc.examples) {
    for (std::sregex_iterator it(ex.command.begin(), ex.command.end(), word), end; it != end; ++it) {
      const std::string w = (*it)[1];
      if (w.empty()) continue;
      const std::size_t len = (w[0] == 'M' || w[0] == 'E') ? 2 : 1;
      formats.insert(w.substr(0, len));
      for (const char c : w.substr(len)) modifiers.insert(c);
    }
  }
  for (const char* f : {"B", "H", "I", "M1", "M2", "M3", "P", "E1", "E2", "E3", "T"}) {
    EXPECT_TRUE(formats.count(f)) << "no example of the format " << f;
  }
  for (const char m : std::string("CHSDAZF")) {
    EXPECT_TRUE(modifiers.count(m)) << "no example of the modifier " << m;
  }
}

// The README's make commands must be targets of the Makefile.
TEST(DocExamples, ReadmeMakeCommandsExist) {
  const std::string readme = ReadAll(kSource + "/README.md");
  const std::string makefile = ReadAll(kSource + "/Makefile");
  static const std::regex command(R"(`make ([a-z-]+)[^`]*`)");
  std::set<std::string> named;
  for (std::sregex_iterator it(readme.begin(), readme.end(), command), end; it != end; ++it) {
    named.insert((*it)[1]);
  }
  for (const char* must : {"demo", "test", "test-sanitize", "bench", "fuzz", "install"}) {
    EXPECT_TRUE(named.count(must)) << "README does not mention `make " << must << "`";
  }
  for (const auto& target : named) {
    const std::regex rule("(^|\\n)" + target + ":");
    EXPECT_TRUE(std::regex_search(makefile, rule)) << "README names `make " << target
                                                   << "`, which the Makefile lacks";
  }
}

// The README's table names the files that `make demo` makes.
TEST(DocExamples, ReadmeNamesTheDemoFiles) {
  const std::string readme = ReadAll(kSource + "/README.md");
  const std::string demo = ReadAll(kSource + "/examples/demo.sh");
  // demo.sh pairs each option word with the extension of its file: "IC:c.ihx".
  static const std::regex pair(R"(\b[A-Z][A-Z0-9]*:([a-z0-9][a-z0-9.]*))");
  std::size_t found = 0;
  for (std::sregex_iterator it(demo.begin(), demo.end(), pair), end; it != end; ++it, ++found) {
    const std::string ext = "`." + (*it)[1].str() + "`";
    EXPECT_NE(readme.find(ext), std::string::npos) << "README does not name " << ext;
  }
  EXPECT_GE(found, 11u) << "examples/demo.sh no longer lists its formats as WORD:ext";
}

// What man shows must come out of groff without a warning.
TEST(ManPage, FormatsWithoutWarnings) {
  if (std::system("command -v groff > /dev/null 2>&1") != 0) {
    // CI sets TRELON_REQUIRE_TOOLS=1: there a missing tool is a failure.
    const char* require = std::getenv("TRELON_REQUIRE_TOOLS");
    if (require != nullptr && std::string(require) == "1") {
      FAIL() << "groff is not installed (Debian package groff-base) and TRELON_REQUIRE_TOOLS=1";
    }
    GTEST_SKIP() << "groff is not installed (Debian package groff-base)";
  }
  Sandbox box;
  Prepare(box, false);
  std::string output;
  const int status = RunCommand(
      box, "groff -man -ww -z -Tutf8 '" + kSource + "/docs/trelon.1'", output);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(output, "") << "groff warns about docs/trelon.1";
}

}  // namespace
