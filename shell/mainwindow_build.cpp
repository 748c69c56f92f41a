// TForm1's controls and menus as the window was designed, and the layout
// that keeps them in place when the window is resized.
#include "shell/mainwindow.h"

#include "shell/about.h"
#include "shell/elidedlabel.h"
#include "shell/eventhooks.h"
#include "shell/layout.h"
#include "shell/pictures.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QToolButton>

namespace {

using layout::B;
using layout::L;
using layout::R;
using layout::T;

const QSize kPanel(889, 346);

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

// The editor of a row's caption: the main menu's shortcuts act there too,
// before the editor sees the key.
class ResultDelegate : public QStyledItemDelegate {
 public:
  ResultDelegate(const QList<QAction*>& menuKeys, QObject* parent) : QStyledItemDelegate(parent), menuKeys_(menuKeys) {}

 protected:
  bool eventFilter(QObject* editor, QEvent* event) override {
    if (event->type() == QEvent::ShortcutOverride && ClaimedByShortcut(event, menuKeys_)) return true;
    return QStyledItemDelegate::eventFilter(editor, event);
  }

 private:
  QList<QAction*> menuKeys_;
};
}  // namespace

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

  sLabel1 = new QLabel(central);
  place(sLabel1, 8, 10, 231, 16, L | T);
  sCheckBox1 = new QCheckBox(central);
  sCheckBox1->setChecked(true);
  place(sCheckBox1, 383, 8, 163, 18, T | R);
  sLabel2 = new QLabel(central);
  place(sLabel2, 695, 10, 45, 16, T | R);

  Edit1 = new QLineEdit(central);
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
  Button1 = new QPushButton(central);
  Button1->setToolTip(QStringLiteral("Ctrl+Enter"));
  place(Button1, 786, 29, 110, 26, T | R);
  sButton1 = new QPushButton(central);
  sButton1->hide();
  place(sButton1, 786, 29, 110, 26, T | R);

  RadioButton1 = new QRadioButton(central);
  RadioButton1->setChecked(true);
  place(RadioButton1, 9, 58, 100, 18, L | T);
  RadioButton2 = new QRadioButton(central);
  place(RadioButton2, 111, 58, 165, 18, L | T);
  Edit2 = new QLineEdit(central);
  place(Edit2, 278, 56, 378, 24, L | T | R);
  sSpeedButton2 = folderButton(659, 56);
  Label3 = new QLabel(QString::fromLatin1(kWebSiteText), central);
  Label3->setStyleSheet(QStringLiteral("color: blue; font-weight: bold; font-size: 11px;"));
  Label3->setCursor(Qt::PointingHandCursor);
  place(Label3, 686, 61, 98, 16, T | R);
  Button2 = new QPushButton(central);
  Button2->setToolTip(QStringLiteral("Ctrl+Del"));
  place(Button2, 786, 60, 110, 35, R);
  placed_.back().box.limit = kStatusRow.top() - layout::kGap;  // in a tall window it stops above the status line

  sEdit1Label = new QLabel(central);
  sEdit1Label->setObjectName(QStringLiteral("sEdit1BoundLabel"));
  place(sEdit1Label, 9, 85, 400, 16, L | T);
  sEdit1 = new QLineEdit(central);
  place(sEdit1, 9, 103, 644, 24, L | T | R);
  sSpeedButton3 = folderButton(659, 103);

  Edit7 = new QLineEdit(central);
  Edit7->setReadOnly(true);
  Edit7->setFocusPolicy(Qt::NoFocus);
  place(Edit7, 8, 140, 71, 24, L | T);
  Edit5 = new QLineEdit(central);
  Edit5->setReadOnly(true);
  Edit5->setFocusPolicy(Qt::NoFocus);
  place(Edit5, 85, 140, 77, 24, L | T);
  // The status line and the progress detail share their row (layoutStatusRow).
  Label1 = new ElidedLabel(central);
  Label2 = new ElidedLabel(central);
  Label2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
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
  // The column captions are the same in both languages.
  model_.setColumnCaptions(
      {QStringLiteral("Имя файла"), QStringLiteral("Путь"), QStringLiteral("Размер КБ"), QStringLiteral("Дата")});
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
  sLabel3 = new QLabel(previewPane);
  sLabel3->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  sLabel3->setAttribute(Qt::WA_TransparentForMouseEvents);
  place(sLabel3, 540 - paneLeft, 316, 339, 16, R | B, pane);

  // Object names: the names the program's commands and tests use.
  for (auto [w, name] : std::initializer_list<std::pair<QWidget*, const char*>>{{sLabel1, "sLabel1"},
                                                                                {sCheckBox1, "sCheckBox1"},
                                                                                {sLabel2, "sLabel2"},
                                                                                {Edit1, "Edit1"},
                                                                                {sSpeedButton1, "sSpeedButton1"},
                                                                                {ext, "ext"},
                                                                                {Button1, "Button1"},
                                                                                {sButton1, "sButton1"},
                                                                                {RadioButton1, "RadioButton1"},
                                                                                {RadioButton2, "RadioButton2"},
                                                                                {Edit2, "Edit2"},
                                                                                {sSpeedButton2, "sSpeedButton2"},
                                                                                {Label3, "Label3"},
                                                                                {Button2, "Button2"},
                                                                                {sEdit1, "sEdit1"},
                                                                                {sSpeedButton3, "sSpeedButton3"},
                                                                                {Edit7, "Edit7"},
                                                                                {Edit5, "Edit5"},
                                                                                {Label1, "Label1"},
                                                                                {Label2, "Label2"},
                                                                                {ProgressBar1, "ProgressBar1"},
                                                                                {sPanel2, "sPanel2"},
                                                                                {Splitter1, "Splitter1"},
                                                                                {BaseView, "BaseView"},
                                                                                {Image1, "Image1"},
                                                                                {Image2, "Image2"},
                                                                                {sLabel3, "sLabel3"}})
    w->setObjectName(QString::fromLatin1(name));

  // Tab order as the window was designed.
  QWidget* order[] = {BaseView,     Edit2, sEdit1, sButton1,   Button2, RadioButton1,
                      RadioButton2, Edit1, ext,    sCheckBox1, Button1};
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
  // Captions come from the window's caption table.
  auto action = [this](QMenu* menu, const char* name, const QKeySequence& key = {}) {
    QAction* a = new QAction(this);
    a->setObjectName(QString::fromLatin1(name));
    if (!key.isEmpty()) a->setShortcut(key);
    if (menu) menu->addAction(a);
    return a;
  };
  auto separator = [](QMenu* menu, const char* name) {
    menu->addSeparator()->setObjectName(QString::fromLatin1(name));
  };

  File1 = menuBar()->addMenu(QString());
  File1->setObjectName(QStringLiteral("File1"));
  AddFolders1 = action(File1, "AddFolders1", QKeySequence(Qt::CTRL | Qt::Key_Insert));
  separator(File1, "N14");
  Saveas1 = action(File1, "Saveas1", QKeySequence(Qt::CTRL | Qt::Key_S));
  Load1 = action(File1, "Load1", QKeySequence(Qt::CTRL | Qt::Key_L));
  separator(File1, "N11");
  // Both Enter keys; a menu shows the first shortcut, and Qt names the
  // keypad's key "Enter" (the main one "Return").
  Enter1 = action(File1, "Enter1");
  Enter1->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Enter), QKeySequence(Qt::CTRL | Qt::Key_Return)});
  Delete1 = action(File1, "Delete1", QKeySequence(Qt::CTRL | Qt::Key_Delete));
  Cancel1 = action(File1, "Cancel1", QKeySequence(Qt::Key_Escape));
  separator(File1, "N3");
  close1 = action(File1, "close1", QKeySequence(Qt::ALT | Qt::Key_F4));

  Options1 = menuBar()->addMenu(QString());
  Options1->setObjectName(QStringLiteral("Options1"));
  Language1 = Options1->addMenu(QString());
  Language1->setObjectName(QStringLiteral("Language1"));
  Language1->menuAction()->setObjectName(QStringLiteral("Language1Item"));
  QActionGroup* languages = new QActionGroup(this);
  English1 = action(Language1, "English1");
  Russian1 = action(Language1, "Russian1");
  for (QAction* a : {English1, Russian1}) {
    a->setCheckable(true);
    languages->addAction(a);
  }
  English1->setChecked(true);
  Addto1 = action(Options1, "Addto1");
  separator(Options1, "N12");
  UseRecycle1 = action(Options1, "UseRecycle1");
  Skip1 = action(Options1, "Skip1");
  Skip2 = action(Options1, "Skip2");
  separator(Options1, "N13");
  DelDirs1 = action(Options1, "DelDirs1");
  for (QAction* a : {Addto1, UseRecycle1, Skip1, Skip2, DelDirs1}) a->setCheckable(true);
  // Replace with link: one of three kinds of link, or off.
  ReplaceLink1 = Options1->addMenu(QString());
  ReplaceLink1->setObjectName(QStringLiteral("ReplaceLink1"));
  ReplaceLink1->menuAction()->setObjectName(QStringLiteral("ReplaceLink1Item"));
  HardLink1 = action(ReplaceLink1, "HardLink1");
  SymLink1 = action(ReplaceLink1, "SymLink1");
  Clone1 = action(ReplaceLink1, "Clone1");
  LinkOff1 = action(ReplaceLink1, "LinkOff1");
  QActionGroup* links = new QActionGroup(this);
  for (QAction* a : {HardLink1, SymLink1, Clone1, LinkOff1}) {
    a->setCheckable(true);
    links->addAction(a);
  }
  LinkOff1->setChecked(true);
  // The content cache, after the described items.
  separator(Options1, "N15");
  RememberContents1 = action(Options1, "RememberContents1");
  RememberContents1->setCheckable(true);
  RememberContents1->setChecked(true);
  ForgetContents1 = action(Options1, "ForgetContents1");
  N1 = action(nullptr, "N1");
  N1->setText(QStringLiteral("?"));  // in both languages
  menuBar()->addAction(N1);

  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  Execute1 = action(PopupMenu1, "Execute1");
  Execute1->setShortcuts({QKeySequence(Qt::Key_Enter), QKeySequence(Qt::Key_Return)});  // shown as "Enter"
  OpenFolder1 = action(PopupMenu1, "OpenFolder1", QKeySequence(Qt::CTRL | Qt::Key_F));
  separator(PopupMenu1, "N10");
  SelectAll1 = action(PopupMenu1, "SelectAll1", QKeySequence(Qt::CTRL | Qt::Key_A));
  UnselectAll1 = action(PopupMenu1, "UnselectAll1", QKeySequence(Qt::CTRL | Qt::Key_Z));
  N2 = action(PopupMenu1, "N2");
  separator(PopupMenu1, "N4");
  c1 = action(PopupMenu1, "c1");
  N5 = action(PopupMenu1, "N5");
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
  connect(ForgetContents1, &QAction::triggered, this, &TForm1::ForgetContents1Click);
  connect(Execute1, &QAction::triggered, this, &TForm1::Execute1Click);
  connect(OpenFolder1, &QAction::triggered, this, &TForm1::OpenFolder1Click);
  connect(SelectAll1, &QAction::triggered, this, &TForm1::SelectAll1Click);
  connect(UnselectAll1, &QAction::triggered, this, &TForm1::UnselectAll1Click);
  connect(N2, &QAction::triggered, this, &TForm1::N2Click);
  connect(c1, &QAction::triggered, this, &TForm1::Saveas1Click);
  connect(N5, &QAction::triggered, this, &TForm1::Load1Click);
}

void TForm1::hookEvents() {
  // The main menu's shortcuts act wherever the focus is, before the focused
  // control sees the key (Ctrl+Del in a field runs Delete); the list's own
  // shortcuts act before the list does.
  const QList<QAction*> menuKeys = {AddFolders1, Saveas1, Load1, Enter1, Delete1, Cancel1, close1};
  for (QWidget* w : central->findChildren<QWidget*>())
    if (w->focusPolicy() != Qt::NoFocus && w != BaseView) ClaimShortcuts(w, menuKeys);
  ClaimShortcuts(BaseView, menuKeys + PopupMenu1->actions());
  BaseView->setItemDelegate(new ResultDelegate(menuKeys, BaseView));

  const std::pair<QLineEdit*, void (TForm1::*)()> browsing[] = {{Edit1, &TForm1::sSpeedButton1Click},
                                                                {Edit2, &TForm1::sSpeedButton2Click},
                                                                {sEdit1, &TForm1::sSpeedButton3Click}};
  for (const auto& [field, browse] : browsing) {
    OnEvent(field, QEvent::MouseButtonDblClick, [this, browse = browse] {
      (this->*browse)();
      return true;  // not the field's own selection of a word
    });
  }
  OnEvent(Label3, QEvent::MouseButtonRelease, [this] {
    Label3Click();
    return false;
  });
  OnEvent(Image1, QEvent::MouseButtonRelease, [this] {
    Image1Click();
    return false;
  });
  OnEvent(previewPane, QEvent::Resize, [this] {
    layoutPlaced();
    showPreview();
    return false;
  });
  // A label whose text changed asks its parent for room: the status row
  // follows texts set by any path, not only through setStatus and setDetail.
  OnEvent(central, QEvent::LayoutRequest, [this] {
    layoutStatusRow();
    return false;
  });
  OnEvent(BaseView->viewport(), QEvent::Resize, [this] {
    fitColumns();
    return false;
  });
}
