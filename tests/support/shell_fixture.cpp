#include "support/shell_fixture.h"

#include <algorithm>
#include <cstdio>

#include "formats/dib/bmp_writer.h"
#include "resources/dialogs.h"
#include "shell/browser.h"

namespace ravelle::test {

PackedDib MakeImage(int width, int height, int bitCount, uint32_t colours, uint8_t fill) {
  PackedDib dib = CreateDib(width, height, bitCount, colours);
  const auto table = dib.Colors();
  for (std::size_t i = 0; i < table.size(); ++i) {
    const auto level = static_cast<uint8_t>(table.size() > 1 ? i * 255 / (table.size() - 1) : 0);
    table[i] = {level, level, level, 0};
  }
  std::fill(dib.Pixels().begin(), dib.Pixels().end(), fill);
  return dib;
}

void WriteBitmapFile(const std::filesystem::path& file, const PackedDib& dib) {
  std::FILE* out = std::fopen(file.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  ASSERT_TRUE(WriteBmp(dib, out));
  std::fclose(out);
}

void ShellTest::SetUp() {
  previousFolder_ = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  InitBrowser(image, shell, port, "");
}

void ShellTest::TearDown() { std::filesystem::current_path(previousFolder_); }

void ShellTest::MakeFiles(const std::vector<std::string>& names, int width, int height, int bitCount) {
  for (const std::string& name : names) {
    WriteBitmapFile(dir / name, MakeImage(width, height, bitCount));
    port.FileListAdd(name);
  }
}

void ShellTest::Load(const std::string& name) {
  port.FileListSelect(port.FileListFindExact(name));
  ASSERT_GE(port.selection, 0) << name;
  port.FileNameBoxReplace(name);
  BrowserCommand(image, shell, port, kIdOk);
}

void ShellTest::LoadAndOpenViewer(const std::string& name) {
  Load(name);
  BrowserCommand(image, shell, port, kIdCenter);
  ASSERT_TRUE(port.viewerOpen);
}

std::vector<std::string> ShellTest::MessageTexts() const {
  std::vector<std::string> texts;
  for (const auto& shown : port.messages) texts.push_back(shown.message.text);
  return texts;
}

}  // namespace ravelle::test
