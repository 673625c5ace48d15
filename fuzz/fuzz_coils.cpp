// The coil packing of a write: for any texts in the start, length and value boxes, either
// the request is refused naming the first bad field, or it is a sound write multiple coils
// request whose data bits are boxes 0..N-1 in address order, padded with 0. A field counts
// as sound only when its text is wholly a number.
//
// Input: UTF-8 text, fields separated by ';': start address, length, then boxes 0 to 15
// (missing ones are empty).

#include "fuzz_check.h"

#include "exchange/numeric_text.h"
#include "exchange/request_inputs.h"
#include "exchange/texts.h"

#include <cstdint>

namespace {
int be16(const QByteArray &b, int at) { return quint8(b[at]) << 8 | quint8(b[at + 1]); }
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QStringList fields = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size)).split(u';');
    auto field = [&](int i) { return i < fields.size() ? fields[i] : QString(); };
    const QString start = field(0);
    const QString length = field(1);
    int asked = 0;
    const BuiltRequest built = writeCoilsFrom(start, length, [&](int k) {
        FUZZ_CHECK(k >= 0 && k < 16);
        ++asked;
        return field(2 + k);
    });

    // What the texts mean, one field at a time; a write takes only texts that are wholly
    // numbers.
    const auto startWord = numeric::exactWordOf(start);
    const auto lengthValue = numeric::exactValue(length);
    const auto n = lengthValue ? numeric::wholeNumber(*lengthValue) : std::nullopt;
    const bool lengthOk = n && *n >= 0 && *n <= 16;
    int firstBad = -1;
    for (int k = 0; lengthOk && k < *n && firstBad < 0; ++k) {
        const auto v = numeric::exactValue(field(2 + k));
        if (!v || (*v != 0.0 && *v != 1.0))
            firstBad = k;
    }

    if (!startWord) {
        FUZZ_CHECK(built.refusal == msg::StartAddressRange);
    } else if (!lengthOk) {
        FUZZ_CHECK(built.refusal == msg::LengthRange);
    } else if (firstBad >= 0) {
        FUZZ_CHECK(built.refusal == msg::coilValueRange(firstBad));
    } else {
        FUZZ_CHECK(built.ok());
        // The PDU: function code, start, quantity, byte count, the packed bits.
        const QByteArray &r = built.request;
        const int bytes = (*n + 7) / 8;
        FUZZ_CHECK(r.size() == 6 + bytes && quint8(r[0]) == 15);
        FUZZ_CHECK(quint8(r[1]) == startWord->high && quint8(r[2]) == startWord->low);
        FUZZ_CHECK(be16(r, 3) == *n && quint8(r[5]) == bytes);
        for (int k = 0; k < 8 * bytes; ++k) {
            const int bit = (quint8(r[6 + k / 8]) >> (k % 8)) & 1;
            const int want = k < *n && numeric::value(field(2 + k)) == 1.0 ? 1 : 0;
            FUZZ_CHECK(bit == want);
        }
        FUZZ_CHECK(asked >= *n);
        return 0;
    }
    FUZZ_CHECK(!built.ok() && built.request.isEmpty());
    return 0;
}
