// The program's own pictures, drawn at run time.
#pragma once

#include <QPixmap>

QPixmap FolderPicture();       // 16 x 16, the browse buttons
QPixmap PlaceholderPicture();  // 145 x 143, the empty preview pane
QPixmap LogoPicture();         // 170 x 60, the About box
