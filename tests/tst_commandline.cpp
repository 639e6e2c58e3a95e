// The panel's command line, run as an operator would run it: without a display,
// so anything that reaches for one fails. The tools read theirs the same way.

#include "Version.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTest>

constexpr int kStillRunning = -1;

class CommandLineTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void answersWithoutADisplay_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out"); // regular expressions, matched whole
        QTest::addColumn<QString>("err");
        const QString version = QStringLiteral(TQ905_VERSION).replace(u'.', QStringLiteral("\\."));
        const QString usage = QStringLiteral("tq905-panel: [^\n]+ Usage: tq905-panel [^\n]+\n");
        QTest::newRow("--version") << "--version" << 0 << "tq905-panel " + version + "\n"
                                   << "";
        QTest::newRow("-h") << "-h" << 0 << "Usage: \\S+ \\[options\\]\n.+"
                            << "";
        QTest::newRow("--bogus") << "--bogus" << 2 << "" << usage;
        QTest::newRow("stray") << "stray" << 2 << "" << usage;
        // Qt's own options reach the application object, which comes up offscreen.
        QTest::newRow("-platform offscreen")
            << "-platform offscreen -style fusion -reverse" << kStillRunning << ".*"
            << ".*";
    }

    void answersWithoutADisplay()
    {
        QFETCH(QString, arguments);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QString::fromLatin1(variable));
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(TQ905_PANEL), arguments.split(u' '));
        const bool ended = process.waitForFinished(status == kStillRunning ? 1500 : 10000);
        if (!ended)
            process.kill();
        process.waitForFinished();
        // Lines end as the platform's text files do.
        const auto lines = [](const QByteArray &bytes) {
            return QString::fromLocal8Bit(bytes).replace(QStringLiteral("\r\n"),
                                                         QStringLiteral("\n"));
        };
        const QString printed = lines(process.readAllStandardOutput());
        const QString complained = lines(process.readAllStandardError());
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
};

QTEST_MAIN(CommandLineTest)
#include "tst_commandline.moc"
