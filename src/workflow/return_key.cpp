#include "return_key.h"

#include <QKeyEvent>
#include <QPushButton>

namespace {

// Qt presses a focused button on Return only when it is an auto-default button, and such a
// button also takes the default button's frame whenever it has the focus. This filter gives
// the keyboard the press without the look.
class ReturnPresses : public QObject
{
public:
    using QObject::QObject;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (!enter || (key->modifiers() & ~Qt::KeypadModifier))
            return false;
        // Held down, the key presses once, as Space does.
        if (!key->isAutoRepeat())
            static_cast<QPushButton *>(watched)->click();
        return true;
    }
};

} // namespace

void returnPressesButton(QPushButton *button) { button->installEventFilter(new ReturnPresses(button)); }
