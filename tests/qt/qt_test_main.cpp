// The Qt tests run on the offscreen platform, with a runtime folder of their own (Qt warns without).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>

#include <filesystem>
#include <string>

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  std::string runtime = (std::filesystem::temp_directory_path() / "ravelle-qt-runtime-XXXXXX").string();
  if (::mkdtemp(runtime.data()) != nullptr) ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);  // made 0700
  ::testing::InitGoogleTest(&argc, argv);
  int status = 0;
  {
    QApplication application(argc, argv);
    status = RUN_ALL_TESTS();
  }
  std::error_code ignored;
  std::filesystem::remove_all(runtime, ignored);
  return status;
}
