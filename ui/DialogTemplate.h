#pragma once
// What the program's forms and dialogs share about their templates: controls are known by
// their template ids, places are given in dialog units, and each template is a table of rows
// from which its controls are made.

#include <QRect>
#include <QString>
#include <QWidget>

#include <functional>
#include <span>

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

enum class EControlKind {
    Label,       // black on an opaque light grey, word-wrapped (the hosted label's stored look)
    Slider,      // 1 to 9
    GroupBox,
    CheckBox,
    PushButton,
    FaceFrame,   // a CFaceFrame
    VerticalScrollBar,
    HorizontalScrollBar,
    Custom,      // made by the owner's factory
};

// One control of a template.
struct CTemplateControl
{
    int id; // 0: nothing refers to the control
    EControlKind kind;
    int x, y, cx, cy; // dialog units
    const char *text = nullptr;
    // For a screen reader, where the caption does not name the control (null: the caption).
    const char *accessibleName = nullptr;
    // The type of a label or button: its size in points (0: the owner's) and weight.
    double pointSize = 0;
    bool bold = false;
};

// Makes the controls the template's own code knows how to make, or returns null to have the
// usual control of the row's kind made.
using ControlFactory = std::function<QWidget *(const CTemplateControl &row, QWidget *owner)>;

// Creates a template's controls on the owner in the rows' order (their tab order), each named
// for its id (ControlName) and placed by its rectangle, with its caption, type and accessible
// name. Texts are translated in the given context.
void CreateTemplateControls(QWidget *owner, std::span<const CTemplateControl> rows,
                            const char *context, const ControlFactory &factory = {});

} // namespace quorvel
