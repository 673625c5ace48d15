#pragma once

#include <QByteArray>
#include <QStringList>

// "00 06 01" -> bytes; blanks are only for the reader (fromHex skips them).
inline QByteArray hex(const char *text) { return QByteArray::fromHex(text); }

// What the sixteen value boxes show: these texts first, the rest empty.
inline QStringList sixteen(QStringList first)
{
    while (first.size() < 16)
        first.append(QString());
    return first;
}

// Texts no reply can put in a box, so that a box a reply emptied or left alone tells.
inline QStringList markerBoxes()
{
    QStringList m;
    for (int k = 0; k < 16; ++k)
        m.append(QStringLiteral("m%1").arg(k));
    return m;
}
