#include "app_icon.h"

namespace {

// One character a pixel: '#' near-white, '.' blue. The outer rows and columns stay blue.
// A row of the picture a line, which clang-format would pack four to a line.
// clang-format off
constexpr const char *Pixels[16] = {
    "................",
    "................",
    "................",
    "................",
    "................",
    "..###.###.###...",
    "...#..#...#.#...",
    "...#..#...###...",
    "...#..#...#.....",
    "...#..###.#.....",
    "................",
    "..###########...",
    "................",
    "................",
    "................",
    "................",
};
// clang-format on

} // namespace

QImage appIconImage(int scale)
{
    const QColor blue(0, 132, 255);
    const QColor white(237, 241, 245);
    QImage image(16, 16, QImage::Format_RGB32); // no pixel is transparent
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x)
            image.setPixelColor(x, y, Pixels[y][x] == '#' ? white : blue);
    }
    if (scale > 1)
        image = image.scaled(16 * scale, 16 * scale, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    return image;
}

QIcon appIcon()
{
    // Title bars, task bars and switchers use 16 to 64 pixels; the larger sizes live in the
    // installed icon theme, so the running program does not hold them in memory.
    QIcon icon;
    for (int scale : {1, 2, 3, 4})
        icon.addPixmap(QPixmap::fromImage(appIconImage(scale)));
    return icon;
}
