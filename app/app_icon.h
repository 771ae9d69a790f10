// The application's icon, drawn in code (the same picture as resources/velmora.svg, which the
// desktop file uses), so no image plug-in is needed at run time.
#pragma once

#include <QIcon>
#include <QImage>

QImage velmora_icon_image(int size);
QIcon velmora_icon();
