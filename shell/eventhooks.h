// Event filters for the one widget that needs each: a handler for one kind
// of event, and the menu keys that act before the focused control sees them.
#pragma once

#include <QEvent>
#include <QList>

#include <functional>

class QAction;
class QWidget;

// Runs `handler` whenever `widget` receives an event of `type`, before the
// widget itself sees it. The widget does not see the event when `handler`
// returns true.
void OnEvent(QWidget* widget, QEvent::Type type, std::function<bool()> handler);

// Whether one of `actions` has the key of `event` (a shortcut override) as
// a shortcut; then the event is left unaccepted, so that the shortcut runs
// and the control does not take the key. A key of the keypad counts as the
// same key elsewhere (keypad Enter).
bool ClaimedByShortcut(QEvent* event, const QList<QAction*>& actions);

// Lets the shortcuts of `actions` act before `widget` sees the key, also
// where the widget has a use of its own for it (Ctrl+Del in a field).
void ClaimShortcuts(QWidget* widget, const QList<QAction*>& actions);
