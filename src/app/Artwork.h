#pragma once
// The window's pictures and icon, drawn in code.
#include <QIcon>
#include <QPixmap>

namespace Artwork {
QPixmap brandBanner(int width, int height);  // left picture: the product mark
QPixmap meterPicture(int width, int height); // right picture: a panel meter on a grey ground
QIcon appIcon();
QPixmap iconPixmap(int size);
} // namespace Artwork
