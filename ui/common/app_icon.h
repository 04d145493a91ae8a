// The application's icon, which is also the image of the toolbar's one button.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace fdc::ui {

// A 32 x 32 picture: a page with a pulse train on top and lines of text below.
QPixmap AppIconPixmap(int size = 32);
QIcon AppIcon();

}  // namespace fdc::ui
