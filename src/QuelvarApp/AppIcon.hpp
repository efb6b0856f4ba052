// The app's icon, drawn in code so the window and tray need no image files at run time.
#pragma once

#include <QIcon>

namespace quelvar {

QIcon appIcon();

}  // namespace quelvar
