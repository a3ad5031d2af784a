// The messages of Qt and the libraries under it, routed through the program's category, and
// the program's own, as the user sees them.

#include "platform/Logging.h"

#include <QTest>

using namespace quorvel;

namespace {

QStringList g_seen;

// Stands for Qt's own handler, which writes to standard error.
void Capture(QtMsgType, const QMessageLogContext &context, const QString &message)
{
    g_seen << QString::fromLatin1(context.category) + u' ' + message;
}

} // namespace

class TestLogging : public QObject
{
    Q_OBJECT

private slots:
    void routed();
};

void TestLogging::routed()
{
    qInstallMessageHandler(Capture);
    RouteLibraryMessages();
    static const QLoggingCategory imageIo("qt.gui.imageio");

    qCWarning(imageIo).noquote() << "libpng warning: iCCP";
    qCWarning(lcGame).noquote() << "the folder is gone";
    QCOMPARE(g_seen, QStringList{"quorvel.game the folder is gone"});

    g_seen.clear();
    QLoggingCategory::setFilterRules(QStringLiteral("quorvel.qt.debug=true"));
    qCWarning(imageIo).noquote() << "libpng warning: iCCP";
    QCOMPARE(g_seen, QStringList{"quorvel.qt qt.gui.imageio: libpng warning: iCCP"});
}

QTEST_GUILESS_MAIN(TestLogging)
#include "tst_logging.moc"
