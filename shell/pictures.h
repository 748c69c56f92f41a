// The program's own pictures, drawn at run time.
#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>

QPixmap FolderPicture();       // 16 x 16, the browse buttons
QPixmap PlaceholderPicture();  // 145 x 143, the empty preview pane
QPixmap LogoPicture();         // 170 x 60, the About box: the icon and the name

// The application icon (shell/icon.svg, built into the program), drawn
// `size` pixels square; a null image if the picture is missing.
QImage IconImage(int size);
// The icon at the sizes desktops show, for the window icon.
QIcon ApplicationIcon();
