#include <gtest/gtest.h>

#include <QApplication>
#include <QStandardPaths>
#include <cstdlib>
#include <filesystem>

// One application object for all tests, on the offscreen platform, with the per-user
// settings and data kept in a scratch directory.
int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  const std::filesystem::path scratch =
      std::filesystem::temp_directory_path() / ("orvenda-ui-test-" + std::to_string(getpid()));
  std::filesystem::create_directories(scratch);
  qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString((scratch / "config").string()));
  qputenv("XDG_DATA_HOME", QByteArray::fromStdString((scratch / "data").string()));
  QStandardPaths::setTestModeEnabled(true);
  QApplication app(argc, argv);
  QApplication::setOrganizationName("Tumbek");
  QApplication::setApplicationName("Orvenda");
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  std::error_code ignored;
  std::filesystem::remove_all(scratch, ignored);
  return result;
}
