#pragma once

#include <QString>
#include <QStringView>
#include <QtGlobal>
#include <array>

// The four data tables of the Modbus data model (Modbus Application Protocol, section 4.3),
// one record each: whatever the senders, the decoding, the tooltips and the selector need to
// know of a table is read from its record, never from a switch on a function code or a name.
struct TableInfo {
    QStringView name;            // the selector's item, compared exactly and case-sensitively
    quint8 readFunction;         // 1, 2, 3 or 4
    quint8 writeFunction;        // 15 or 16; 0 for the read-only tables
    bool registers;              // 16-bit words, or single bits
    QStringView itemName;        // what a tooltip calls one item: "Holding register"
    char referenceDigit;         // the leading digit of device manuals' reference numbers
    const QString &notConnected; // the refusal of a request without a connection

    bool writable() const { return writeFunction != 0; }
};

namespace table {

extern const TableInfo HoldingRegisters;
extern const TableInfo CoilOutputs;
extern const TableInfo DigitalInputs;
extern const TableInfo InputRegisters;
// In the selector's order.
inline constexpr std::array<const TableInfo *, 4> All{&HoldingRegisters, &CoilOutputs, &DigitalInputs, &InputRegisters};

// The table the selector's text names exactly; null for any other text the operator typed.
const TableInfo *named(QStringView selectorText);

} // namespace table
