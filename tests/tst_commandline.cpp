// The three programs' command line, run as an operator would run them: without a
// display, so anything that reaches for one fails.

#include <QProcess>
#include <QRegularExpression>
#include <QTest>

class CommandLineTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void answersWithoutADisplay_data();
    void answersWithoutADisplay();
};

constexpr int kStillRunning = -1;

void CommandLineTest::answersWithoutADisplay_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out"); // regular expressions, matched whole
    QTest::addColumn<QString>("err");
    const QString version = QStringLiteral(TQ905_VERSION).replace(u'.', QStringLiteral("\\."));
    const QList<QPair<QString, QString>> programs{
        {"tq905-panel", TQ905_PANEL}, {"tq905-demo", TQ905_DEMO}, {"tq905-board", TQ905_BOARD}};
    for (const auto &[name, path] : programs) {
        const QString usage = QStringLiteral("%1: [^\n]+ Usage: %1 [^\n]+\n").arg(name);
        const QByteArray row = name.toLatin1();
        QTest::addRow("%s --version", row.constData())
            << path << "--version" << 0 << QStringLiteral("%1 %2\n").arg(name, version) << "";
        QTest::addRow("%s -h", row.constData())
            << path << "-h" << 0 << "Usage: \\S+ \\[options\\]\n.+"
            << "";
        QTest::addRow("%s --bogus", row.constData()) << path << "--bogus" << 2 << "" << usage;
        QTest::addRow("%s stray", row.constData()) << path << "stray" << 2 << "" << usage;
        // Qt's own options reach the application object, which comes up offscreen.
        QTest::addRow("%s -platform offscreen", row.constData())
            << path << "-platform offscreen -style fusion -reverse" << kStillRunning << ".*"
            << ".*";
    }
}

void CommandLineTest::answersWithoutADisplay()
{
    QFETCH(QString, program);
    QFETCH(QString, arguments);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(variable));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments.split(u' '));
    const bool ended = process.waitForFinished(status == kStillRunning ? 1500 : 10000);
    if (!ended)
        process.kill();
    process.waitForFinished();
    const QString printed = QString::fromLocal8Bit(process.readAllStandardOutput());
    const QString complained = QString::fromLocal8Bit(process.readAllStandardError());
    QVERIFY2(ended == (status != kStillRunning), qPrintable(complained));
    if (ended) {
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), status);
    }
    for (const auto &[pattern, text] : {std::pair(out, printed), std::pair(err, complained)}) {
        const QRegularExpression whole(QRegularExpression::anchoredPattern(pattern),
                                       QRegularExpression::DotMatchesEverythingOption);
        QVERIFY2(whole.match(text).hasMatch(), qPrintable(text));
    }
}

QTEST_MAIN(CommandLineTest)
#include "tst_commandline.moc"
