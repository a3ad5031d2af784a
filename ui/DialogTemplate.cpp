#include "ui/DialogTemplate.h"

#include "ui/FaceFrame.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>

#include <algorithm>

namespace quorvel {

namespace {

void ApplyType(QWidget *control, const CTemplateControl &row)
{
    if (row.pointSize <= 0 && !row.bold)
        return;
    QFont font = control->font();
    if (row.pointSize > 0)
        font.setPointSizeF(row.pointSize);
    font.setWeight(row.bold ? QFont::Bold : QFont::Normal);
    control->setFont(font);
}

QLabel *CreateLabel(const QString &text, QWidget *owner)
{
    auto *label = new QLabel(text, owner);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setAutoFillBackground(true);
    QPalette colours = label->palette();
    colours.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
    colours.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(colours);
    return label;
}

// A caption never cuts a word short, whatever font the system puts in place of the
// template's: a label too narrow for its longest word grows to the right.
void WidenToLongestWord(QLabel *label)
{
    const QFontMetrics metrics(label->font());
    int longest = 0;
    for (const QString &word : label->text().split(QLatin1Char(' ')))
        longest = std::max(longest, metrics.horizontalAdvance(word));
    const int wanted = longest + 2 * label->margin() + 2;
    if (label->width() < wanted)
        label->resize(wanted, label->height());
}

QSlider *CreateSlider(QWidget *owner)
{
    auto *slider = new QSlider(Qt::Horizontal, owner);
    slider->setRange(1, 9);
    slider->setSingleStep(1);
    slider->setPageStep(5);
    slider->setTickPosition(QSlider::TicksBelow);
    slider->setTickInterval(1);
    return slider;
}

QWidget *CreateControl(const CTemplateControl &row, const QString &text, QWidget *owner)
{
    switch (row.kind) {
    case EControlKind::Label:
        return CreateLabel(text, owner);
    case EControlKind::Slider:
        return CreateSlider(owner);
    case EControlKind::GroupBox:
        return new QGroupBox(owner);
    case EControlKind::CheckBox:
        return new QCheckBox(text, owner);
    case EControlKind::PushButton: {
        auto *button = new QPushButton(text, owner);
        button->setAutoDefault(false);
        return button;
    }
    case EControlKind::FaceFrame:
        return new CFaceFrame(row.id, owner);
    case EControlKind::VerticalScrollBar:
        return new QScrollBar(Qt::Vertical, owner);
    case EControlKind::HorizontalScrollBar:
        return new QScrollBar(Qt::Horizontal, owner);
    case EControlKind::Custom:
        break;
    }
    return new QWidget(owner);
}

} // namespace

QString ControlName(int id)
{
    return QStringLiteral("ctl%1").arg(id);
}

QRect DialogUnitsToPixels(const QWidget *widget, const QRect &units)
{
    // Measured as the window system measures dialog units: the letters' average width,
    // rounded, rather than the font's nominal average, which for many fonts is narrower than
    // real text and would cut the captions short.
    const QFontMetrics metrics = widget->fontMetrics();
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    const int across = std::max(1, (letters / 26 + 1) / 2);
    const int down = metrics.height();
    const auto x = [across](int value) { return (value * across + 2) / 4; };
    const auto y = [down](int value) { return (value * down + 4) / 8; };
    // Edges rather than sizes, so controls that meet in the template meet on screen too.
    const int left = x(units.x());
    const int top = y(units.y());
    const int right = x(units.x() + units.width());
    const int bottom = y(units.y() + units.height());
    return QRect(left, top, right - left, bottom - top);
}

void CreateTemplateControls(QWidget *owner, std::span<const CTemplateControl> rows,
                            const char *context, const ControlFactory &factory)
{
    const auto translated = [context](const char *text) {
        return text ? QCoreApplication::translate(context, text) : QString();
    };
    for (const CTemplateControl &row : rows) {
        QWidget *control = factory ? factory(row, owner) : nullptr;
        if (!control)
            control = CreateControl(row, translated(row.text), owner);
        if (row.id != 0)
            control->setObjectName(ControlName(row.id));
        if (row.accessibleName)
            control->setAccessibleName(translated(row.accessibleName));
        ApplyType(control, row);
        control->setGeometry(
            DialogUnitsToPixels(owner, QRect(row.x, row.y, row.cx, row.cy)));
        if (auto *label = qobject_cast<QLabel *>(control); label && row.kind == EControlKind::Label)
            WidenToLongestWord(label);
    }
}

} // namespace quorvel
