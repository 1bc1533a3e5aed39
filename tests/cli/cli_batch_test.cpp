// ravelle-cli's batch work: many files at once giving what one file at a time gives, in input
// order, with failures named and not stopping the rest; and the man page and completion kept in
// step with the program.

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <set>
#include <sstream>

#include "formats/registry.h"
#include "support/test_support.h"

namespace ravelle {
namespace {

using test::Quote;

std::string ReadText(const std::filesystem::path& file) {
  const auto bytes = test::ReadBytes(file);
  return {bytes.begin(), bytes.end()};
}

class CliBatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(test::RunCommand(Quote(RAVELLE_MAKE_SAMPLES) + " " + Quote(samples.string()) + " >/dev/null").status, 0);
    for (const auto& entry : std::filesystem::directory_iterator(samples)) inputs.push_back(entry.path().string());
    std::ranges::sort(inputs);
  }

  // Standard error to its own file when `err` is given, else joined to the output.
  test::CommandResult Cli(const std::string& args, std::string* err = nullptr) {
    if (!err) return test::RunCommand(Quote(RAVELLE_CLI) + " " + args + " 2>&1");
    const auto errFile = temp / "stderr.txt";
    auto r = test::RunCommand(Quote(RAVELLE_CLI) + " " + args + " 2>" + Quote(errFile.string()));
    *err = ReadText(errFile);
    return r;
  }

  std::string Inputs() const {
    std::string list;
    for (const std::string& in : inputs) list += " " + Quote(in);
    return list;
  }

  std::filesystem::path Folder(const std::string& name) {
    std::filesystem::create_directory(temp / name);
    return temp / name;
  }

  test::TempDir temp;
  std::filesystem::path samples = temp / "samples";
  std::vector<std::string> inputs;
};

TEST_F(CliBatchTest, ConvertingAFolderGivesWhatEachSingleConversionGives) {
  // A damaged file among them fails alone; the others are still written.
  const std::string damaged = (samples / "broken.2.bmp").string();
  std::vector<uint8_t> header = test::ReadBytes(samples / "sunset.bmp");
  header.resize(40);
  test::WriteBytes(damaged, header);
  inputs.insert(inputs.begin(), damaged);
  for (const std::string format : {"bmp", "png", "tiff-lzw-tiles", "jpeg"}) {
    const auto batch = Folder("batch-" + format);
    const auto single = Folder("single-" + format);
    std::string err;
    const auto r = Cli("convert" + Inputs() + " --to " + format + " -o " + Quote(batch.string()) + " -j 2", &err);
    EXPECT_EQ(r.status, 1) << format;
    EXPECT_EQ(err, "ravelle-cli: " + damaged + ": the file ends early or is damaged\n") << format;
    EXPECT_EQ(err.find('\r'), std::string::npos);

    const std::string extension(FindFormatOf(*FindWriterByName(format))->extension);
    std::string expectedOut;
    for (const std::string& in : std::vector(inputs.begin() + 1, inputs.end())) {
      const std::string stem = std::filesystem::path(in).filename().string();
      const std::string name = stem.substr(0, stem.find('.')) + "." + extension;
      ASSERT_EQ(Cli("convert " + Quote(in) + " " + Quote((single / name).string()) + " --to " + format).status, 0);
      EXPECT_EQ(test::ReadBytes(batch / name), test::ReadBytes(single / name)) << format << " " << name;
      expectedOut += (batch / name).string() + ": " + std::to_string(std::filesystem::file_size(single / name)) + " bytes\n";
    }
    EXPECT_EQ(r.out, expectedOut) << "in input order";
    EXPECT_FALSE(std::filesystem::exists(batch / ("broken." + extension)));
  }
}

TEST_F(CliBatchTest, ExistingOutputsAreKeptUnlessOverwriteIsGiven) {
  const auto out = Folder("out");
  const std::string sunset = Quote((samples / "sunset.bmp").string());
  const std::string dusk = Quote((samples / "dusk-565.bmp").string());
  test::WriteBytes(out / "sunset.png", {1, 2, 3});
  std::string err;
  auto r = Cli("convert " + sunset + " " + dusk + " --to png -o " + Quote(out.string()), &err);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(err, "ravelle-cli: " + (samples / "sunset.bmp").string() + ": " + (out / "sunset.png").string() +
                     " exists (--overwrite replaces it)\n");
  EXPECT_EQ(test::ReadBytes(out / "sunset.png"), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_TRUE(std::filesystem::exists(out / "dusk-565.png"));

  r = Cli("convert " + sunset + " " + dusk + " --to png -o " + Quote(out.string()) + " --overwrite -j1");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_GT(std::filesystem::file_size(out / "sunset.png"), 3u);

  // Two inputs that would give one name: the second is refused, even with --overwrite.
  const auto same = Folder("same");
  std::filesystem::copy_file(samples / "sunset.bmp", temp / "sunset.2.bmp");
  r = Cli("convert " + sunset + " " + Quote((temp / "sunset.2.bmp").string()) + " --to bmp -o " + Quote(same.string()) +
              " --overwrite", &err);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(err.find("sunset.2.bmp: " + (same / "sunset.bmp").string() + " is written from an earlier file"), std::string::npos) << err;
  EXPECT_EQ(test::ReadBytes(same / "sunset.bmp"), test::ReadBytes(samples / "sunset.bmp"));
}

TEST_F(CliBatchTest, OutputNamesFollowTheFirstDot) {
  const auto out = Folder("names");
  // As Convert/Save proposes them, but a leading dot belongs to the name.
  for (const auto& [source, expected] : std::vector<std::pair<std::string, std::string>>{
           {"scan.2.bmp", "scan.png"}, {".hidden.bmp", ".hidden.png"}}) {
    std::filesystem::copy_file(samples / "sunset.bmp", temp / source);
    const auto r = Cli("convert " + Quote((temp / source).string()) + " --to png -o " + Quote(out.string()));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(std::filesystem::exists(out / expected)) << source;
  }
}

TEST_F(CliBatchTest, InfoInParallelKeepsTheOrderOfOneAtATime) {
  inputs.push_back((temp / "missing.bmp").string());
  std::string err1;
  std::string err2;
  const auto one = Cli("info -j 1" + Inputs(), &err1);
  const auto two = Cli("info -j2" + Inputs(), &err2);
  EXPECT_EQ(one.status, 1);
  EXPECT_EQ(two.status, 1);
  EXPECT_EQ(two.out, one.out);
  EXPECT_EQ(err2, err1);
  EXPECT_EQ(err1, "ravelle-cli: " + inputs.back() + ": no such file\n");
  EXPECT_NE(one.out.find("==> " + inputs.front() + " <==\n"), std::string::npos);
}

// Every option and name of --help is in the man page, and every writer and tool name in the
// completion.
TEST(CliDocumentsTest, ManPageAndCompletionFollowTheHelp) {
  const std::string help = test::RunCommand(Quote(RAVELLE_CLI) + " --help").out;
  std::string man = ReadText(std::filesystem::path(RAVELLE_SOURCE_DIR) / "cli/ravelle-cli.1");
  man = std::regex_replace(man, std::regex(R"(\\-)"), "-");
  const std::string completion = ReadText(std::filesystem::path(RAVELLE_SOURCE_DIR) / "cli/ravelle-cli.bash");
  const auto word = [](const std::string& text, std::string_view name) {
    return std::regex_search(text, std::regex("(^|[\\s,(|\"])" + std::string(name) + "([\\s,;.|)\"]|$)"));
  };
  const std::regex option(R"((^|\s)(--?[a-z][a-z-]*))");
  std::set<std::string> options;
  for (auto it = std::sregex_iterator(help.begin(), help.end(), option); it != std::sregex_iterator(); ++it) options.insert((*it)[2]);
  EXPECT_TRUE(options.contains("--overwrite"));
  for (const std::string& name : options) {
    EXPECT_TRUE(word(man, name)) << name;
    if (name != "--help" && name != "--version" && name != "-h" && name != "-tiles") {
      EXPECT_TRUE(word(completion, name)) << name;
    }
  }
  for (const FormatRow& row : Formats()) {
    for (const WriterVariant& writer : row.writers) {
      EXPECT_TRUE(word(completion, writer.cliName)) << writer.cliName;
      if (!writer.cliName.ends_with("-tiles")) {
        EXPECT_TRUE(word(help, writer.cliName)) << writer.cliName;
        EXPECT_TRUE(word(man, writer.cliName)) << writer.cliName;
      }
    }
  }
  const std::size_t start = help.find("order given:") + 12;
  std::istringstream tools(help.substr(start, help.find("--display-depth N", start) - start));
  int count = 0;
  for (std::string tool; tools >> tool; ++count) EXPECT_TRUE(word(man, tool) && word(completion, tool)) << tool;
  EXPECT_EQ(count, 18);
}

// The README's synopsis, the usage lines of --help and the man page's SYNOPSIS give the same forms.
TEST(CliDocumentsTest, TheThreeSynopsesAgree) {
  const std::filesystem::path source(RAVELLE_SOURCE_DIR);
  const auto squeeze = [](const std::string& text) {
    return std::regex_replace(std::regex_replace(text, std::regex(R"(\s+)"), " "), std::regex("^ | $"), "");
  };
  std::vector<std::string> help;  // a line that does not start a form continues the one above
  std::istringstream usage(test::RunCommand(Quote(RAVELLE_CLI) + " --help").out);
  for (std::string line; std::getline(usage, line) && !line.empty();) {
    line = squeeze(line.starts_with("usage:") ? line.substr(6) : line);
    if (line.starts_with("ravelle-cli") || help.empty()) help.push_back(line);
    else help.back() += " " + line;
  }
  const std::string readme = ReadText(source / "README.md");
  const std::size_t block = readme.find("```\n", readme.find("## The command-line tool")) + 4;
  std::vector<std::string> readmeForms;
  std::istringstream code(readme.substr(block, readme.find("```", block) - block));
  for (std::string line; std::getline(code, line);) readmeForms.push_back(squeeze(line));
  // The man page's macros with their fonts dropped: .B and .I keep their words apart, the
  // alternating ones (.RB, .IR, .BR) join theirs; .br ends a form.
  std::string man = ReadText(source / "cli/ravelle-cli.1");
  man = std::regex_replace(std::regex_replace(man, std::regex(R"(\\-)"), "-"), std::regex(R"(\\f[BIRP])"), "");
  const std::size_t start = man.find(".SH SYNOPSIS\n") + 13;
  std::istringstream synopsis(man.substr(start, man.find(".SH DESCRIPTION") - start));
  std::vector<std::string> manForms{""};
  const std::regex word(R"re("([^"]*)"|(\S+))re");
  for (std::string line; std::getline(synopsis, line);) {
    if (line == ".br") {
      manForms.emplace_back();
      continue;
    }
    const std::string macro = line.substr(0, line.find(' '));
    const std::string rest = line.substr(std::min(line.size(), macro.size() + 1));
    std::string text;
    for (auto it = std::sregex_iterator(rest.begin(), rest.end(), word); it != std::sregex_iterator(); ++it) {
      if (!text.empty() && (macro == ".B" || macro == ".I")) text += ' ';
      text += (*it)[1].matched ? (*it)[1].str() : (*it)[2].str();
    }
    manForms.back() += (manForms.back().empty() ? "" : " ") + text;
  }
  EXPECT_EQ(readmeForms, help);
  EXPECT_EQ(manForms, help);
}

}  // namespace
}  // namespace ravelle
