#include "unit_address.h"

#include "adu.h"

std::optional<UnitAddress> splitUnitAddress(const QString &text)
{
    const qsizetype hash = text.indexOf(u'#');
    if (hash < 0)
        return UnitAddress{text, adu::DefaultUnitId};
    const QStringView digits = QStringView(text).mid(hash + 1).trimmed();
    if (digits.isEmpty() || digits.size() > 3)
        return std::nullopt;
    uint unit = 0;
    for (QChar c : digits) {
        if (c < u'0' || c > u'9') // plain digits only: no sign, no second "#"
            return std::nullopt;
        unit = unit * 10 + (c.unicode() - u'0');
    }
    if (unit > 255)
        return std::nullopt;
    return UnitAddress{text.left(hash), quint8(unit)};
}
