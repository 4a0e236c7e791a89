#pragma once

#include <QIcon>
#include <QPixmap>

// The application icon: an embroidery hoop with a needle and a row of stitches, drawn as
// vectors so it stays sharp at every size.
QIcon appIcon();
QPixmap appIconPixmap(int size);
