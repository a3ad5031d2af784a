// What reaches the user of the messages of Qt and the libraries under it, once they are routed
// through the program's category, and of the program's own.

#include "platform/Logging.h"

#include <QTest>

using namespace quorvel;

namespace {

struct CSeen
{
    QtMsgType type;
    QString category;
    QString text;
};
QList<CSeen> g_seen;

// Stands for Qt's own handler, which writes to standard error.
void Capture(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    g_seen.append({type, QString::fromLatin1(context.category), message});
}

} // namespace

class TestLogging : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { g_seen.clear(); }
    void cleanup() { QLoggingCategory::setFilterRules(QString()); }
    void routed_data();
    void routed();
};

void TestLogging::initTestCase()
{
    qInstallMessageHandler(Capture);
    RouteLibraryMessages();
}

void TestLogging::routed_data()
{
    QTest::addColumn<QString>("rules");
    QTest::addColumn<bool>("ours");     // a line of the program's own category, else Qt's
    QTest::addColumn<QString>("seen");  // the category and text the user sees; empty: nothing

    QTest::newRow("Qt's warning, by default") << QString() << false << QString();
    QTest::newRow("Qt's warning, asked for") << "quorvel.qt.debug=true" << false
                                             << "quorvel.qt qt.gui.imageio: libpng warning: iCCP";
    QTest::newRow("ours, by default") << QString() << true << "quorvel.store the folder is gone";
}

void TestLogging::routed()
{
    QFETCH(QString, rules);
    QFETCH(bool, ours);
    QFETCH(QString, seen);

    QLoggingCategory::setFilterRules(rules);
    static const QLoggingCategory imageIo("qt.gui.imageio");
    if (ours)
        qCWarning(lcStore).noquote() << "the folder is gone";
    else
        qCWarning(imageIo).noquote() << "libpng warning: iCCP";

    QStringList lines;
    for (const CSeen &line : std::as_const(g_seen))
        lines << line.category + u' ' + line.text;
    QCOMPARE(lines, seen.isEmpty() ? QStringList() : QStringList{seen});
}

QTEST_GUILESS_MAIN(TestLogging)
#include "tst_logging.moc"
