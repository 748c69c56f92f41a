#include "shell/captions.h"

#include <QAbstractButton>
#include <QAction>
#include <QDialog>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>

namespace {

// The dialog or main window `object` belongs to.
const QObject* WindowOf(const QObject* object) {
  for (const QObject* p = object->parent(); p; p = p->parent())
    if (qobject_cast<const QDialog*>(p) || qobject_cast<const QMainWindow*>(p)) return p;
  return nullptr;
}

// The object of `window` named `name`: the main window's dialogs are its
// children and use some of the same names.
QObject* Named(QWidget* window, const QString& name) {
  for (QObject* o : window->findChildren<QObject*>(name))
    if (WindowOf(o) == window) return o;
  return nullptr;
}

void SetText(QObject* object, const QString& text) {
  if (auto* menu = qobject_cast<QMenu*>(object))
    menu->setTitle(text);
  else if (auto* action = qobject_cast<QAction*>(object))
    action->setText(text);
  else if (auto* label = qobject_cast<QLabel*>(object))
    label->setText(text);
  else if (auto* button = qobject_cast<QAbstractButton*>(object))
    button->setText(text);
}

void SetHint(QObject* object, const QString& text) {
  if (auto* action = qobject_cast<QAction*>(object))
    action->setToolTip(text);
  else if (auto* widget = qobject_cast<QWidget*>(object))
    widget->setToolTip(text);
}

}  // namespace

void ApplyCaptions(QWidget* window, std::span<const Caption> table, bool russian,
                   const std::function<void(const QString&)>& setTitle) {
  for (const Caption& c : table) {
    const QString text = QString::fromUtf8(russian ? c.russian : c.english);
    if (c.what == Caption::Title) {
      if (setTitle)
        setTitle(text);
      else
        window->setWindowTitle(text);
      continue;
    }
    QObject* object = Named(window, QString::fromLatin1(c.name));
    Q_ASSERT_X(object, "ApplyCaptions", c.name);
    if (!object) continue;
    if (c.what == Caption::Hint)
      SetHint(object, text);
    else
      SetText(object, text);
  }
}
