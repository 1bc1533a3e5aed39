#include "support/shell_fixture.h"

#include "resources/dialogs.h"
#include "shell/browser.h"
#include "shell/viewer.h"

namespace ravelle::test {

void ShellTest::SetUp() {
  previousFolder_ = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  InitBrowser(image, shell, port, "");
}

void ShellTest::TearDown() { std::filesystem::current_path(previousFolder_); }

void ShellTest::MakeFiles(const std::vector<std::string>& names, int width, int height, int bitCount) {
  for (const std::string& name : names) {
    WriteBitmapFile(dir / name, DrawDib(width, height, bitCount, Palette::Gray));
    port.FileListAdd(name);
  }
}

void ShellTest::Load(const std::string& name) {
  port.FileListSelect(port.FileListFindExact(name));
  ASSERT_GE(port.selection, 0) << name;
  port.FileNameBoxReplace(name);
  Dialog({kIdOk});
}

void ShellTest::LoadAndOpenViewer(const std::string& name) {
  Load(name);
  Dialog({kIdCenter});
  ASSERT_TRUE(port.viewerOpen);
}

void ShellTest::Viewer(std::initializer_list<int> ids) {
  for (const int id : ids) ViewerCommand(image, shell, port, id);
}

void ShellTest::Viewer(std::initializer_list<CommandId> commands) {
  for (const CommandId command : commands) ViewerCommand(image, shell, port, IdOf(command));
}

void ShellTest::Dialog(std::initializer_list<int> ids) {
  for (const int id : ids) BrowserCommand(image, shell, port, id);
}

}  // namespace ravelle::test
