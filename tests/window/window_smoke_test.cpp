#include "platform/settings.h"
#include "platform/shell.h"
#include "platform/ui.h"
#include "shell/mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QMap>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

class SilentUi : public Ui {
 public:
  bool askYesNo(QWidget*, const QString&, const QString&) override { return true; }
  bool askOkCancel(QWidget*, const QString&, const QString&) override { return true; }
  void message(QWidget*, const QString&, const QString&) override {}
  std::optional<QString> pickFolder(QWidget*, const QString&) override { return std::nullopt; }
  QString browseForFolder(QWidget*, const QString&) override { return QString(); }
  QString openFileName(QWidget*, const QString&) override { return QString(); }
  QString saveFileName(QWidget*, const QString&, const QString&) override { return QString(); }
  void beep() override {}
};

class NoShell : public Shell {
 public:
  void open(const QString&) override {}
  QString programPath() override { return QString(); }
  void restart() override {}
  bool folderCommandExists() override { return false; }
  bool addFolderCommand(const QString&) override { return true; }
  void removeFolderCommand() override {}
};

class MemorySettings : public SettingsStore {
 public:
  QMap<QString, QString> values;
  QString read(const QString& name) override { return values.value(name); }
  bool write(const QString& name, const QString& value) override {
    values[name] = value;
    return true;
  }
};

TEST(MainWindow, StartsWithItsDefaultsInEnglish) {
  SilentUi ui;
  NoShell shell;
  MemorySettings settings;
  settings.values["Language"] = "En";
  TForm1 form(Services{&ui, &shell, &settings, {}});
  EXPECT_EQ(form.ext->currentText(), "*.*");
  EXPECT_TRUE(form.English1->isChecked());
  EXPECT_FALSE(form.Russian1->isChecked());
  EXPECT_FALSE(form.Button1->isHidden());
  EXPECT_TRUE(form.sButton1->isHidden());
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
