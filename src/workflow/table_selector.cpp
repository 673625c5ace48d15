#include "table_selector.h"

#include <QComboBox>
#include <QEvent>
#include <QLineEdit>

namespace {

// Drops the wheel over the selector unless it has the focus: a wheel turned while passing
// over the window must not switch the table, nor read it.
class WheelOnlyWithFocus : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Wheel && !static_cast<QWidget *>(watched)->hasFocus()) {
            event->ignore();
            return true;
        }
        return false;
    }
};

} // namespace

void guardTableSelector(QComboBox *selector)
{
    // When editing ends (Return, or the focus leaving) with a text that names an item, an
    // editable combo box makes that item current and reports it as activated, as if it had
    // been picked from the list. That link goes: the typed text stays the selector's text,
    // and only a real choice is reported.
    QObject::disconnect(selector->lineEdit(), &QLineEdit::editingFinished, selector, nullptr);
    // No completion either: it would rewrite "holding registers" into a table name while the
    // operator types.
    selector->setCompleter(nullptr);

    // Clicks and Tab give it the focus, the wheel does not.
    selector->setFocusPolicy(Qt::StrongFocus);
    selector->installEventFilter(new WheelOnlyWithFocus(selector));
}
