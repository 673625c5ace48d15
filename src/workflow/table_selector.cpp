#include "table_selector.h"

#include <QComboBox>
#include <QEvent>
#include <QLineEdit>
#include <memory>

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

void guardTableSelector(QComboBox *selector, std::function<void()> onChoice)
{
    // When editing ends (Return or the focus leaving) with a text that names an item, the
    // combo box makes that item current and reports it as activated, as if it had been
    // picked. Its handler for the end of editing is connected to the line edit when the line
    // edit is set, so a handler connected before it and one connected after it bracket that
    // report, and it can be told apart from a real choice.
    auto editing = std::make_shared<bool>(false);
    auto *edit = new QLineEdit(selector);
    auto begin = [editing] { *editing = true; };
    auto end = [editing] { *editing = false; };
    QObject::connect(edit, &QLineEdit::editingFinished, selector, begin);
    QObject::connect(edit, &QLineEdit::returnPressed, selector, begin);
    selector->setLineEdit(edit);
    QObject::connect(edit, &QLineEdit::editingFinished, selector, end);
    QObject::connect(edit, &QLineEdit::returnPressed, selector, end);
    // No completion either (setting the line edit brings one): it would rewrite "holding
    // registers" into a table name while the operator types.
    selector->setCompleter(nullptr);
    QObject::connect(selector, &QComboBox::activated, selector, [editing, onChoice = std::move(onChoice)] {
        if (!*editing)
            onChoice();
    });

    // Clicks and Tab give it the focus, the wheel does not.
    selector->setFocusPolicy(Qt::StrongFocus);
    selector->installEventFilter(new WheelOnlyWithFocus(selector));
}
