// What the value boxes hold. A reply fills a box with the value of one item, and the box
// remembers which item that was, so that its tooltip names the item whatever the start
// address and the table say by then. A box the operator has typed into since it was last
// filled keeps the typed text, so that monitoring does not overwrite a value being typed for
// a write; it shows in italics and says so, until a manual read or a confirmed write makes
// the device's values the boxes' contents again.

#include "form1.h"
#include "tip_on_demand.h"
#include "value_tooltips.h"

#include <QLineEdit>

void Form1::connectValueBoxes()
{
    for (int k = 0; k < BoxCount; ++k) {
        // textEdited comes only from the operator's typing, never from setText.
        connect(txtReg[k], &QLineEdit::textEdited, this, [this, k] { setTyped(k, true); });
        new TipOnDemand(txtReg[k], [this, k] {
            const auto value = [this](int i) {
                return tooltips::BoxValue{m_boxContents[i].source, m_boxContents[i].typed, txtReg[i]->text()};
            };
            return tooltips::valueBoxTip(k, value(k), k + 1 < BoxCount ? value(k + 1) : tooltips::BoxValue{});
        });
    }
}

void Form1::setBoxText(int index, const QString &text, const BoxSource &source)
{
    if (index < 0 || index >= BoxCount || m_boxContents[index].typed)
        return;
    m_boxContents[index].source = source;
    // A monitored device mostly repeats its values. A box that already shows the value is
    // left alone: setting it again would cost a text layout and an accessibility event on
    // every reply, for nothing seen.
    if (txtReg[index]->text() != text)
        txtReg[index]->setText(text);
}

void Form1::setTyped(int index, bool typed)
{
    BoxContents &box = m_boxContents[index];
    if (box.typed == typed)
        return;
    box.typed = typed;
    QFont font = txtReg[index]->font();
    font.setItalic(typed);
    txtReg[index]->setFont(font);
    txtReg[index]->setAccessibleDescription(typed ? tooltips::Typed : QString());
}

void Form1::boxesAfterSend(const SentRequest &request)
{
    // A read the operator asked for brings the device's values into every box; the reads of
    // monitoring leave typed text alone.
    if (request.isRead() && !m_inMonitoringTick) {
        for (int k = 0; k < BoxCount; ++k)
            setTyped(k, false);
    }
}

void Form1::boxesAfterReply(const SentRequest &request, const ReplyOutcome &outcome)
{
    // The device confirmed the write: what the boxes hold is what its items now hold.
    if (outcome.kind != ReplyOutcome::RegistersWritten)
        return;
    for (int k = 0; k < std::min<int>(request.quantity(), BoxCount); ++k) {
        setTyped(k, false);
        m_boxContents[k].source = {request.table(), request.start() + k};
    }
}
