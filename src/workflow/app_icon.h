#pragma once

#include <QIcon>
#include <QImage>

// The program's 16 x 16 icon: "TCP" in near-white pixel letters on a blue field, with a
// rule under the word. scale > 1 enlarges it pixel for pixel, without blurring.
QImage appIconImage(int scale = 1);
QIcon appIcon();
