// How the value boxes show what they hold. The exchange decides each box's text, the item its
// value came from and whether it holds the operator's typing (see box_updates.cpp); the
// window shows it: typed text in italics, and a tooltip that names the item whatever the
// start address and the table say by then.

#include "form1.h"
#include "tip_on_demand.h"
#include "value_tooltips.h"

#include <QLineEdit>

void Form1::connectValueBoxes()
{
    for (int k = 0; k < BoxCount; ++k) {
        // textEdited comes only from the operator's typing, never from setText.
        connect(txtReg[k], &QLineEdit::textEdited, this, [this, k] { m_exchange.boxTyped(k); });
        new TipOnDemand(txtReg[k], [this, k] {
            const auto value = [this](int i) {
                const BoxContent &box = m_exchange.state().boxes[i];
                return tooltips::BoxValue{box.source, box.typed, txtReg[i]->text()};
            };
            return tooltips::valueBoxTip(k, value(k), k + 1 < BoxCount ? value(k + 1) : tooltips::BoxValue{});
        });
    }
}

void Form1::showBox(int index, const QString &text, bool typed)
{
    QLineEdit *box = txtReg[index];
    // A monitored device mostly repeats its values. A box that already shows the value is
    // left alone: setting it again would cost a text layout and an accessibility event on
    // every reply, for nothing seen.
    if (box->text() != text)
        box->setText(text);
    if (box->font().italic() == typed)
        return;
    QFont font = box->font();
    font.setItalic(typed);
    box->setFont(font);
    box->setAccessibleDescription(typed ? tooltips::Typed : QString());
}
