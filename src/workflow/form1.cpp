#include "form1.h"

#include "table_selector.h"
#include "value_tooltips.h"

#include "platform/qt_window_services.h"
#include "platform/tcp_socket_control.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QLineEdit>
#include <QPalette>

namespace {

SocketControl &socketOrOwn(SocketControl *given, std::unique_ptr<SocketControl> &own, QObject *parent)
{
    if (given)
        return *given;
    own = std::make_unique<TcpSocketControl>(parent);
    return *own;
}

QColor colourOf(StatusColour c)
{
    switch (c) {
    case StatusColour::Green: return QColor(0, 255, 0);
    case StatusColour::Yellow: return QColor(255, 255, 0);
    case StatusColour::Red: return QColor(255, 0, 0);
    case StatusColour::Normal: break;
    }
    return {};
}

} // namespace

Form1::Form1(std::unique_ptr<WindowServices> services, SocketControl *socket, QWidget *parent)
    : QWidget(parent),
      m_services(services ? std::move(services) : std::make_unique<QtWindowServices>(this)),
      Winsock1(socketOrOwn(socket, m_ownSocket, nullptr)),
      TimerRead(1000, this, [this] { TimerRead_Timer(); }),
      TimerTO(this, [this] { TimerTO_Timer(); }),
      m_exchange(*this, Winsock1, TimerTO, *m_services)
{
    buildControls();
    describeControls();
    connectHandlers();
    connectValueBoxes();
}

Form1::~Form1()
{
    // The socket may outlive nothing of ours: disconnect before members go.
    QObject::disconnect(&Winsock1, nullptr, this, nullptr);
}

void Form1::connectHandlers()
{
    connect(cmdConnect, &QPushButton::clicked, this, &Form1::cmdConnect_Click);
    connect(cmdDisconnect, &QPushButton::clicked, this, &Form1::cmdDisconnect_Click);
    connect(cmdRead, &QPushButton::clicked, this, &Form1::cmdRead_Click);
    connect(cmdWrite, &QPushButton::clicked, this, &Form1::cmdWrite_Click);
    connect(cmdRealtime, &QPushButton::clicked, this, &Form1::cmdRealtime_Click);
    // activated is raised only when the operator chooses an item (guardTableSelector).
    connect(cboReg, &QComboBox::activated, this, &Form1::cboReg_Click);
    guardTableSelector(cboReg);
    connect(&Winsock1, &SocketControl::DataArrival, this,
            [this](qint32 bytesTotal) { m_exchange.Winsock1_DataArrival(bytesTotal); });
    connect(&Winsock1, &SocketControl::Lost, this, &Form1::connectionLost);
}

QString Form1::startText() const { return txtStartReg->text(); }
QString Form1::lengthText() const { return txtLengthReg->text(); }

QString Form1::boxText(int index) const
{
    if (index < 0 || index >= int(txtReg.size()))
        return {};
    return txtReg[index]->text();
}

void Form1::setStatus(const StatusLine &status)
{
    lblStatus->setText(status.text);
    QPalette p = lblStatus->palette();
    if (status.colour == StatusColour::Normal)
        p = palette();
    else
        p.setColor(QPalette::Window, colourOf(status.colour));
    // All three colours are light: a dark theme's light text on them cannot be read.
    if (status.colour != StatusColour::Normal)
        p.setColor(QPalette::WindowText, Qt::black);
    // Replies mostly repeat the status already shown; setting an equal palette again would
    // still resolve it against the window's on every reply.
    if (p != lblStatus->palette())
        lblStatus->setPalette(p);
    announceStatus();
}

// The frames on the wire go to the status line's tooltip, as a look at what the message
// above it is about.
void Form1::showFrames(const QByteArray &request, const QByteArray &reply, double roundTripMs)
{
    lblStatus->setToolTip(tooltips::exchangeTip(request, reply, roundTripMs));
}
