#include "Logging.h"

#include <QString>

#include <cstring>

Q_LOGGING_CATEGORY(lcPlatform, "quorvel.platform", QtWarningMsg)
Q_LOGGING_CATEGORY(lcGame, "quorvel.game", QtWarningMsg)
Q_LOGGING_CATEGORY(lcCompany, "quorvel.company", QtWarningMsg)
Q_LOGGING_CATEGORY(lcStore, "quorvel.store", QtWarningMsg)
Q_LOGGING_CATEGORY(lcImage, "quorvel.image", QtWarningMsg)
Q_LOGGING_CATEGORY(lcUi, "quorvel.ui", QtWarningMsg)
Q_LOGGING_CATEGORY(lcApp, "quorvel.app", QtWarningMsg)
Q_LOGGING_CATEGORY(lcQt, "quorvel.qt", QtInfoMsg)

namespace quorvel {

namespace {

QtMessageHandler g_nextHandler = nullptr;

void RouteMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const char *category = context.category ? context.category : "default";
    if (type == QtFatalMsg || std::strncmp(category, "quorvel.", 8) == 0) {
        g_nextHandler(type, context, message);
        return;
    }
    if (!lcQt().isDebugEnabled())
        return;
    const QMessageLogContext routed(context.file, context.line, context.function,
                                    lcQt().categoryName());
    g_nextHandler(QtDebugMsg, routed, QStringLiteral("%1: %2").arg(QLatin1String(category), message));
}

} // namespace

void RouteLibraryMessages()
{
    if (g_nextHandler)
        return;
    g_nextHandler = qInstallMessageHandler(RouteMessage);
}

} // namespace quorvel
