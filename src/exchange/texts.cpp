#include "texts.h"

namespace msg {
QString registerValueRange(int box)
{
    return QStringLiteral("%1 must be a whole number from 0 to 65535.").arg(boxName(box));
}
QString coilValueRange(int box) { return QStringLiteral("%1 must be 0 or 1.").arg(boxName(box)); }
QString exceptionName(quint8 code)
{
    switch (code) {
    case 1: return QStringLiteral("Illegal function");
    case 2: return QStringLiteral("Illegal data address");
    case 3: return QStringLiteral("Illegal data value");
    case 4: return QStringLiteral("Server device failure");
    case 5: return QStringLiteral("Acknowledge");
    case 6: return QStringLiteral("Server device busy");
    case 8: return QStringLiteral("Memory parity error");
    case 10: return QStringLiteral("Gateway path unavailable");
    case 11: return QStringLiteral("Gateway target device failed to respond");
    default: return {};
    }
}
} // namespace msg

QString boxName(int box) { return QStringLiteral("Value %1").arg(box); }
