// A browsing dialog and viewer driven through the headless port, in a fresh folder that is the
// current folder for the length of the test.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "headless/headless_port.h"
#include "resources/command_ids.h"
#include "shell/current_image.h"
#include "shell/shell_state.h"
#include "support/test_support.h"

namespace ravelle::test {

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
  // Sends these commands to the viewer, or to the dialog, in turn.
  void Viewer(std::initializer_list<int> ids);  // raw ids: conversions and ids outside the table
  void Viewer(std::initializer_list<CommandId> commands);
  void Dialog(std::initializer_list<int> ids);
  // The last message box shown.
  const Message& LastMessage() const { return port.messages.back().message; }

  TempDir dir;
  HeadlessPort port;
  CurrentImage image;
  ShellState shell;

 private:
  std::filesystem::path previousFolder_;
};

}  // namespace ravelle::test
