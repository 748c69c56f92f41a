#include "shell/mainwindow.h"

#include "engine/language.h"
#include "platform/fs.h"
#include "platform/settings.h"
#include "platform/shell.h"
#include "platform/ui.h"
#include "results/listfile.h"
#include "results/picture.h"
#include "shell/about.h"
#include "shell/folderlist.h"
#include "shell/pictures.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLibraryInfo>
#include <QLocale>
#include <QMouseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSplitter>
#include <QTableView>
#include <QToolButton>
#include <QTranslator>

#include <cmath>

namespace {

const QSize kClient(905, 546);
const QSize kPanel(889, 346);
const char kListFilter[] = "Text Files (*.txt);;All Files (*)";

QString& TitleValue() {
  static QString title;
  return title;
}

// The result list. A double click on the selected row must not also start
// the caption edit its first click asked for: the view drops that pending
// edit only after its double-click signal has run, and a message box shown
// from there (a damaged picture) lets the edit start meanwhile, so the next
// keys would rename the row.
class ResultView : public QTableView {
 public:
  using QTableView::QTableView;

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override {
    const QModelIndex at = indexAt(event->position().toPoint());
    if (at.isValid()) edit(at, DoubleClicked, event);  // drops the pending edit; the list opens none on a double click
    QTableView::mouseDoubleClickEvent(event);
  }
};

}  // namespace

QString ApplicationTitle() { return TitleValue(); }
void SetApplicationTitle(const QString& title) { TitleValue() = title; }

bool TsPathDialog::Execute(QWidget* owner) {
  // Where the user left it, or the desktop.
  const std::optional<QString> chosen = ui_.pickFolder(owner, fs::FolderExists(Path) ? Path : DesktopFolder());
  if (!chosen) return false;
  if (!chosen->isEmpty()) Path = *chosen;
  return true;
}

TForm1::TForm1(const Services& services, QWidget* parent)
    : QMainWindow(parent), services_(services), driver_(*this), sPathDialog1(*services.ui) {
  setObjectName(QStringLiteral("TForm1"));
  setCaption(QStringLiteral("Duplicate finder and remover Zorvik"));
  buildControls();
  buildMenus();
  connect(&model_, &ResultModel::totalsChanged, this, &TForm1::BaseViewItemChecked);
  connect(&model_, &ResultModel::totalsError, this,
          [this](const QString& message) { services_.ui->message(this, ApplicationTitle(), message); });
  resize(kClient.width(), kClient.height() + menuBar()->sizeHint().height());
  setMinimumSize(410, 300);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) move(screen->availableGeometry().center() - rect().center());
  // The application's filter sees every event of the controls too; a filter
  // of their own as well would run each click or resize handler twice.
  qApp->installEventFilter(this);
  pumpClock_.start();
  useQtTranslations(false);  // English until the language decision says otherwise
  FormCreate();
}

TForm1::~TForm1() { qApp->removeEventFilter(this); }

// ---------------------------------------------------------------- layout

void TForm1::place(QWidget* w, int x, int y, int width, int height, int anchors, QSize parentDesign) {
  w->setGeometry(x, y, width, height);
  placed_.push_back({w, QRect(x, y, width, height), anchors, parentDesign});
}

namespace {

// One axis of an anchored control: `start` and `length` as designed in a
// parent of `designed` length, placed in a parent of `actual` length.
std::pair<int, int> Anchored(int start, int length, bool nearEdge, bool farEdge, int designed, int actual) {
  if (nearEdge && farEdge) return {start, std::max(0, length + actual - designed)};
  if (farEdge) return {start + actual - designed, length};
  if (nearEdge) return {start, length};
  const double centre = (start + length / 2.0) / designed;  // keeps its centre's place
  return {static_cast<int>(centre * actual - length / 2.0), length};
}

}  // namespace

void TForm1::layoutPlaced() {
  for (const Placed& p : placed_) {
    const QWidget* parent = p.widget->parentWidget();
    const QRect& d = p.design;
    const auto [x, w] = Anchored(d.left(), d.width(), p.anchors & L, p.anchors & R, p.parentDesign.width(), parent->width());
    const auto [y, h] = Anchored(d.top(), d.height(), p.anchors & T, p.anchors & B, p.parentDesign.height(), parent->height());
    p.widget->setGeometry(x, y, w, h);
  }
}

void TForm1::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  layoutPlaced();
}

// The shared columns (name, size, date) divide what the path column leaves,
// a column whose minimum is above its share keeping its minimum.
void TForm1::fitColumns() {
  const int width = BaseView->viewport()->width();
  const int path = BaseView->columnWidth(1);
  const int minimum[3] = {100, 50, 50};
  const int column[3] = {0, 2, 3};
  bool fixed[3] = {false, false, false};
  int share[3] = {0, 0, 0};
  for (bool settled = false; !settled;) {
    settled = true;
    int left = width - path, open = 0;
    for (int k = 0; k < 3; ++k) {
      if (fixed[k]) left -= minimum[k];
      else ++open;
    }
    if (open == 0) break;
    const int each = std::max(0, left) / open, rest = std::max(0, left) % open;
    bool firstOpen = true;
    for (int k = 0; k < 3; ++k) {
      if (fixed[k]) continue;
      share[k] = each + (k == 0 && firstOpen ? rest : 0);
      firstOpen = false;
      if (share[k] < minimum[k]) {
        fixed[k] = true;
        settled = false;
      }
    }
  }
  for (int k = 0; k < 3; ++k) BaseView->setColumnWidth(column[k], fixed[k] ? minimum[k] : share[k]);
}

void TForm1::buildControls() {
  central = new QWidget(this);
  central->setObjectName(QStringLiteral("central"));
  setCentralWidget(central);
  central->resize(kClient);
  const QIcon folder(FolderPicture());
  auto folderButton = [&](int x, int y) {
    auto* button = new QToolButton(central);
    button->setIcon(folder);
    button->setFocusPolicy(Qt::NoFocus);  // not in the window's Tab order
    place(button, x, y, 23, 24, T | R);
    return button;
  };

  sLabel1 = new QLabel(QStringLiteral("Folders to scan (Double Click to Browse)"), central);
  place(sLabel1, 8, 10, 372, 16, L | T);
  sCheckBox1 = new QCheckBox(QStringLiteral("Fast compare large files"), central);
  sCheckBox1->setChecked(true);
  sCheckBox1->setToolTip(QStringLiteral("Files larger than 10 MB will not be compared to a byte, useful for searching for identical videos"));
  place(sCheckBox1, 383, 8, 300, 18, T | R);
  sLabel2 = new QLabel(QStringLiteral("File Ext."), central);
  place(sLabel2, 695, 10, 80, 16, T | R);

  Edit1 = new QLineEdit(central);
  Edit1->setToolTip(QStringLiteral("Folders to scan (Double Click to Browse)"));
  place(Edit1, 9, 29, 647, 24, L | T | R);
  sSpeedButton1 = folderButton(659, 29);
  ext = new QComboBox(central);
  ext->setEditable(true);
  ext->addItems({QStringLiteral("*.jpg"), QStringLiteral("*.png"), QStringLiteral("*.mp3"), QStringLiteral("*.wma"),
                 QStringLiteral("*.avi"), QStringLiteral("*.mp4"), QStringLiteral("*.mpeg"), QStringLiteral("*.txt"),
                 QStringLiteral("*.doc"), QStringLiteral("*.exe"), QStringLiteral("*.*")});
  ext->setCurrentIndex(-1);
  ext->setEditText(QStringLiteral("*.*"));
  place(ext, 695, 29, 77, 24, T | R);
  Button1 = new QPushButton(QStringLiteral("Scan"), central);
  Button1->setToolTip(QStringLiteral("Ctrl+Enter"));
  place(Button1, 786, 29, 110, 26, T | R);
  sButton1 = new QPushButton(QStringLiteral("Cancel"), central);
  sButton1->hide();
  place(sButton1, 786, 29, 110, 26, T | R);

  RadioButton1 = new QRadioButton(QStringLiteral("Remove"), central);
  RadioButton1->setChecked(true);
  place(RadioButton1, 9, 58, 100, 18, L | T);
  RadioButton2 = new QRadioButton(QStringLiteral("Move to folder"), central);
  place(RadioButton2, 111, 58, 165, 18, L | T);
  Edit2 = new QLineEdit(central);
  place(Edit2, 278, 56, 378, 24, L | T | R);
  sSpeedButton2 = folderButton(659, 56);
  Label3 = new QLabel(QString::fromLatin1(kWebSiteText), central);
  Label3->setStyleSheet(QStringLiteral("color: blue; font-weight: bold; font-size: 11px;"));
  Label3->setCursor(Qt::PointingHandCursor);
  place(Label3, 686, 61, 98, 16, T | R);
  Button2 = new QPushButton(QStringLiteral("Do it"), central);
  Button2->setToolTip(QStringLiteral("Ctrl+Del"));
  place(Button2, 786, 60, 110, 35, R);

  sEdit1Label = new QLabel(QStringLiteral("Do not mark files from this folder"), central);
  sEdit1Label->setObjectName(QStringLiteral("sEdit1BoundLabel"));
  place(sEdit1Label, 9, 85, 400, 16, L | T);
  sEdit1 = new QLineEdit(central);
  place(sEdit1, 9, 103, 644, 24, L | T | R);
  sSpeedButton3 = folderButton(659, 103);

  Edit7 = new QLineEdit(central);
  Edit7->setReadOnly(true);
  Edit7->setFocusPolicy(Qt::NoFocus);
  Edit7->setToolTip(QStringLiteral("Duplicate Numbers"));
  place(Edit7, 8, 140, 71, 24, L | T);
  Edit5 = new QLineEdit(central);
  Edit5->setReadOnly(true);
  Edit5->setFocusPolicy(Qt::NoFocus);
  Edit5->setToolTip(QStringLiteral("Total space to free"));
  place(Edit5, 85, 140, 77, 24, L | T);
  Label1 = new QLabel(QStringLiteral("Ready to work ..."), central);
  place(Label1, 168, 144, 462, 17, L | T);
  Label2 = new QLabel(central);
  Label2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  place(Label2, 632, 144, 265, 17, T | R);
  ProgressBar1 = new QProgressBar(central);
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);
  place(ProgressBar1, 9, 167, 888, 13, L | T | R);

  sPanel2 = new QWidget(central);
  place(sPanel2, 8, 192, 889, 346, L | T | R | B);
  sPanel2->resize(kPanel);
  Splitter1 = new QSplitter(Qt::Horizontal, sPanel2);
  Splitter1->setGeometry(0, 0, kPanel.width(), kPanel.height());
  Splitter1->setOpaqueResize(false);
  Splitter1->setHandleWidth(4);
  place(Splitter1, 0, 0, kPanel.width(), kPanel.height(), L | T | R | B, kPanel);

  BaseView = new ResultView(Splitter1);
  BaseView->setMinimumWidth(30);  // the preview pane grows until the list is 30 wide
  BaseView->setModel(&model_);
  BaseView->setSelectionBehavior(QAbstractItemView::SelectRows);
  BaseView->setSelectionMode(QAbstractItemView::SingleSelection);
  BaseView->setShowGrid(true);
  BaseView->setWordWrap(false);
  BaseView->setMouseTracking(true);
  BaseView->setEditTriggers(QAbstractItemView::SelectedClicked);
  BaseView->verticalHeader()->hide();
  BaseView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  BaseView->verticalHeader()->setDefaultSectionSize(BaseView->fontMetrics().height() + 6);
  BaseView->horizontalHeader()->setHighlightSections(false);
  BaseView->horizontalHeader()->setMinimumSectionSize(50);
  BaseView->setColumnWidth(1, 192);
  // Name and path are at least 100 wide, size and date at least 50.
  connect(BaseView->horizontalHeader(), &QHeaderView::sectionResized, this, [this](int column, int, int width) {
    if ((column == 0 || column == 1) && width < 100) BaseView->horizontalHeader()->resizeSection(column, 100);
  });
  BaseView->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(BaseView, &QAbstractItemView::entered, this, [this](const QModelIndex& index) {
    if (index.isValid() && QApplication::mouseButtons() == Qt::NoButton) BaseView->selectRow(index.row());
  });

  previewPane = new QWidget(Splitter1);
  previewPane->setObjectName(QStringLiteral("previewPane"));
  Image1 = new QLabel(previewPane);
  Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Image1->setCursor(Qt::PointingHandCursor);
  Image1->setGeometry(0, 0, 390, kPanel.height());
  Splitter1->addWidget(BaseView);
  Splitter1->addWidget(previewPane);
  Splitter1->setStretchFactor(0, 1);
  Splitter1->setStretchFactor(1, 0);
  Splitter1->setSizes({kPanel.width() - 390 - 4, 390});
  Splitter1->setCollapsible(0, false);
  // A pane dragged to 30 or narrower collapses.
  connect(Splitter1, &QSplitter::splitterMoved, this, [this] {
    const QList<int> sizes = Splitter1->sizes();
    if (sizes.size() == 2 && sizes[1] > 0 && sizes[1] <= 30) Splitter1->setSizes({sizes[0] + sizes[1], 0});
  });

  // The placeholder and its hint lie over the preview pane, kept at their
  // distance to its right and bottom edges, and inside it: a narrow or
  // collapsed pane shows less of them, never the list beneath.
  const QSize pane(390, kPanel.height());
  const int paneLeft = kPanel.width() - pane.width();
  Image2 = new QLabel(previewPane);
  Image2->setPixmap(PlaceholderPicture());
  Image2->setAttribute(Qt::WA_TransparentForMouseEvents);
  place(Image2, 733 - paneLeft, 20, 145, 143, T | R, pane);
  sLabel3 = new QLabel(QStringLiteral("Double click on the file to show"), previewPane);
  sLabel3->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  sLabel3->setAttribute(Qt::WA_TransparentForMouseEvents);
  place(sLabel3, 540 - paneLeft, 316, 339, 16, R | B, pane);

  // Object names: the names the program's commands and tests use.
  for (auto [w, name] : std::initializer_list<std::pair<QWidget*, const char*>>{
           {sLabel1, "sLabel1"}, {sCheckBox1, "sCheckBox1"}, {sLabel2, "sLabel2"}, {Edit1, "Edit1"},
           {sSpeedButton1, "sSpeedButton1"}, {ext, "ext"}, {Button1, "Button1"}, {sButton1, "sButton1"},
           {RadioButton1, "RadioButton1"}, {RadioButton2, "RadioButton2"}, {Edit2, "Edit2"},
           {sSpeedButton2, "sSpeedButton2"}, {Label3, "Label3"}, {Button2, "Button2"}, {sEdit1, "sEdit1"},
           {sSpeedButton3, "sSpeedButton3"}, {Edit7, "Edit7"}, {Edit5, "Edit5"}, {Label1, "Label1"},
           {Label2, "Label2"}, {ProgressBar1, "ProgressBar1"}, {sPanel2, "sPanel2"}, {Splitter1, "Splitter1"},
           {BaseView, "BaseView"}, {Image1, "Image1"}, {Image2, "Image2"}, {sLabel3, "sLabel3"}})
    w->setObjectName(QString::fromLatin1(name));

  // Tab order as the window was designed.
  QWidget* order[] = {BaseView, Edit2, sEdit1, sButton1, Button2, RadioButton1, RadioButton2, Edit1, ext, sCheckBox1, Button1};
  for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);

  connect(Button1, &QPushButton::clicked, this, &TForm1::Enter1Click);
  connect(sButton1, &QPushButton::clicked, this, &TForm1::sButton1Click);
  connect(Button2, &QPushButton::clicked, this, &TForm1::DeleteAll1Click);
  connect(sSpeedButton1, &QToolButton::clicked, this, &TForm1::sSpeedButton1Click);
  connect(sSpeedButton2, &QToolButton::clicked, this, &TForm1::sSpeedButton2Click);
  connect(sSpeedButton3, &QToolButton::clicked, this, &TForm1::sSpeedButton3Click);
  connect(BaseView, &QAbstractItemView::doubleClicked, this, &TForm1::BaseViewDblClick);
  connect(BaseView, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    PopupMenu1Popup();
    PopupMenu1->popup(BaseView->viewport()->mapToGlobal(at));
  });
}

void TForm1::buildMenus() {
  auto action = [this](QMenu* menu, const char* name, const char* caption, const QKeySequence& key = {}) {
    QAction* a = new QAction(QString::fromUtf8(caption), this);
    a->setObjectName(QString::fromLatin1(name));
    if (!key.isEmpty()) a->setShortcut(key);
    if (menu) menu->addAction(a);
    return a;
  };
  auto separator = [](QMenu* menu, const char* name) { menu->addSeparator()->setObjectName(QString::fromLatin1(name)); };

  File1 = menuBar()->addMenu(QStringLiteral("File"));
  File1->setObjectName(QStringLiteral("File1"));
  AddFolders1 = action(File1, "AddFolders1", "Add Folders", QKeySequence(Qt::CTRL | Qt::Key_Insert));
  separator(File1, "N14");
  Saveas1 = action(File1, "Saveas1", "Save list", QKeySequence(Qt::CTRL | Qt::Key_S));
  Load1 = action(File1, "Load1", "Load list", QKeySequence(Qt::CTRL | Qt::Key_L));
  separator(File1, "N11");
  Enter1 = action(File1, "Enter1", "Scan", QKeySequence(Qt::CTRL | Qt::Key_Return));
  Enter1->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)});
  Delete1 = action(File1, "Delete1", "Delete", QKeySequence(Qt::CTRL | Qt::Key_Delete));
  Cancel1 = action(File1, "Cancel1", "Cancel", QKeySequence(Qt::Key_Escape));
  separator(File1, "N3");
  close1 = action(File1, "close1", "Close", QKeySequence(Qt::ALT | Qt::Key_F4));

  Options1 = menuBar()->addMenu(QStringLiteral("Options"));
  Options1->setObjectName(QStringLiteral("Options1"));
  Language1 = Options1->addMenu(QStringLiteral("Language"));
  Language1->setObjectName(QStringLiteral("Language1"));
  Language1->menuAction()->setObjectName(QStringLiteral("Language1Item"));
  QActionGroup* languages = new QActionGroup(this);
  English1 = action(Language1, "English1", "English");
  Russian1 = action(Language1, "Russian1", "Russian");
  for (QAction* a : {English1, Russian1}) {
    a->setCheckable(true);
    languages->addAction(a);
  }
  English1->setChecked(true);
  Addto1 = action(Options1, "Addto1", "Add into context menu");
  separator(Options1, "N12");
  UseRecycle1 = action(Options1, "UseRecycle1", "Use Recycle Bin");
  Skip1 = action(Options1, "Skip1", "Skip small files (less 20 KB)");
  Skip2 = action(Options1, "Skip2", "Skip empty files");
  separator(Options1, "N13");
  DelDirs1 = action(Options1, "DelDirs1", "Delete empty folders");
  for (QAction* a : {Addto1, UseRecycle1, Skip1, Skip2, DelDirs1}) a->setCheckable(true);
  N1 = action(nullptr, "N1", "?");
  menuBar()->addAction(N1);

  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  Execute1 = action(PopupMenu1, "Execute1", "Execute", QKeySequence(Qt::Key_Return));
  Execute1->setShortcuts({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});  // keypad Enter too
  OpenFolder1 = action(PopupMenu1, "OpenFolder1", "Open folder", QKeySequence(Qt::CTRL | Qt::Key_F));
  separator(PopupMenu1, "N10");
  SelectAll1 = action(PopupMenu1, "SelectAll1", "Select All", QKeySequence(Qt::CTRL | Qt::Key_A));
  UnselectAll1 = action(PopupMenu1, "UnselectAll1", "Unselect all", QKeySequence(Qt::CTRL | Qt::Key_Z));
  N2 = action(PopupMenu1, "N2", "Select all exclude first");
  separator(PopupMenu1, "N4");
  c1 = action(PopupMenu1, "c1", "Save list");
  N5 = action(PopupMenu1, "N5", "Load list");
  // The list's own shortcuts act only while it has the focus.
  for (QAction* a : PopupMenu1->actions()) {
    a->setShortcutContext(Qt::WidgetShortcut);
    BaseView->addAction(a);
  }
  addActions(menuBar()->actions());
  for (QMenu* m : {File1, Options1, Language1}) addActions(m->actions());

  connect(AddFolders1, &QAction::triggered, this, &TForm1::AddFolders1Click);
  connect(Saveas1, &QAction::triggered, this, &TForm1::Saveas1Click);
  connect(Load1, &QAction::triggered, this, &TForm1::Load1Click);
  connect(Enter1, &QAction::triggered, this, &TForm1::Enter1Click);
  connect(Delete1, &QAction::triggered, this, &TForm1::DeleteAll1Click);
  // Esc cancels a running scan (asking first); Alt+F4 closes the window.
  connect(Cancel1, &QAction::triggered, this, [this] {
    if (scanning() && sButton1->isVisible()) sButton1Click();
  });
  connect(close1, &QAction::triggered, this, &QWidget::close);
  connect(English1, &QAction::triggered, this, &TForm1::English1Click);
  connect(Russian1, &QAction::triggered, this, &TForm1::Russian1Click);
  connect(Addto1, &QAction::triggered, this, &TForm1::Addto1Click);
  connect(N1, &QAction::triggered, this, &TForm1::N1Click);
  connect(Execute1, &QAction::triggered, this, &TForm1::Execute1Click);
  connect(OpenFolder1, &QAction::triggered, this, &TForm1::OpenFolder1Click);
  connect(SelectAll1, &QAction::triggered, this, &TForm1::SelectAll1Click);
  connect(UnselectAll1, &QAction::triggered, this, &TForm1::UnselectAll1Click);
  connect(N2, &QAction::triggered, this, &TForm1::N2Click);
  connect(c1, &QAction::triggered, this, &TForm1::Saveas1Click);
  connect(N5, &QAction::triggered, this, &TForm1::Load1Click);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride && watched->isWidgetType() && isAncestorOf(static_cast<QWidget*>(watched))) {
    // The main menu's shortcuts act wherever the focus is, before the
    // focused control sees the key (Ctrl+Del in a field runs Delete); the
    // list's own shortcuts act before the list does.
    const auto* key = static_cast<QKeyEvent*>(event);
    // A key of the keypad counts as the same key elsewhere (keypad Enter).
    const QKeySequence pressed(QKeyCombination(key->modifiers() & ~Qt::KeypadModifier, Qt::Key(key->key())));
    QList<QAction*> claimed = {AddFolders1, Saveas1, Load1, Enter1, Delete1, Cancel1, close1};
    if (watched == BaseView) claimed += PopupMenu1->actions();
    for (QAction* a : claimed) {
      for (const QKeySequence& s : a->shortcuts()) {
        if (s == pressed) {
          event->ignore();
          return true;
        }
      }
    }
  }
  if (event->type() == QEvent::MouseButtonDblClick) {
    if (watched == Edit1) sSpeedButton1Click();
    else if (watched == Edit2) sSpeedButton2Click();
    else if (watched == sEdit1) sSpeedButton3Click();
    if (watched == Edit1 || watched == Edit2 || watched == sEdit1) return true;
  }
  if (event->type() == QEvent::MouseButtonRelease) {
    if (watched == Label3) Label3Click();
    else if (watched == Image1) Image1Click();
  }
  if (event->type() == QEvent::Resize && watched == previewPane) {
    layoutPlaced();
    showPreview();
  }
  if (event->type() == QEvent::Resize && watched == BaseView->viewport()) fitColumns();
  return QMainWindow::eventFilter(watched, event);
}

// ---------------------------------------------------------------- start and close

void TForm1::FormCreate() {
  if (services_.shell->folderCommandExists()) Addto1->setChecked(true);
  SettingsStore& settings = *services_.settings;
  const QString language = settings.read(QStringLiteral("Language"));
  Edit1->setText(settings.read(QStringLiteral("Path")));
  Edit2->setText(settings.read(QStringLiteral("Path2")));
  sEdit1->setText(settings.read(QStringLiteral("master")));
  driver_.ScanStopped = true;
  if (language != QLatin1String("En")) Russian1->trigger();
  if (Russian1->isChecked()) Label1->setText(QStringLiteral("Выберите папку, укажите расширение и нажмите кнопку поиск .."));
  // The first non-empty argument is a folder to scan.
  for (qsizetype i = 1; i < services_.arguments.size(); ++i) {
    if (services_.arguments[i].isEmpty()) continue;
    Edit1->setText(services_.arguments[i] + fs::kSeparator);
    ext->setEditText(QStringLiteral("*.*"));
    break;
  }
}

void TForm1::FormClose() {
  SettingsStore& settings = *services_.settings;
  bool ok = settings.write(QStringLiteral("Language"), Russian1->isChecked() ? QStringLiteral("Rus") : QStringLiteral("En"));
  ok = settings.write(QStringLiteral("Path"), Edit1->text()) && ok;
  ok = settings.write(QStringLiteral("Path2"), Edit2->text()) && ok;
  ok = settings.write(QStringLiteral("master"), sEdit1->text()) && ok;
  if (!ok) services_.ui->message(this, ApplicationTitle(), QStringLiteral("The settings could not be saved."));
}

void TForm1::closeEvent(QCloseEvent* event) {
  // The window closes at once, also in the middle of a scan or a processing
  // run: that command carries on out of sight, and the program ends when it
  // has returned (its event loop is asked to quit by the closing).
  if (!settingsWritten_) {
    FormClose();
    settingsWritten_ = true;
  }
  event->accept();
}

// ---------------------------------------------------------------- scan

void TForm1::Enter1Click() {
  if (processing_) return;
  driver_.Scan();
}

void TForm1::sButton1Click() { driver_.Cancel(); }

QString TForm1::foldersText() { return Edit1->text(); }
QString TForm1::mask() { return ext->currentText(); }
void TForm1::setMask(const QString& mask) { ext->setEditText(mask); }
bool TForm1::skipSmall() { return Skip1->isChecked(); }
bool TForm1::skipEmpty() { return Skip2->isChecked(); }
bool TForm1::fastCompare() { return sCheckBox1->isChecked(); }
bool TForm1::english() { return English1->isChecked(); }
int TForm1::resultRowCount() { return model_.count(); }
void TForm1::clearResults() { model_.clear(); }
void TForm1::appendSeparator() { model_.appendSeparator(); }
void TForm1::appendFileRow(const CandidateRecord& record) { model_.appendFileRow(record); }
void TForm1::markAllButFirst() { model_.MarkAllButFirst(sEdit1->text()); }
bool TForm1::askYesNo(const QString& title, const QString& text) { return services_.ui->askYesNo(this, title, text); }
bool TForm1::askOkCancel(const QString& title, const QString& text) { return services_.ui->askOkCancel(this, title, text); }
void TForm1::browseFolders() { sSpeedButton1Click(); }
void TForm1::pump() { pumpEvents(); }

void TForm1::pumpEvents() {
  // Waiting events run at most once per pump interval (10 ms unless set):
  // often enough for a live window, rarely enough to cost nothing.
  if (pumpInterval_ > 0 && pumpClock_.elapsed() < pumpInterval_) return;
  QCoreApplication::processEvents();
  pumpClock_.restart();
}

void TForm1::setRootList(const QStringList& roots) {
  if (form2_) form2_->setEntries(roots);
}
void TForm1::setStatus(const QString& text) { Label1->setText(text); }
void TForm1::setDetail(const QString& text) { Label2->setText(text); }
void TForm1::setProgress(int position) { ProgressBar1->setValue(position); }
void TForm1::setTitle(const QString& title) {
  SetApplicationTitle(title);
  showTitle();
}

void TForm1::setCaption(const QString& caption) {
  caption_ = caption;
  showTitle();
}

void TForm1::showTitle() {
  const QString title = ApplicationTitle();
  setWindowTitle(title.isEmpty() ? caption_ : caption_ + QStringLiteral(" — ") + title);
}
void TForm1::setTotals(const QString& space, const QString& count) {
  Edit5->setText(space);
  Edit7->setText(count);
}
void TForm1::showCancel(bool show) {
  Button1->setVisible(!show);
  sButton1->setVisible(show);
}
void TForm1::beep() { services_.ui->beep(); }

void TForm1::BaseViewItemChecked(const QString& space, const QString& count) { setTotals(space, count); }

// ---------------------------------------------------------------- marking

void TForm1::N2Click() { model_.MarkAllButFirst(sEdit1->text()); }
void TForm1::SelectAll1Click() { model_.SelectAll(); }
void TForm1::UnselectAll1Click() { model_.UnselectAll(); }

// ---------------------------------------------------------------- processing

void TForm1::DeleteAll1Click() {
  if (model_.count() == 0 || scanning() || processing_) return;
  processing_ = true;
  ProcessMarked(model_, *this);
  processing_ = false;
}

ProcessMode TForm1::mode() {
  if (!RadioButton1->isChecked()) return ProcessMode::Move;
  return UseRecycle1->isChecked() ? ProcessMode::Recycle : ProcessMode::Remove;
}
QString TForm1::destination() { return Edit2->text(); }
void TForm1::browseDestination() { sSpeedButton2Click(); }
bool TForm1::deleteEmptyFolders() { return DelDirs1->isChecked(); }
bool TForm1::confirm(const QString& title, const QString& text) { return services_.ui->askOkCancel(this, title, text); }
bool TForm1::askWholeGroups(const QString& title, const QString& text) { return services_.ui->askNoYes(this, title, text); }
void TForm1::deleteFailed(const QString& message) {
  services_.ui->message(this, ApplicationTitle(), message);
}
void TForm1::clearTotals() {
  Edit7->clear();
  Edit5->clear();
  Label2->clear();
}

// ---------------------------------------------------------------- list file

void TForm1::Saveas1Click() {
  const QString file = services_.ui->saveFileName(this, QString::fromLatin1(kListFilter), QStringLiteral("txt"));
  if (file.isEmpty()) return;
  QString error;
  if (!SaveListFile(model_, file, &error)) services_.ui->message(this, ApplicationTitle(), error);
}

void TForm1::Load1Click() {
  if (busy()) return;
  const QString file = services_.ui->openFileName(this, QString::fromLatin1(kListFilter));
  if (file.isEmpty()) return;
  model_.clear();
  LoadedList loaded;
  QString error;
  if (!LoadListFile(file, &loaded, &error)) {
    services_.ui->message(this, ApplicationTitle(), error);
    return;
  }
  const int unreadable = loaded.unreadable;
  // Setting the marks reports the totals (or their error) once; with no
  // mark set, the fields show the empty list's totals.
  if (!model_.appendRows(std::move(loaded.rows))) model_.UpdateTotals();
  if (unreadable > 0)
    services_.ui->message(this, ApplicationTitle(),
                          LanguageText(english(), "%1 lines of the list could not be read; their rows are left unmarked.",
                             "Строк списка, которые не удалось прочитать: %1; они оставлены без отметки.")
                              .arg(unreadable));
}

// ---------------------------------------------------------------- rows

int TForm1::selectedRow() const {
  const QModelIndexList rows = BaseView->selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.front().row();
}

bool TForm1::fileRowSelected() const {
  const int row = selectedRow();
  return model_.count() > 0 && row >= 0 && row < model_.count() && !model_.row(row).caption.isEmpty();
}

void TForm1::Execute1Click() {
  if (fileRowSelected()) services_.shell->open(model_.row(selectedRow()).path);
}

void TForm1::OpenFolder1Click() {
  if (!fileRowSelected()) return;
  const QString path = model_.row(selectedRow()).path;
  const qsizetype cut = path.lastIndexOf(fs::kSeparator);
  services_.shell->open(cut <= 0 ? path.left(cut + 1) : path.left(cut));
}

void TForm1::PopupMenu1Popup() {
  Execute1->setEnabled(fileRowSelected());
  OpenFolder1->setEnabled(fileRowSelected());
  SelectAll1->setEnabled(model_.count() > 0);
  UnselectAll1->setEnabled(model_.count() > 0);
}

// ---------------------------------------------------------------- folders

void TForm1::browseInto(QLineEdit* field, bool addSeparator) {
  if (fs::FolderExists(field->text())) sPathDialog1.Path = field->text();
  if (!sPathDialog1.Execute(this)) return;
  QString text = sPathDialog1.Path;
  if (addSeparator && !text.isEmpty() && !text.endsWith(fs::kSeparator)) text += fs::kSeparator;
  field->setText(text);
}

void TForm1::sSpeedButton1Click() { browseInto(Edit1, false); }
void TForm1::sSpeedButton2Click() { browseInto(Edit2, false); }
void TForm1::sSpeedButton3Click() { browseInto(sEdit1, true); }

void TForm1::AddFolders1Click() {
  if (scanning() || !form2_) return;
  form2_->editFolders(Edit1);
}

void TForm1::Addto1Click() {
  if (Addto1->isChecked()) {
    if (!services_.shell->addFolderCommand(LanguageText(english(), "Find Duplicates", "Поиск одинаковых файлов")))
      services_.ui->message(this, ApplicationTitle(), QStringLiteral("Failed to set data for ''"));
  } else {
    services_.shell->removeFolderCommand();
  }
}

// ---------------------------------------------------------------- language

void TForm1::Russian1Click() {
  if (!englishChecked_) {
    Russian1->setChecked(true);
    return;
  }
  Russian1->setChecked(true);
  englishChecked_ = false;
  setCaption(QStringLiteral("Удаление дубликатов файлов Зорвик - ") + QString::fromLatin1(kVersionText));
  useQtTranslations(true);
  const std::pair<QAction*, const char*> menus[] = {
      {File1->menuAction(), "Файл"}, {AddFolders1, "Указать папки"}, {Saveas1, "Сохранить список"},
      {Load1, "Загрузить список"}, {Enter1, "Поиск"}, {Delete1, "Удалить"}, {Cancel1, "Отмена"},
      {close1, "Закрыть"}, {Options1->menuAction(), "Опции"}, {Language1->menuAction(), "Язык"},
      {English1, "Английский"}, {Russian1, "Русский"}, {Addto1, "Интегрировать в меню проводника"},
      {UseRecycle1, "Удалять в корзину"}, {Skip1, "Пропускать файлы менее 20 KB"},
      {Skip2, "Пропускать пустые файлы"}, {DelDirs1, "Удалять пустые каталоги"}, {Execute1, "Запустить"},
      {OpenFolder1, "Открыть папку"}, {SelectAll1, "Выбрать всё"}, {UnselectAll1, "Убрать все галочки"},
      {N2, "Выбрать кроме первого"}, {c1, "Сохранить список"}, {N5, "Загрузить список"}};
  for (const auto& [a, text] : menus) a->setText(QString::fromUtf8(text));
  Button1->setText(QStringLiteral("Поиск"));
  sButton1->setText(QStringLiteral("Отмена"));
  Button2->setText(QStringLiteral("Обработать"));
  Label1->setText(QStringLiteral("Чего изволите?"));
  sLabel1->setText(QStringLiteral("Директории для поиска (дв. клик чтобы указать)"));
  Edit1->setToolTip(QStringLiteral("Директории для поиска (дв. клик чтобы указать)"));
  sLabel2->setText(QStringLiteral("Расширение"));
  ext->setToolTip(QStringLiteral("Расширение файлов (*.*)"));
  sCheckBox1->setText(QStringLiteral("Быстрое сравнение больших файлов"));
  sCheckBox1->setToolTip(QStringLiteral("Файлы больше 10 МБ не будут сравниваться до байта, полезно для поиска одинаковых видео"));
  RadioButton1->setText(QStringLiteral("Удалить"));
  RadioButton2->setText(QStringLiteral("Переместить в папку"));
  sEdit1Label->setText(QStringLiteral("Не отмечать файлы из этой папки"));
  Edit7->setToolTip(QStringLiteral("Количество найденых дубликатов"));
  Edit5->setToolTip(QStringLiteral("Общий объём освобождаемого пространства"));
  sLabel3->setText(QStringLiteral("Двойной клик по файлу чтобы показать"));
}

void TForm1::English1Click() {
  if (englishChecked_) {
    English1->setChecked(true);
    return;
  }
  English1->setChecked(true);
  englishChecked_ = true;
  useQtTranslations(false);
  if (!services_.ui->askOkCancel(this, QStringLiteral("Notice"), QStringLiteral("To apply changes you must reload programm."))) return;
  close();
  services_.shell->restart();
}

// Qt's own texts (the buttons of a message box, the file dialogs) speak the
// language every message is picked in: Russian while Russian is checked.
void TForm1::useQtTranslations(bool russian) {
  static QTranslator* qt = nullptr;
  if (russian && !qt) {
    auto* loaded = new QTranslator(qApp);
    if (!loaded->load(QLocale(QLocale::Russian), QStringLiteral("qtbase"), QStringLiteral("_"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
      delete loaded;
      return;
    }
    qt = loaded;
    QCoreApplication::installTranslator(qt);
  } else if (!russian && qt) {
    QCoreApplication::removeTranslator(qt);
    delete qt;
    qt = nullptr;
  }
}

void TForm1::Label3Click() { services_.shell->open(QString::fromLatin1(kWebSite)); }

void TForm1::N1Click() {
  if (!form3_) return;
  form3_->setTitleLine(LanguageText(english(), "Duplicate finder and remover Zorvik - ", "Удаление дубликатов файлов Зорвик - ") +
                       QString::fromLatin1(kVersionText));
  form3_->exec();
}

// ---------------------------------------------------------------- preview

void TForm1::BaseViewDblClick() {
  if (!fileRowSelected()) return;
  const QString path = model_.row(selectedRow()).path;
  const std::optional<PictureKind> kind = PreviewKind(path);
  if (!kind) return;
  // Decoded no larger than the screen: the pane never shows more.
  QSize fit(1920, 1920);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) fit = screen->size().expandedTo(QSize(640, 480));
  QImage image;
  QString error;
  if (!LoadPicture(path, *kind, fit, &image, &error, english())) {
    services_.ui->message(this, ApplicationTitle(), path + QStringLiteral(": ") + error);
    return;
  }
  preview_ = image;
  showPreview();
  Image2->hide();
  PreviewFile = path;
}

void TForm1::showPreview() {
  if (preview_.isNull()) return;
  const QSize pane = previewPane->size();
  QImage shown = preview_;
  if (shown.width() > pane.width() || shown.height() > pane.height())
    shown = shown.scaled(pane.expandedTo(QSize(1, 1)), Qt::KeepAspectRatio, Qt::SmoothTransformation);
  Image1->setGeometry(0, 0, pane.width(), pane.height());
  Image1->setPixmap(QPixmap::fromImage(shown));
}

void TForm1::Image1Click() {
  if (!PreviewFile.isEmpty()) services_.shell->open(PreviewFile);
}
