// What a screen reader hears of the window. The captions on screen are terse ("Select:"
// beside the table list, sixteen unlabelled value boxes), so every control carries a name
// of its own, every label points at the box it describes, and a new status message is
// announced instead of changing silently in a corner of the window.

#include "form1.h"
#include "status_announcer.h"
#include "value_tooltips.h"

#include "exchange/texts.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

void Form1::describeControls()
{
    txtIP->setAccessibleName(QStringLiteral("IP address"));
    txtIP->setToolTip(tooltips::AddressTip);
    txtStartReg->setAccessibleName(QStringLiteral("Start address"));
    txtLengthReg->setAccessibleName(QStringLiteral("Length"));
    cboReg->setAccessibleName(QStringLiteral("Table"));
    // Qt on Linux names a combo box after its current text and leaves its name to the label
    // that points at it, so there the label must say "Table" too; on screen it stays "Select:".
    Label4->setAccessibleName(QStringLiteral("Table"));
    for (int k = 0; k < int(txtReg.size()); ++k)
        txtReg[k]->setAccessibleName(boxName(k));
    lblStatus->setAccessibleName(QStringLiteral("Status"));
    // The buttons keep their captions as names, so the monitoring button is announced as
    // what a press does, "Realtime Monitoring ON" or "OFF".

    // The captions carry no "&": a buddy gives the box its label, never a keyboard shortcut.
    Label1->setBuddy(txtStartReg);
    Label2->setBuddy(txtLengthReg);
    Label3->setBuddy(txtIP);
    Label4->setBuddy(cboReg);
}

void Form1::announceStatus()
{
    // The name stays "Status"; the message is the description, and Qt tells assistive
    // technology of every new description. The same message again (once a second while
    // monitoring) is no news and is not told again.
    if (lblStatus->accessibleDescription() != lblStatus->text()) {
        lblStatus->setAccessibleDescription(lblStatus->text());
        announceStatusMessage(lblStatus, lblStatus->text());
    }
}
