// The window tests run offscreen, with a home and XDG folders of their own,
// so nothing a test does can reach the real desktop or the user's files.
#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

void SetIfUnset(const char* name, const QByteArray& value) {
  if (qEnvironmentVariableIsEmpty(name)) qputenv(name, value);
}

}  // namespace

int main(int argc, char** argv) {
  SetIfUnset("QT_QPA_PLATFORM", "offscreen");
  std::string home = QDir::tempPath().toStdString() + "/zorvik-window-tests-XXXXXX";
  if (!mkdtemp(home.data())) return 2;
  const QByteArray h = QByteArray::fromStdString(home);
  QDir().mkpath(QString::fromStdString(home) + QStringLiteral("/runtime"));
  QFile::setPermissions(QString::fromStdString(home) + QStringLiteral("/runtime"),
                        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  qputenv("HOME", h);
  qputenv("XDG_CONFIG_HOME", h + "/config");
  qputenv("XDG_DATA_HOME", h + "/data");
  qputenv("XDG_CACHE_HOME", h + "/cache");
  qputenv("XDG_STATE_HOME", h + "/state");
  qputenv("XDG_RUNTIME_DIR", h + "/runtime");

  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setApplicationName(QStringLiteral("zorvik-window-tests"));
  QApplication::setOrganizationName(QStringLiteral("Zorvik-Soft"));
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  QDir(QString::fromStdString(home)).removeRecursively();
  return result;
}
