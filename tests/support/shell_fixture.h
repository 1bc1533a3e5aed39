// A browsing dialog and viewer driven through the headless port, in a fresh folder that is the
// current folder for the length of the test.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/headless/headless_port.h"
#include "shell/current_image.h"
#include "shell/shell_state.h"
#include "support/test_support.h"

namespace ravelle::test {

// A bitmap of the given depth whose pixels are all index or value `fill`, with `colours`
// colour-table entries (a grey ramp; 0 keeps the full table of the depth).
PackedDib MakeImage(int width, int height, int bitCount, uint32_t colours = 0, uint8_t fill = 1);

// Writes an uncompressed bitmap file.
void WriteBitmapFile(const std::filesystem::path& file, const PackedDib& dib);

class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes small bitmap files with these names and lists them (sorted) in the file list.
  void MakeFiles(const std::vector<std::string>& names, int width = 40, int height = 30, int bitCount = 24);
  // Selects the file in the list and sends the dialog's OK, as a double-click does.
  void Load(const std::string& name);
  // Loads the file and presses Center.
  void LoadAndOpenViewer(const std::string& name);
  // The texts of the message boxes shown so far.
  std::vector<std::string> MessageTexts() const;

  TempDir dir;
  HeadlessPort port;
  CurrentImage image;
  ShellState shell;

 private:
  std::filesystem::path previousFolder_;
};

}  // namespace ravelle::test
