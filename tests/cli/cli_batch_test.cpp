// ravelle-cli's batch work: many files at once giving what one file at a time gives, in input
// order, with failures named and not stopping the rest; and the synopses kept in step.

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
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

  test::CommandResult Cli(const std::string& args, std::string* err = nullptr) {
    if (!err) return test::RunCommand(Quote(RAVELLE_CLI) + " " + args + " 2>&1");
    const auto errFile = temp / "stderr.txt";
    auto r = test::RunCommand(Quote(RAVELLE_CLI) + " " + args + " 2>" + Quote(errFile.string()));
    const auto said = test::ReadBytes(errFile);
    *err = std::string(said.begin(), said.end());
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
  EXPECT_EQ(test::ReadBytes(same / "sunset.bmp"), test::ReadBytes(samples / "sunset.bmp"));
}

TEST_F(CliBatchTest, InfoInParallelKeepsTheOrderOfOneAtATime) {
  inputs.push_back((temp / "missing.bmp").string());
  std::string err1, err2;
  const auto one = Cli("info -j 1" + Inputs(), &err1);
  const auto two = Cli("info -j2" + Inputs(), &err2);
  EXPECT_EQ(std::pair(one.status, two.status), std::pair(1, 1));
  EXPECT_EQ(two.out, one.out);
  EXPECT_EQ(err2, err1);
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
