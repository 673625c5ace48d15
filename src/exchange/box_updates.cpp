// What requests and their outcomes do to the value boxes: one place decides each box's text,
// the item it came from and whether it holds the operator's typing; the window only shows it.

#include "exchange.h"

#include <algorithm>

void ModbusExchange::boxTyped(int index)
{
    if (index < 0 || index >= BoxCount)
        return;
    BoxContent &box = m_state.boxes[index];
    // Every edit is a moment of its own: a write sent before it no longer holds what the box says.
    box.since = ++m_state.moments;
    if (!box.typed) {
        box.typed = true;
        m_controls.showBox(index, m_controls.boxText(index), true);
    }
}

void ModbusExchange::showOutcome(const SentRequest &request, const ReplyOutcome &outcome)
{
    const auto item = [this, &request](int k) {
        return BoxSource{request.table, request.start() + k, m_state.device, m_state.connection};
    };
    // A read's outcome has a text for every box, "" to empty it; a box that holds something
    // newer than the request keeps it. The device's answer to the operator's Read replaces
    // what was typed before it went out; monitoring's reads leave typed text alone.
    const bool replacesTyping = request.asker == Asker::Operator;
    for (int k = 0; k < outcome.boxes.size(); ++k) {
        const BoxContent &box = m_state.boxes[k];
        if ((box.typed && !replacesTyping) || box.since > request.moment)
            continue;
        const QString &text = outcome.boxes[k];
        showBox(k, text, text.isEmpty() ? BoxSource{} : item(k), request.moment);
    }
    // A confirmed write: its items hold what it sent. A box shows that unless it changed after
    // the write went out, by an edit or by the reply to a later request.
    if (outcome.kind == ReplyOutcome::RegistersWritten) {
        for (int k = 0; k < std::min<int>(request.quantity(), BoxCount); ++k) {
            if (m_state.boxes[k].since <= request.moment)
                showBox(k, itemText(request.pdu, pdu::WriteDataAt, request.table->registers, k), item(k),
                        request.moment);
        }
    }
}

void ModbusExchange::showBox(int index, const QString &text, const BoxSource &source, quint64 since)
{
    m_state.boxes[index] = {source, false, since};
    m_controls.showBox(index, text, false);
}
