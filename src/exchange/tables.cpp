#include "tables.h"

#include "pdu.h"
#include "texts.h"

namespace table {

// Each record on two lines, laid out alike: clang-format would break them apart unevenly.
// clang-format off
const TableInfo HoldingRegisters{u"Holding Registers", pdu::ReadHoldingRegisters, pdu::WriteMultipleRegisters, true,
                                 u"Holding register", '4', msg::NotConnectedBang};
const TableInfo CoilOutputs{u"Coil Outputs", pdu::ReadCoils, pdu::WriteMultipleCoils, false,
                            u"Coil", '0', msg::NotConnected};
const TableInfo DigitalInputs{u"Digital Inputs", pdu::ReadDiscreteInputs, 0, false,
                              u"Discrete input", '1', msg::NotConnected};
const TableInfo InputRegisters{u"Input Registers", pdu::ReadInputRegisters, 0, true,
                               u"Input register", '3', msg::NotConnected};
// clang-format on

const TableInfo *named(QStringView selectorText)
{
    for (const TableInfo *t : All) {
        if (t->name == selectorText)
            return t;
    }
    return nullptr;
}

} // namespace table
