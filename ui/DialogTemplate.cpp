#include "ui/DialogTemplate.h"

#include <QFontMetrics>

#include <algorithm>

namespace quorvel {

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

} // namespace quorvel
