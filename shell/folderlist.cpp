#include "shell/folderlist.h"

#include "engine/roots.h"
#include "platform/fs.h"
#include "platform/ui.h"
#include "shell/captions.h"

#include <QAction>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>

namespace {

// The dialog's texts in its two languages: English from its design, Russian
// set on activation while the interface is Russian. "-" and "ОK" (a
// Cyrillic O) read the same in both.
const Caption kCaptions[] = {
    {"TForm2", Caption::Title, "Folders to scan", "Укажите места поиска"},
    {"Button1", Caption::Text, "+ Folder", "+ Папку"},
    {"Button5", Caption::Text, "Clear All", "Очистить"},
    {"Button4", Caption::Text, "Cancel", "Отмена"},
    {"Edit1", Caption::Text, "Edit", "Изменить"},
    {"Add1", Caption::Text, "Add Folder", "Добавить папку"},
    {"DeleteItem1", Caption::Text, "Delete Selected", "Удалить выбранные"},
    {"SelectAll1", Caption::Text, "Select All", "Выбрать всё"},
};

}  // namespace

TForm2::TForm2(Ui& ui, std::function<bool()> russian, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      ui_(ui),
      russian_(std::move(russian)) {
  setObjectName(QStringLiteral("TForm2"));
  setFixedSize(397, 182);
  setModal(true);

  ListBox1 = new QListWidget(this);
  ListBox1->setObjectName(QStringLiteral("ListBox1"));
  ListBox1->setSelectionMode(QAbstractItemView::ExtendedSelection);
  ListBox1->setGeometry(8, 8, 381, 137);
  QFont listFont = ListBox1->font();
  listFont.setBold(true);
  ListBox1->setFont(listFont);
  ListBox1->setContextMenuPolicy(Qt::CustomContextMenu);
  ListBox1->installEventFilter(this);
  ListBox1->viewport()->installEventFilter(this);  // double clicks, on an entry or below the last one

  auto button = [this](const char* name, const char* caption, int x, int w) {
    QPushButton* b = new QPushButton(QString::fromUtf8(caption), this);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(x, 152, w, 25);
    b->setAutoDefault(false);
    QFont f = b->font();
    f.setBold(true);
    b->setFont(f);
    return b;
  };
  Button3 = button("Button3", "ОK", 8, 75);
  Button1 = button("Button1", "", 112, 73);
  Button2 = button("Button2", "-", 188, 25);
  Button5 = button("Button5", "", 216, 73);
  Button4 = button("Button4", "", 315, 75);
  setTabOrder(ListBox1, Button1);
  setTabOrder(Button1, Button2);
  setTabOrder(Button2, Button3);
  setTabOrder(Button3, Button4);
  setTabOrder(Button4, Button5);

  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  auto item = [this](const char* name, const QKeySequence& key) {
    QAction* a = PopupMenu1->addAction(QString());
    a->setObjectName(QString::fromLatin1(name));
    a->setShortcut(key);
    a->setShortcutContext(Qt::WidgetShortcut);
    ListBox1->addAction(a);
    return a;
  };
  Edit1 = item("Edit1", QKeySequence(Qt::Key_Space));
  PopupMenu1->addSeparator()->setObjectName(QStringLiteral("N2"));
  Add1 = item("Add1", QKeySequence(Qt::Key_Insert));
  DeleteItem1 = item("DeleteItem1", QKeySequence(Qt::Key_Delete));
  PopupMenu1->addSeparator()->setObjectName(QStringLiteral("N1"));
  SelectAll1 = item("SelectAll1", QKeySequence(Qt::CTRL | Qt::Key_A));

  connect(Button3, &QPushButton::clicked, this, &TForm2::Button3Click);
  connect(Button1, &QPushButton::clicked, this, &TForm2::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TForm2::Button2Click);
  connect(Button5, &QPushButton::clicked, this, &TForm2::Button5Click);
  connect(Button4, &QPushButton::clicked, this, &TForm2::Button4Click);
  connect(Edit1, &QAction::triggered, this, &TForm2::ListBox1DblClick);
  connect(Add1, &QAction::triggered, this, &TForm2::Button1Click);
  connect(DeleteItem1, &QAction::triggered, this, &TForm2::Button2Click);
  connect(SelectAll1, &QAction::triggered, this, &TForm2::SelectAll1Click);
  connect(ListBox1, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenu1->popup(ListBox1->viewport()->mapToGlobal(at)); });
  ApplyCaptions(this, kCaptions, false);
}

QStringList TForm2::entries() const {
  QStringList list;
  for (int i = 0; i < ListBox1->count(); ++i) list.append(ListBox1->item(i)->text());
  return list;
}

void TForm2::setEntries(const QStringList& entries) {
  ListBox1->clear();
  ListBox1->addItems(entries);
}

void TForm2::editFolders(QLineEdit* field) {
  setEntries(SplitFoldersText(field->text()));
  field_ = field;
  exec();
  field_ = nullptr;
}

QString TForm2::BrowseForFolder(const QString& title, int /*flags: file-system folders only*/) {
  return ui_.browseForFolder(this, title);
}

void TForm2::Button3Click() {
  if (field_) field_->setText(JoinFoldersText(entries()));
  accept();
}

void TForm2::Button1Click() {
  QString path = BrowseForFolder(QString(), 1);
  if (path.isEmpty()) return;
  if (!path.endsWith(fs::kSeparator)) path += fs::kSeparator;
  if (!entries().contains(path, Qt::CaseSensitive)) ListBox1->addItem(path);
}

void TForm2::ListBox1DblClick() {
  QListWidgetItem* current = ListBox1->currentItem();
  if (!current) return;
  QString path = BrowseForFolder(QString(), 1);
  if (path.isEmpty()) return;
  if (!path.endsWith(fs::kSeparator)) path += fs::kSeparator;
  current->setText(path);
}

void TForm2::Button2Click() {
  const int current = ListBox1->currentRow();
  for (QListWidgetItem* item : ListBox1->selectedItems()) delete item;
  ListBox1->clearSelection();
  const int count = ListBox1->count();
  if (count == 0) return;
  // The entry before the former current one; the first when there is none
  // before it, the last when the list became too short.
  const int select = std::clamp(current - 1, 0, count - 1);
  ListBox1->setCurrentRow(select);
}

void TForm2::Button5Click() { ListBox1->clear(); }

void TForm2::SelectAll1Click() { ListBox1->selectAll(); }

void TForm2::Button4Click() { reject(); }

void TForm2::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    Button4Click();
    return;
  }
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    if (auto* button = qobject_cast<QPushButton*>(focusWidget()))
      button->click();
    else
      Button3Click();
    return;
  }
  QDialog::keyPressEvent(event);
}

bool TForm2::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ListBox1 && event->type() == QEvent::ShortcutOverride) {
    // The list's menu keys act before the list's own handling of them.
    const auto* key = static_cast<QKeyEvent*>(event);
    const QKeySequence pressed(key->keyCombination());
    for (QAction* a : {Edit1, Add1, DeleteItem1, SelectAll1}) {
      if (a->shortcut() == pressed) {
        event->ignore();
        return true;
      }
    }
  }
  if (watched == ListBox1->viewport() && event->type() == QEvent::MouseButtonDblClick &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    // Anywhere in the list: the current entry is replaced, also when the
    // click was on the empty space below the entries.
    QDialog::eventFilter(watched, event);
    ListBox1DblClick();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

void TForm2::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
}

void TForm2::FormActivate() {
  if (!russian_ || !russian_()) return;
  ApplyCaptions(this, kCaptions, true);
}
