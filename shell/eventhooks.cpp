#include "shell/eventhooks.h"

#include <QAction>
#include <QKeyEvent>
#include <QWidget>

namespace {

class EventHook : public QObject {
 public:
  EventHook(QWidget* widget, QEvent::Type type, std::function<bool()> handler)
      : QObject(widget), type_(type), handler_(std::move(handler)) {}

 protected:
  bool eventFilter(QObject*, QEvent* event) override { return event->type() == type_ && handler_(); }

 private:
  QEvent::Type type_;
  std::function<bool()> handler_;
};

class ShortcutClaim : public QObject {
 public:
  ShortcutClaim(QWidget* widget, const QList<QAction*>& actions) : QObject(widget), actions_(actions) {}

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    return event->type() == QEvent::ShortcutOverride && ClaimedByShortcut(event, actions_);
  }

 private:
  QList<QAction*> actions_;
};

}  // namespace

void OnEvent(QWidget* widget, QEvent::Type type, std::function<bool()> handler) {
  widget->installEventFilter(new EventHook(widget, type, std::move(handler)));
}

bool ClaimedByShortcut(QEvent* event, const QList<QAction*>& actions) {
  const auto* key = static_cast<QKeyEvent*>(event);
  const QKeySequence pressed(QKeyCombination(key->modifiers() & ~Qt::KeypadModifier, Qt::Key(key->key())));
  for (const QAction* a : actions) {
    if (a->shortcuts().contains(pressed)) {
      event->ignore();
      return true;
    }
  }
  return false;
}

void ClaimShortcuts(QWidget* widget, const QList<QAction*>& actions) {
  widget->installEventFilter(new ShortcutClaim(widget, actions));
}
