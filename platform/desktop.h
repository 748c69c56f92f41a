// The desktop services: opening files, folders and web addresses with their
// programs, starting this program anew, and the file manager's folder command.
#pragma once

#include <QString>

#include <memory>

class DesktopServices {
 public:
  virtual ~DesktopServices() = default;
  // Opens a file, folder or web address with the program the desktop
  // associates with it. Failures are not reported.
  virtual void open(const QString& target) = 0;
  // The full path of this program's executable file.
  virtual QString programPath() = 0;
  // Starts this program anew, with no arguments.
  virtual void restart() = 0;
  // The folder command of the file managers ("Find Duplicates" on a folder).
  virtual bool folderCommandExists() = 0;
  virtual bool addFolderCommand(const QString& menuText) = 0;
  virtual void removeFolderCommand() = 0;
};

// The real desktop.
DesktopServices& SystemDesktop();
// The real desktop for a copy of this program at `programPath`: the folder
// command it adds starts that file.
std::unique_ptr<DesktopServices> SystemDesktopFor(const QString& programPath);
