#include "tables.h"

#include "texts.h"

namespace table {

const TableInfo HoldingRegisters{u"Holding Registers", 3, 16, true, u"Holding register", '4', msg::NotConnectedBang};
const TableInfo CoilOutputs{u"Coil Outputs", 1, 15, false, u"Coil", '0', msg::NotConnected};
const TableInfo DigitalInputs{u"Digital Inputs", 2, 0, false, u"Discrete input", '1', msg::NotConnected};
const TableInfo InputRegisters{u"Input Registers", 4, 0, true, u"Input register", '3', msg::NotConnected};

const TableInfo *named(QStringView selectorText)
{
    for (const TableInfo *t : All) {
        if (t->name == selectorText)
            return t;
    }
    return nullptr;
}

const TableInfo *ofFunction(quint8 functionCode)
{
    for (const TableInfo *t : All) {
        if (t->readFunction == functionCode || (t->writable() && t->writeFunction == functionCode))
            return t;
    }
    return nullptr;
}

} // namespace table
