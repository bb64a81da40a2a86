#pragma once
// The program's own pictures: the window icon and the About bitmap, drawn
// by ui/resources/make_art.cpp and built in as Qt resources.

#include <QIcon>
#include <QPixmap>

QIcon FlashIcon();
QPixmap AboutBitmap();
