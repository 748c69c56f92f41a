// The texts of a window that exist in English and in Russian, as one table
// per window, and the function that sets them.
#pragma once

#include <QString>

#include <functional>
#include <span>

class QWidget;

struct Caption {
  enum What {
    Text,   // the caption of a control, menu or menu item
    Hint,   // its tool tip
    Title,  // the window's own caption (the row names the window)
  };
  const char* name;  // the objectName of the window, control, menu or item
  What what;
  const char* english;  // UTF-8
  const char* russian;  // UTF-8
};

// Sets every text of `table` on the objects of `window` (never on those of
// a dialog it owns), in Russian or in English. A Title row goes to
// `setTitle` when given, else to the window's title.
void ApplyCaptions(QWidget* window, std::span<const Caption> table, bool russian,
                   const std::function<void(const QString&)>& setTitle = {});
