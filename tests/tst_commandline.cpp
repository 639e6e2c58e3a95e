// The three programs' command line, run as an operator would run them: without a
// display, so anything that reaches for one fails.

#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTest>

namespace {

QString program(const QString &name)
{
    if (name == u"tq905-panel")
        return QStringLiteral(TQ905_PANEL);
    return name == u"tq905-demo" ? QStringLiteral(TQ905_DEMO) : QStringLiteral(TQ905_BOARD);
}

void startWithoutDisplay(QProcess &process, const QString &name, const QString &arguments)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(variable));
    process.setProcessEnvironment(environment);
    process.start(program(name), arguments.split(u' ', Qt::SkipEmptyParts));
    QVERIFY(process.waitForStarted());
}

const QStringList kPrograms{QStringLiteral("tq905-panel"), QStringLiteral("tq905-demo"),
                            QStringLiteral("tq905-board")};

} // namespace

class CommandLineTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void endsWithoutADisplay_data();
    void endsWithoutADisplay();
    void qtOptionsStillWork_data();
    void qtOptionsStillWork();
};

void CommandLineTest::endsWithoutADisplay_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out"); // regular expressions, matched whole
    QTest::addColumn<QString>("err");
    const QString version = QStringLiteral(TQ905_VERSION).replace(u'.', QStringLiteral("\\."));
    for (const QString &name : kPrograms) {
        const QString usage = QStringLiteral("%1: [^\n]+ Usage: %1 [^\n]+\n").arg(name);
        const QByteArray row = name.toLatin1();
        QTest::newRow(row + " --version")
            << name << "--version" << 0 << QStringLiteral("%1 %2\n").arg(name, version) << "";
        QTest::newRow(row + " -h") << name << "-h" << 0 << "Usage: \\S+ \\[options\\]\n.+"
                                   << "";
        QTest::newRow(row + " --bogus") << name << "--bogus" << 2 << "" << usage;
        QTest::newRow(row + " stray") << name << "stray" << 2 << "" << usage;
    }
}

void CommandLineTest::endsWithoutADisplay()
{
    QFETCH(QString, name);
    QFETCH(QString, arguments);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QProcess process;
    startWithoutDisplay(process, name, arguments);
    QVERIFY(process.waitForFinished(10000));
    const QString printed = QString::fromLocal8Bit(process.readAllStandardOutput());
    const QString complained = QString::fromLocal8Bit(process.readAllStandardError());
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), status);
    const auto whole = [](const QString &pattern) {
        return QRegularExpression(QRegularExpression::anchoredPattern(pattern),
                                  QRegularExpression::DotMatchesEverythingOption);
    };
    QVERIFY2(whole(out).match(printed).hasMatch(), qPrintable(printed));
    QVERIFY2(whole(err).match(complained).hasMatch(), qPrintable(complained));
}

void CommandLineTest::qtOptionsStillWork_data()
{
    QTest::addColumn<QString>("name");
    for (const QString &name : kPrograms)
        QTest::newRow(name.toLatin1()) << name;
}

// Given to the application object, these bring the program up on the offscreen
// platform; refused, it would end at once.
void CommandLineTest::qtOptionsStillWork()
{
    QFETCH(QString, name);
    QProcess process;
    startWithoutDisplay(process, name,
                        QStringLiteral("-platform offscreen -style fusion -reverse"));
    QVERIFY2(!process.waitForFinished(1500), process.readAllStandardError().constData());
    process.kill();
    process.waitForFinished();
}

QTEST_MAIN(CommandLineTest)
#include "tst_commandline.moc"
