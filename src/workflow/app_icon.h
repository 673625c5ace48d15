#pragma once

#include <QIcon>
#include <QImage>

// The program's 16 x 16 icon: "TCP" in near-white pixel letters on a blue field, with a
// rule under the word. scale > 1 enlarges it pixel for pixel, without blurring.
QImage appIconImage(int scale = 1);
QIcon appIcon();

// The name under which the desktop entry, the theme icons and the AppStream data are
// installed (resources/). Wayland compositors match the window to its desktop entry by it.
inline const QString AppId = QStringLiteral("io.github.modbus_tcp.ModbusTcp");
