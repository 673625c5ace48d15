#include "qt_window_services.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>

void QtWindowServices::MessageBox(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, ProgramTitle, text, QMessageBox::Ok, m_window);
    box.setWindowModality(Qt::WindowModal);
    box.exec();
}

void QtWindowServices::setBusy(bool busy)
{
    // Waits can nest (a second Connect click during the first one's wait): the pointer
    // goes back to normal only when the outermost ends.
    if (busy) {
        if (m_busyDepth++ == 0)
            QApplication::setOverrideCursor(Qt::WaitCursor);
    } else if (m_busyDepth > 0 && --m_busyDepth == 0) {
        QApplication::restoreOverrideCursor();
    }
}

double QtWindowServices::clockSeconds() const
{
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return double(clock.nsecsElapsed()) / 1e9;
}
