#include "app/LockKeyIndicators.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QStatusBar>
#include <QTimer>

#ifdef QUORVEL_HAVE_X11
#include <QtGui/qguiapplication_platform.h>

#include <X11/XKBlib.h>
// Xlib's macros clash with Qt's event names.
#undef KeyPress
#undef KeyRelease
#undef None
#endif

namespace quorvel {

namespace {

struct Indicators
{
    Q_DECLARE_TR_FUNCTIONS(Indicators)
};

// Polling catches locks toggled while another application had the keyboard.
constexpr int kPollMilliseconds = 500;

#ifdef QUORVEL_HAVE_X11
Display *x11Display()
{
    auto *app = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return app ? app->display() : nullptr;
}

// Indicator names as the keyboard extension publishes them; their bit positions differ
// between keymaps, so look them up by name.
const char *indicatorName(LockKey key)
{
    switch (key) {
    case LockKey::Caps: return "Caps Lock";
    case LockKey::Num: return "Num Lock";
    case LockKey::Scroll: return "Scroll Lock";
    }
    return "";
}
#endif

} // namespace

CLockKeyIndicators::CLockKeyIndicators(QStatusBar *statusBar)
    : QObject(statusBar)
{
    const QString texts[] = {Indicators::tr("CAP"), Indicators::tr("NUM"), Indicators::tr("SCRL")};
    // A blank pane reads as nothing; its name says which lock it stands for.
    const QString names[] = {Indicators::tr("Caps Lock"), Indicators::tr("Num Lock"),
                             Indicators::tr("Scroll Lock")};
    for (int i = 0; i < 3; ++i) {
        auto *label = new QLabel(statusBar);
        label->setObjectName(QStringLiteral("indicator") + texts[i]);
        label->setAccessibleName(names[i]);
        label->setAlignment(Qt::AlignCenter);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        // A pane keeps the width of its text, so the bar does not jump when a lock changes.
        const int width = label->fontMetrics().horizontalAdvance(texts[i]) + 12;
        label->setFixedWidth(width);
        label->setProperty("indicatorText", texts[i]);
        statusBar->addPermanentWidget(label);
        m_panes[i] = label;
    }

    Refresh();
    if (QueryLockState(LockKey::Caps).has_value()) {
        m_deferred = new QTimer(this);
        m_deferred->setSingleShot(true);
        m_deferred->setInterval(0);
        connect(m_deferred, &QTimer::timeout, this, &CLockKeyIndicators::Refresh);
        qApp->installEventFilter(this);
        m_timer = new QTimer(this);
        m_timer->setInterval(kPollMilliseconds);
        connect(m_timer, &QTimer::timeout, this, &CLockKeyIndicators::Refresh);
        m_timer->start();
    }
}

CLockKeyIndicators::~CLockKeyIndicators()
{
    if (qApp)
        qApp->removeEventFilter(this);
}

std::optional<bool> CLockKeyIndicators::QueryLockState(LockKey key)
{
#ifdef QUORVEL_HAVE_X11
    Display *display = x11Display();
    if (!display)
        return std::nullopt;
    const Atom atom = XInternAtom(display, indicatorName(key), True);
    if (atom == 0)
        return std::nullopt;
    Bool on = False;
    if (!XkbGetNamedIndicator(display, atom, nullptr, &on, nullptr, nullptr))
        return std::nullopt;
    return on != False;
#else
    Q_UNUSED(key);
    return std::nullopt;
#endif
}

void CLockKeyIndicators::Refresh()
{
    for (int i = 0; i < 3; ++i) {
        const std::optional<bool> on = QueryLockState(static_cast<LockKey>(i));
        m_panes[i]->setText(on.value_or(false) ? m_panes[i]->property("indicatorText").toString()
                                               : QString());
        m_panes[i]->setAccessibleDescription(!on ? QString()
                                             : *on ? Indicators::tr("on")
                                                   : Indicators::tr("off"));
    }
}

bool CLockKeyIndicators::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ApplicationActivate:
        // The server updates the lock state after the key event reaches us; one refresh
        // serves the whole chain of widgets that the event is offered to.
        m_deferred->start();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace quorvel
