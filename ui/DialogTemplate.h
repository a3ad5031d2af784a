#pragma once
// What the program's forms and dialogs share about their templates: controls are known by
// their template ids, and places are given in dialog units.

#include <QRect>
#include <QString>
#include <QWidget>

namespace quorvel {

// The object name that carries a control's template id: "ctl1035".
QString ControlName(int id);

// The owner's child (at any depth) with that id, or null when it has none.
template<class Widget = QWidget>
Widget *FindControl(const QWidget *owner, int id)
{
    return owner ? owner->findChild<Widget *>(ControlName(id)) : nullptr;
}

// Dialog units to pixels by the widget's font: a quarter of the average letter width across,
// an eighth of the line height down.
QRect DialogUnitsToPixels(const QWidget *widget, const QRect &units);

} // namespace quorvel
