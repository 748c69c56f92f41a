// TForm1, the main window: the controls, menus and commands of the program.
#pragma once

#include "engine/scan.h"
#include "results/model.h"
#include "results/processing.h"
#include "shell/layout.h"
#include "shell/messages.h"
#include "zorvik_version.h"

#include <QElapsedTimer>
#include <QImage>
#include <QMainWindow>
#include <QRect>
#include <QStringList>

#include <vector>

class QAction;
class QActionGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSplitter;
class QTableView;
class QToolButton;
class SettingsStore;
class DesktopServices;
class TForm2;
class TForm3;
class Ui;

// The version of the program, as its About box and Russian caption show it.
inline constexpr char kVersionText[] = ZORVIK_VERSION_TEXT;

// The application title (the text of the program's taskbar button): set
// before the main window is created and by the comparison. It is shown in
// the main window's title bar after the window's caption, as
// "caption — title", and on no other window, and it is the title of the
// program's message boxes.
QString ApplicationTitle();
void SetApplicationTitle(const QString& title);

// The folder picker of the three browse commands: `Path` is where it starts
// and, after a confirmed choice, the folder chosen.
class TsPathDialog {
 public:
  explicit TsPathDialog(Ui& ui) : ui_(ui) {}
  QString Path;
  bool Execute(QWidget* owner);

 private:
  Ui& ui_;
};

// The services the window uses; tests replace them.
struct Services {
  Ui* ui;
  DesktopServices* desktop;
  SettingsStore* settings;
  QStringList arguments;  // the command line, the program's name first
};

class TForm1 : public QMainWindow, private ScanHost, private ProcessHost {
  Q_OBJECT

 public:
  explicit TForm1(const Services& services, QWidget* parent = nullptr);
  ~TForm1() override;

  // Created after the main window, as at start-up.
  void setFolderList(TForm2* form2) { form2_ = form2; }
  void setAbout(TForm3* form3) { form3_ = form3; }

  ResultModel& results() { return model_; }
  // The window's own caption, without the application title after it.
  const QString& caption() const { return caption_; }
  ScanDriver& scan() { return driver_; }
  bool busy() const { return scanning() || processing(); }

  // A long command lets waiting events run at most once per this many
  // milliseconds (10 unless set); 0 lets them run at every point it offers.
  void setPumpInterval(int milliseconds) { pumpInterval_ = milliseconds; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 public slots:
  // Commands, named as their handlers.
  void Enter1Click();
  void sButton1Click();
  void DeleteAll1Click();
  void N2Click();
  void SelectAll1Click();
  void UnselectAll1Click();
  void Saveas1Click();
  void Load1Click();
  void Execute1Click();
  void OpenFolder1Click();
  void PopupMenu1Popup();
  void sSpeedButton1Click();
  void sSpeedButton2Click();
  void sSpeedButton3Click();
  void AddFolders1Click();
  void Addto1Click();
  void ForgetContents1Click();
  void English1Click();
  void Russian1Click();
  void Label3Click();
  void N1Click();
  void BaseViewDblClick();
  void Image1Click();
  void BaseViewItemChecked(const QString& space, const QString& count);

 private:
  struct Placed {
    QWidget* widget;
    layout::Box box;
    QSize parentDesign;
  };

  void buildControls();
  void buildMenus();
  void hookEvents();
  // The client area as the window was designed.
  static constexpr QSize kClient{905, 546};
  // The row of the status line and the progress detail, as designed: from
  // x 168 to the detail's right end at x 897, 8 pixels from the right edge.
  static constexpr QRect kStatusRow{168, 144, 729, 17};

  void place(QWidget* w, int x, int y, int width, int height, int anchors, QSize parentDesign = kClient);
  void layoutPlaced();
  Placed* placedOf(const QWidget* widget);
  // The controls that show a text take its width, and the window's smallest
  // size follows: run whenever the texts change language.
  void fitToTexts();
  // The status line and the progress detail: run whenever either changes.
  void layoutStatusRow();
  void fitColumns();
  void FormCreate();
  void FormClose();
  QString linkChoice() const;  // the Replace with link choice, as stored
  void linkChoice(const QString& stored);
  void browseInto(QLineEdit* field, bool addSeparator);
  int selectedRow() const;
  bool fileRowSelected() const;
  bool scanning() const { return !driver_.ScanStopped(); }
  bool processing() const { return processRun_.running(); }
  void pumpEvents();
  void showPreview();
  void setCaption(const QString& caption);
  void showTitle();
  void applyCaptions(bool russian);
  void useQtTranslations(bool russian);
  // A message box of the window, under the application title.
  void tell(const QString& text);
  // The window's message in the language of the moment.
  QString message(Message which);
  void setStatus(const QString& text);
  void setDetail(const QString& text);
  void setTitle(const QString& title);
  void setTotals(const QString& space, const QString& count);
  void showCancel(bool show);
  // What the comparison shows at a step.
  void showStep(const ScanEvent& step);

  // ScanHost
  QString foldersText() override;
  QString mask() override;
  void setMask(const QString& mask) override;
  bool skipSmall() override;
  bool skipEmpty() override;
  bool fastCompare() override;
  int resultRowCount() override;
  void clearResults() override;
  void appendSeparator() override;
  void appendFileRow(const FoundFile& file) override;
  QString protectedFolder() override;
  void markAllButFirst(const ProtectedFolder& protectedFolder) override;
  void report(const ScanEvent& event) override;
  bool ask(ScanQuestion question) override;
  void refused(const std::vector<RefusedPath>& paths) override;
  void browseFolders() override;
  void pump() override;
  void setRootList(const QStringList& roots) override;
  QString contentCacheFile() override;

  // ProcessHost
  ProcessMode mode() override;
  QString destination() override;
  void browseDestination() override;
  bool deleteEmptyFolders() override;
  bool ask(const ProcessQuestion& question) override;
  void report(const ProcessEvent& event) override;

  Services services_;
  ResultModel model_;
  ScanDriver driver_;
  TsPathDialog sPathDialog1;
  TForm2* form2_ = nullptr;
  TForm3* form3_ = nullptr;
  QImage preview_;  // the decoded picture of PreviewFile
  // The processing run under way, if any: Scan, Load list and Delete do
  // nothing while it runs.
  RunToken processRun_;
  // The title of the comparison at titlePosition_, made once per position.
  QString comparingTitle_;
  int titlePosition_ = -1;
  // The language check as the language commands left it: the menu checks an
  // item before its command runs, so the command needs the earlier state.
  bool englishChecked_ = true;
  bool settingsWritten_ = false;
  QString caption_;
  QElapsedTimer pumpClock_;
  int pumpInterval_ = 10;
  std::vector<Placed> placed_;

 public:
  // The path of the picture shown in the preview pane.
  QString PreviewFile;

  // Controls, named as in the program's design.
  QWidget* central = nullptr;
  QLabel* sLabel1 = nullptr;
  QCheckBox* sCheckBox1 = nullptr;
  QLabel* sLabel2 = nullptr;
  QLineEdit* Edit1 = nullptr;
  QToolButton* sSpeedButton1 = nullptr;
  QComboBox* ext = nullptr;
  QPushButton* Button1 = nullptr;
  QPushButton* sButton1 = nullptr;
  QRadioButton* RadioButton1 = nullptr;
  QRadioButton* RadioButton2 = nullptr;
  QLineEdit* Edit2 = nullptr;
  QToolButton* sSpeedButton2 = nullptr;
  QLabel* Label3 = nullptr;
  QPushButton* Button2 = nullptr;
  QLabel* sEdit1Label = nullptr;
  QLineEdit* sEdit1 = nullptr;
  QToolButton* sSpeedButton3 = nullptr;
  QLineEdit* Edit7 = nullptr;
  QLineEdit* Edit5 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QWidget* sPanel2 = nullptr;
  QSplitter* Splitter1 = nullptr;
  QTableView* BaseView = nullptr;
  QWidget* previewPane = nullptr;
  QLabel* Image1 = nullptr;
  QLabel* Image2 = nullptr;
  QLabel* sLabel3 = nullptr;

  QMenu* File1 = nullptr;
  QMenu* Options1 = nullptr;
  QMenu* Language1 = nullptr;
  QMenu* PopupMenu1 = nullptr;
  QAction* AddFolders1 = nullptr;
  QAction* Saveas1 = nullptr;
  QAction* Load1 = nullptr;
  QAction* Enter1 = nullptr;
  QAction* Delete1 = nullptr;
  QAction* Cancel1 = nullptr;
  QAction* close1 = nullptr;
  QAction* English1 = nullptr;
  QAction* Russian1 = nullptr;
  QAction* Addto1 = nullptr;
  QAction* UseRecycle1 = nullptr;
  QAction* Skip1 = nullptr;
  QAction* Skip2 = nullptr;
  QAction* DelDirs1 = nullptr;
  // Options: Replace with link, after the described items.
  QMenu* ReplaceLink1 = nullptr;
  QAction* HardLink1 = nullptr;
  QAction* SymLink1 = nullptr;
  QAction* Clone1 = nullptr;
  QAction* LinkOff1 = nullptr;
  QAction* RememberContents1 = nullptr;
  QAction* ForgetContents1 = nullptr;
  QAction* N1 = nullptr;
  QAction* Execute1 = nullptr;
  QAction* OpenFolder1 = nullptr;
  QAction* SelectAll1 = nullptr;
  QAction* UnselectAll1 = nullptr;
  QAction* N2 = nullptr;
  QAction* c1 = nullptr;
  QAction* N5 = nullptr;
};
