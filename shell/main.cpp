// Zorvik: the program's entry. Sets the application title, creates the
// main window, then the folder-list dialog, and runs until the window closes.
#include "platform/desktop.h"
#include "platform/fs.h"
#include "platform/settings.h"
#include "platform/ui.h"
#include "shell/about.h"
#include "shell/folderlist.h"
#include "shell/mainwindow.h"
#include "shell/messages.h"
#include "shell/pictures.h"

#include <QAction>
#include <QApplication>

int main(int argc, char** argv) {
  fs::RaiseOpenFileLimit();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("zorvik"));
  QApplication::setOrganizationName(QStringLiteral("Zorvik-Soft"));
  QApplication::setApplicationVersion(QString::fromLatin1(kVersionText));
  // Not Qt's application display name: on X11 Qt appends that to the title
  // of every window, dialogs and message boxes included.
  SetApplicationTitle(MessageText(Message::StartTitle, true));

  // The desktop entry's name (without ".desktop"): desktops find the
  // launcher and its icon by it. Every window takes the application icon.
  QGuiApplication::setDesktopFileName(QStringLiteral(ZORVIK_APP_ID));
  QApplication::setWindowIcon(ApplicationIcon());

  const Services services{&DesktopUi(), &SystemDesktop(), &UserSettings(), QApplication::arguments()};
  TForm1 form1(services);
  TForm2 form2(
      DesktopUi(), [&form1] { return form1.Russian1->isChecked(); }, &form1);
  form1.setFolderList(&form2);
  TForm3 form3(SystemDesktop(), &form1);
  form1.setAbout(&form3);
  form1.show();
  app.exec();
  // A long command still under way when the window closed has returned by now.
  return 0;
}
