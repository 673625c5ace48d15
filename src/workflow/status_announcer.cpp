// Screen readers speak what happens at the keyboard focus and pass over changes elsewhere in
// a window: Orca drops a new name or description of the status line, which never has the
// focus. What Orca does speak from anywhere is a notification that appears, as it does for
// desktop notifications. So each new message is also shown by an empty notification object
// inside the status line, named after the message: readers announce it, and on screen
// nothing changes.

#include "status_announcer.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QTimer>
#include <QWidget>

namespace {

class Announcement : public QWidget
{
    Q_OBJECT
public:
    explicit Announcement(QWidget *statusLine) : QWidget(statusLine)
    {
        static const bool roleGiven = [] {
            QAccessible::installFactory(&notificationFor);
            return true;
        }();
        Q_UNUSED(roleGiven);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setGeometry(0, 0, 0, 0);
        hide(); // shown with the first message, not with the window
    }

private:
    static QAccessibleInterface *notificationFor(const QString &, QObject *object)
    {
        if (auto *a = qobject_cast<Announcement *>(object))
            return new QAccessibleWidget(a, QAccessible::Notification);
        return nullptr;
    }
};

} // namespace

void announceStatusMessage(QWidget *statusLine, const QString &text)
{
    auto *a = statusLine->findChild<Announcement *>(QString(), Qt::FindDirectChildrenOnly);
    if (!a)
        a = new Announcement(statusLine);
    // Said once the handler that set the message is done. Connecting and disconnecting
    // disable the button that has the focus, and a reader speaks the focus's move to the
    // next control, cutting short whatever it was saying; the outcome is said after that.
    QTimer::singleShot(0, a, [a, text] {
        a->setAccessibleName(text);
        a->hide(); // appearing is what readers announce
        a->show();
    });
}

#include "status_announcer.moc"
