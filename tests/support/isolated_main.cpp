// Runs the tests offscreen, with a home and XDG folders of their own, so
// nothing a test does can reach the real desktop, the user's files or trash.
#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  std::string home = QDir::tempPath().toStdString() + "/zorvik-tests-XXXXXX";
  if (!mkdtemp(home.data())) return 2;
  const QByteArray h = QByteArray::fromStdString(home);
  const QString runtime = QString::fromStdString(home) + QStringLiteral("/runtime");
  QDir().mkpath(runtime);
  QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  qputenv("HOME", h);
  qputenv("XDG_CONFIG_HOME", h + "/config");
  qputenv("XDG_DATA_HOME", h + "/data");
  qputenv("XDG_CACHE_HOME", h + "/cache");
  qputenv("XDG_STATE_HOME", h + "/state");
  qputenv("XDG_RUNTIME_DIR", h + "/runtime");

  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setApplicationName(QStringLiteral("zorvik-tests"));
  QApplication::setOrganizationName(QStringLiteral("Zorvik-Soft"));
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  QDir(QString::fromStdString(home)).removeRecursively();
  return result;
}
