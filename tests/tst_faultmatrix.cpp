// What the operator sees and what state the panel is left in when the line,
// the device or the operator does the unexpected; after each, the process must
// be idle again.
#include "PanelHarness.h"
#include "ProcessCpu.h"
#include "ScriptedFarEnd.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

QColor indicator(PanelHarness &harness)
{
    return harness.control<QWidget>("Shape1")->property("fillColor").value<QColor>();
}

QStringList messageTexts(PanelHarness &harness)
{
    QStringList texts;
    for (const TQ905Panel::Message &message : harness.takeMessages())
        texts << message.text;
    return texts;
}

// The CPU the process takes over half a second of doing nothing.
std::chrono::microseconds idleCpu()
{
    const auto before = processCpuTime();
    QTest::qWait(500);
    return processCpuTime() - before;
}

void at(std::chrono::milliseconds delay, std::function<void()> action)
{
    QTimer::singleShot(delay, std::move(action));
}

QMessageBox *visibleMessageBox()
{
    for (QWidget *window : QApplication::topLevelWidgets())
        if (auto *box = qobject_cast<QMessageBox *>(window); box && box->isVisible())
            return box;
    return nullptr;
}

} // namespace

class FaultMatrixTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void vanishingDeviceIsToldOnce_data();
    void vanishingDeviceIsToldOnce();
    void openFailuresNameTheReason_data();
    void openFailuresNameTheReason();
    void unreadableDeviceIsRefusedWithTheGroupToJoin();
    void floodWhileIdleIsBoundedAndTheNextQueryWorks();
    void farEndThatStopsReadingIsToldAndLosesNothing();
    void twoHundredNestedQueriesAllEndAndThePanelStillWorks();
    void closingWhileAMessageBoxIsUpEndsEverything_data();
    void closingWhileAMessageBoxIsUpEndsEverything();
    void megabyteInThePortBoxGivesAShortMessage();
};

void FaultMatrixTest::vanishingDeviceIsToldOnce_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::newRow("right after a write") << QByteArray("PORTout");
    QTest::newRow("during a wait") << QByteArray("AD3cmd");
}

void FaultMatrixTest::vanishingDeviceIsToldOnce()
{
    QFETCH(QByteArray, button);
    PanelHarness harness;
    ScriptedFarEnd board(harness.board());
    harness.openPort();
    if (button == "PORTout") {
        harness.click(button.constData());
        board.vanish();
    } else {
        at(50ms, [&] { board.vanish(); });
        harness.click(button.constData());
    }

    QTRY_COMPARE(harness.messages().size(), 1);
    QVERIFY(idleCpu() < 150ms);
    QCOMPARE(harness.messages().size(), 1);
    QVERIFY(harness.messages()[0].text.contains(u"gone away"));
    QVERIFY(!harness.panel().serialLink().portOpen());
    QCOMPARE(indicator(harness), QColor(192, 192, 192));
    QCOMPARE(harness.text("AD3data"), QStringLiteral("0"));
}

void FaultMatrixTest::openFailuresNameTheReason_data()
{
    QTest::addColumn<bool>("heldByAnother");
    QTest::addColumn<QString>("reason");
    QTest::newRow("held open by another program") << true << "in use by another program";
    QTest::newRow("device path does not exist") << false << "no such device";
}

void FaultMatrixTest::openFailuresNameTheReason()
{
    QFETCH(bool, heldByAnother);
    QFETCH(QString, reason);

    PanelHarness harness;
    const QString device = harness.board(3).devicePath();
    SerialLink other;
    if (heldByAnother) {
        other.setDeviceResolver([&](int) { return std::optional<QString>(device); });
        other.setPortOpen(true);
    } else {
        harness.panel().serialLink().setDeviceResolver(
            [](int) { return std::optional<QString>(QStringLiteral("/dev/ttyUSB-not-there")); });
    }
    harness.openPort();

    const QStringList messages = messageTexts(harness);
    QCOMPARE(messages.size(), 1);
    QVERIFY2(messages[0].contains(reason), qPrintable(messages[0]));
    QVERIFY2(messages[0].contains(u"Port 3 (/dev/"), qPrintable(messages[0]));
    QVERIFY(!harness.panel().serialLink().portOpen());
    QCOMPARE(indicator(harness), QColor(192, 192, 192));
    QVERIFY(idleCpu() < 150ms);
}

// Root reads every device, so the check runs as an unprivileged user in a child.
void FaultMatrixTest::unreadableDeviceIsRefusedWithTheGroupToJoin()
{
    PtyPair pty;
    QCOMPARE(::chmod(pty.devicePath().toLocal8Bit().constData(), 0600), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
        SerialLink link;
        link.setDeviceResolver([&](int) { return std::optional<QString>(pty.devicePath()); });
        try {
            link.setPortOpen(true);
            ::_exit(1);
        } catch (const SerialError &error) {
            const bool told = error.kind() == SerialError::Kind::PermissionDenied
                              && error.operatorMessage().contains(u"administrator");
            ::_exit(told ? 0 : 2);
        }
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
}

void FaultMatrixTest::floodWhileIdleIsBoundedAndTheNextQueryWorks()
{
    PanelHarness harness;
    ScriptedFarEnd board(harness.board());
    harness.openPort();
    board.flood(4 << 20);
    QTest::qWait(500);
    QVERIFY(harness.panel().serialLink().inBufferCount() <= SerialLink::kReadBufferBytes);

    // The flood stops; the query throws away what is left and takes its reply.
    board.flood(0);
    board.answerWith({{50ms, "\002X0F3CY"}});
    harness.board().readQuiet(50ms);
    harness.click("INcmd");
    QVERIFY2(harness.messages().isEmpty(), qPrintable(harness.messages().value(0).text));
    QCOMPARE(harness.text("INdataA"), QStringLiteral("0F"));
}

void FaultMatrixTest::farEndThatStopsReadingIsToldAndLosesNothing()
{
    PanelHarness harness;
    harness.openPort();
    int sent = 0;
    while (harness.messages().isEmpty() && sent < 100000) {
        harness.click("B3cmd");
        QCoreApplication::processEvents();
        ++sent;
    }
    const QStringList messages = messageTexts(harness);
    QCOMPARE(messages.size(), 1);
    QVERIFY2(messages[0].contains(u"does not take more data"), qPrintable(messages[0]));
    QVERIFY(harness.panel().serialLink().portOpen());

    // Every frame before the refused one arrives, whole and in order.
    const QByteArray received = harness.board().readQuiet(300ms);
    QByteArray expected;
    for (int i = 0; i < sent - 1; ++i)
        expected += i % 2 == 0 ? "\002B31\r" : "\002B30\r";
    QCOMPARE(received.size(), expected.size());
    QCOMPARE(received, expected);
    QVERIFY(idleCpu() < 150ms);
}

void FaultMatrixTest::twoHundredNestedQueriesAllEndAndThePanelStillWorks()
{
    PanelHarness harness;
    ScriptedFarEnd board(harness.board());
    harness.openPort();
    // Each press arms the next one and then waits inside the waits before it.
    int pressed = 1;
    std::function<void()> pressAgain = [&] {
        if (++pressed < 200)
            at(5ms, pressAgain);
        harness.click(pressed % 2 ? "INcmd" : "AD1cmd");
    };
    at(5ms, pressAgain);
    harness.click("AD1cmd");

    QCOMPARE(pressed, 200);
    // Past the bound each press is refused; every query sent ends in "Receive ERR".
    const QList<TQ905Panel::Message> messages = harness.takeMessages();
    QCOMPARE(messages.size(), 200);
    const auto timedOut = std::count_if(messages.begin(), messages.end(), [](const auto &message) {
        return message.text == u"Receive ERR";
    });
    QCOMPARE(timedOut, qsizetype(TQ905Panel::kMaxNestedQueries));
    QCOMPARE(board.frames().size(), qsizetype(TQ905Panel::kMaxNestedQueries));

    board.answerWith({{10ms, "\002b123b"}});
    harness.click("AD1cmd");
    QCOMPARE(harness.text("AD1data"), QStringLiteral("123"));
    QVERIFY(harness.messages().isEmpty());
    QVERIFY(idleCpu() < 150ms);
}

void FaultMatrixTest::closingWhileAMessageBoxIsUpEndsEverything_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<bool>("openFirst");
    QTest::addColumn<bool>("byExitButton");
    QTest::newRow("close control, Receive ERR box") << QByteArray("AD0cmd") << true << false;
    QTest::newRow("close control, error box") << QByteArray("PORTout") << false << false;
    QTest::newRow("EXIT, error box") << QByteArray("PORTout") << false << true;
}

void FaultMatrixTest::closingWhileAMessageBoxIsUpEndsEverything()
{
    QFETCH(QByteArray, button);
    QFETCH(bool, openFirst);
    QFETCH(bool, byExitButton);

    PanelHarness harness;
    harness.panel().setMessagePresenter({}); // the real modal box
    harness.panel().show();
    QVERIFY(QTest::qWaitForWindowExposed(&harness.panel()));
    if (openFirst)
        harness.openPort();

    bool boxWasUp = false;
    QTimer watcher;
    watcher.setInterval(20);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (!visibleMessageBox())
            return;
        boxWasUp = true;
        watcher.stop();
        // The modal box blocks input to the panel; a close from the system still comes.
        if (byExitButton)
            harness.control<QPushButton>("EXIT_button")->click();
        else
            harness.panel().close();
    });
    watcher.start();
    harness.click(button.constData());

    QVERIFY(boxWasUp);
    QVERIFY(!visibleMessageBox());
    QVERIFY(!harness.panel().isVisible());
    QVERIFY(!harness.panel().serialLink().portOpen());
    QVERIFY(idleCpu() < 150ms);
}

void FaultMatrixTest::megabyteInThePortBoxGivesAShortMessage()
{
    PanelHarness harness;
    harness.openPort(QString(1 << 20, u'x'));
    const QStringList messages = messageTexts(harness);
    QCOMPARE(messages.size(), 1);
    QVERIFY(messages[0].contains(u"not a port number"));
    QVERIFY(messages[0].size() < 1000);
}

QTEST_MAIN(FaultMatrixTest)
#include "tst_faultmatrix.moc"
