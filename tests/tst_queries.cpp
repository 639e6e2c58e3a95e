#include "PanelHarness.h"
#include "ProcessCpu.h"
#include "ScriptedFarEnd.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

using namespace std::chrono_literals;

namespace {

using Write = ScriptedFarEnd::Write;
using Boxes = QMap<QString, QString>; // result box name, expected text

const QStringList kResultBoxes = {"INdataA", "INdataB", "AD0data", "AD1data", "AD2data", "AD3data"};

// Every result box's text, with the expected ones changed and the others at "0".
Boxes boxesWith(const Boxes &changed)
{
    Boxes all;
    for (const QString &box : kResultBoxes)
        all[box] = changed.value(box, QStringLiteral("0"));
    return all;
}

Boxes resultBoxes(PanelHarness &harness)
{
    Boxes all;
    for (const QString &box : kResultBoxes)
        all[box] = harness.text(box.toLatin1().constData());
    return all;
}

QList<Write> byteByByte(const QByteArray &reply)
{
    QList<Write> writes;
    for (qsizetype i = 0; i < reply.size(); ++i)
        writes << Write{std::chrono::milliseconds(5 + 15 * i), reply.mid(i, 1)};
    return writes;
}

int receiveErrors(const QList<TQ905Panel::Message> &messages)
{
    return static_cast<int>(
        std::count_if(messages.begin(), messages.end(), [](const TQ905Panel::Message &m) {
            return m.text == u"Receive ERR" && m.title == u"ERROR"
                   && m.icon == QMessageBox::Information;
        }));
}

void at(std::chrono::milliseconds delay, std::function<void()> action)
{
    QTimer::singleShot(delay, std::move(action));
}

} // namespace

class QueriesTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void replyIsShownAndItsFieldsFillTheBoxes_data();
    void replyIsShownAndItsFieldsFillTheBoxes();
    void charactersAfterTheReplyStayWaiting();
    void staleInputIsDiscardedBeforeTheQueryIsSent();
    void incompleteReplyTimesOutAfterThreeSecondsWithoutSpinning_data();
    void incompleteReplyTimesOutAfterThreeSecondsWithoutSpinning();
    void outputCommandDuringAWaitIsSentAtOnce();
    void queryInsideAQueryEndsTheOuterAsATimeOut_data();
    void queryInsideAQueryEndsTheOuterAsATimeOut();
    void setDuringAWaitReopensThePortUnderTheQuery();
    void shutdownDuringAWaitEndsItAtOnceAndQuietly_data();
    void shutdownDuringAWaitEndsItAtOnceAndQuietly();
    void deviceVanishingDuringAWaitIsToldOnce();
    void queryBeforeSetSendsNothingAndKeepsTheBoxes();
};

void QueriesTest::replyIsShownAndItsFieldsFillTheBoxes_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QList<Write>>("answer");
    QTest::addColumn<QString>("display");
    QTest::addColumn<Boxes>("boxes");

    const QByteArray portReply("\002X0F3CY");
    QTest::newRow("IN whole") << QByteArray("INcmd") << QList<Write>{{10ms, portReply}} << "X0F3CY"
                              << boxesWith({{"INdataA", "0F"}, {"INdataB", "3C"}});
    QTest::newRow("IN byte by byte") << QByteArray("INcmd") << byteByByte(portReply) << "X0F3CY"
                                     << boxesWith({{"INdataA", "0F"}, {"INdataB", "3C"}});
    QTest::newRow("IN after garbage")
        << QByteArray("INcmd") << QList<Write>{{10ms, "zz9\r"}, {40ms, portReply}} << "X0F3CY"
        << boxesWith({{"INdataA", "0F"}, {"INdataB", "3C"}});
    QTest::newRow("AD2 touches only its box")
        << QByteArray("AD2cmd") << QList<Write>{{10ms, "\002a3FFb"}} << "a3FFb"
        << boxesWith({{"AD2data", "3FF"}});
    QTest::newRow("AD0 shows any characters")
        << QByteArray("AD0cmd") << QList<Write>{{10ms, "\002-zz!-"}} << "-zz!-"
        << boxesWith({{"AD0data", "zz!"}});
    QTest::newRow("AD3 STX and CR inside the body")
        << QByteArray("AD3cmd") << QList<Write>{{10ms, "\x02\0021\r2\r"}} << "\0021\r2\r"
        << boxesWith({{"AD3data", "1\r2"}});
}

void QueriesTest::replyIsShownAndItsFieldsFillTheBoxes()
{
    QFETCH(QByteArray, button);
    QFETCH(QList<Write>, answer);
    QFETCH(QString, display);
    QFETCH(Boxes, boxes);

    PanelHarness harness;
    ScriptedFarEnd board(harness.board());
    board.answerWith(answer);
    harness.openPort();
    QString displayDuringWait;
    at(5ms, [&] { displayDuringWait = harness.text("Label1"); });

    harness.click(button.constData());

    const QString frame = button == "INcmd" ? QStringLiteral("\x02I\r")
                                            : QStringLiteral("\002A%1\r").arg(button.at(2));
    QCOMPARE(displayDuringWait, frame);
    QCOMPARE(board.received(), frame.toLatin1());
    QCOMPARE(harness.text("Label1"), display);
    QCOMPARE(resultBoxes(harness), boxes);
    QVERIFY(harness.messages().isEmpty());
}

void QueriesTest::charactersAfterTheReplyStayWaiting()
{
    PanelHarness harness;
    ScriptedFarEnd board(harness.board());
    board.answerWith({{10ms, "\002X0F3CYEXTRA"}});
    harness.openPort();

    harness.click("INcmd");
    QCOMPARE(harness.text("Label1"), QStringLiteral("X0F3CY"));
    QTRY_COMPARE(harness.panel().serialLink().inBufferCount(), qint16(5));
}

void QueriesTest::staleInputIsDiscardedBeforeTheQueryIsSent()
{
    PanelHarness harness;
    ScriptedFarEnd board(harness.board());
    harness.openPort();
    harness.board().write("\002S111S\002S2");
    QTRY_COMPARE(harness.panel().serialLink().inBufferCount(), qint16(9));

    board.answerWith({{20ms, "\002F789F"}});
    harness.click("AD1cmd");
    QCOMPARE(harness.text("Label1"), QStringLiteral("F789F"));
    QCOMPARE(harness.text("AD1data"), QStringLiteral("789"));
}

void QueriesTest::incompleteReplyTimesOutAfterThreeSecondsWithoutSpinning_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QList<Write>>("answer");
    QTest::addColumn<qint64>("floodBytes");
    QTest::addColumn<int>("leftWaiting");

    QTest::newRow("IN without an answer")
        << QByteArray("INcmd") << QList<Write>{} << qint64(0) << 0;
    QTest::newRow("AD1 one character short")
        << QByteArray("AD1cmd") << QList<Write>{{10ms, "\002a3F"}, {50ms, "F"}} << qint64(0) << 4;
    QTest::newRow("AD0 in a flood without STX")
        << QByteArray("AD0cmd") << QList<Write>{} << qint64(2 << 20) << -1;
}

void QueriesTest::incompleteReplyTimesOutAfterThreeSecondsWithoutSpinning()
{
    QFETCH(QByteArray, button);
    QFETCH(QList<Write>, answer);
    QFETCH(qint64, floodBytes);
    QFETCH(int, leftWaiting);

    PanelHarness harness;
    ScriptedFarEnd board(harness.board());
    board.answerWith(answer);
    harness.openPort();
    harness.setText("INdataA", QStringLiteral("typed"));
    if (floodBytes > 0)
        at(20ms, [&] { board.flood(floodBytes); });
    int waitingAtMessage = -1;
    harness.onMessage([&](const TQ905Panel::Message &) {
        waitingAtMessage = harness.panel().serialLink().inBufferCount();
    });

    QElapsedTimer clock;
    clock.start();
    const auto cpuBefore = processCpuTime();
    harness.click(button.constData());
    const qint64 elapsed = clock.elapsed();
    const auto cpu = processCpuTime() - cpuBefore;

    QCOMPARE(receiveErrors(harness.messages()), 1);
    QCOMPARE(harness.messages().size(), 1);
    QVERIFY2(elapsed >= 2800 && elapsed < 4500, qPrintable(QString::number(elapsed)));
    QCOMPARE(harness.text("Label1"), QString());
    if (button == "INcmd") {
        QCOMPARE(harness.text("INdataA"), QString());
        QCOMPARE(harness.text("INdataB"), QString());
    } else {
        QCOMPARE(harness.text(QByteArray("AD" + button.mid(2, 1) + "data").constData()), QString());
        QCOMPARE(harness.text("INdataA"), QStringLiteral("typed"));
    }
    if (leftWaiting >= 0)
        QCOMPARE(waitingAtMessage, leftWaiting);
    else
        QVERIFY(waitingAtMessage <= SerialLink::kReadBufferBytes);
    // Only a flood gives the wait real work; an idle wait sleeps between events.
    if (floodBytes == 0)
        QVERIFY2(cpu < 500ms, qPrintable(QString::number(cpu.count())));
}

void QueriesTest::outputCommandDuringAWaitIsSentAtOnce()
{
    PanelHarness harness;
    ScriptedFarEnd board(harness.board());
    board.setScript([](const QByteArray &frame) -> QList<Write> {
        if (frame == "\x02I\r")
            return {{300ms, "\002X0F3CY"}};
        return {};
    });
    harness.openPort();
    QString displayAfterOutput;
    at(100ms, [&] {
        harness.click("B3cmd");
        displayAfterOutput = harness.text("Label1");
    });

    harness.click("INcmd");

    QCOMPARE(displayAfterOutput, QStringLiteral("\002B31\r"));
    QCOMPARE(board.frames(), QList<QByteArray>({"\x02I\r", "\002B31\r"}));
    QCOMPARE(harness.text("Label1"), QStringLiteral("X0F3CY"));
    QCOMPARE(harness.text("INdataB"), QStringLiteral("3C"));
    QVERIFY(harness.messages().isEmpty());
}

void QueriesTest::queryInsideAQueryEndsTheOuterAsATimeOut_data()
{
    QTest::addColumn<QByteArray>("outer");
    QTest::addColumn<QByteArray>("inner");
    QTest::addColumn<Boxes>("boxes");

    QTest::newRow("IN inside AD2")
        << QByteArray("AD2cmd") << QByteArray("INcmd")
        << boxesWith({{"INdataA", "0F"}, {"INdataB", "3C"}, {"AD2data", ""}});
    QTest::newRow("AD0 inside AD0")
        << QByteArray("AD0cmd") << QByteArray("AD0cmd") << boxesWith({{"AD0data", ""}});
}

void QueriesTest::queryInsideAQueryEndsTheOuterAsATimeOut()
{
    QFETCH(QByteArray, outer);
    QFETCH(QByteArray, inner);
    QFETCH(Boxes, boxes);

    PanelHarness harness;
    ScriptedFarEnd board(harness.board());
    int framesSeen = 0;
    board.setScript([&](const QByteArray &frame) -> QList<Write> {
        if (++framesSeen == 1) // the outer query gets only the start of its reply
            return {{20ms, "\002a3"}};
        return {{20ms, frame == "\x02I\r" ? QByteArray("\002X0F3CY") : QByteArray("\002b123b")}};
    });
    harness.openPort();
    at(100ms, [&] { harness.click(inner.constData()); });

    QElapsedTimer clock;
    clock.start();
    harness.click(outer.constData());

    QVERIFY2(clock.elapsed() < 2000, "the outer wait should end when the inner one does");
    QCOMPARE(receiveErrors(harness.messages()), 1);
    QCOMPARE(harness.text("Label1"), QString());
    QCOMPARE(resultBoxes(harness), boxes);
}

void QueriesTest::setDuringAWaitReopensThePortUnderTheQuery()
{
    PanelHarness harness;
    ScriptedFarEnd board(harness.board());
    board.answerWith({{300ms, "\002X0F3CY"}});
    harness.openPort();
    at(100ms, [&] { harness.click("COMset"); });

    harness.click("INcmd");

    QVERIFY(harness.messages().isEmpty());
    QCOMPARE(harness.text("INdataA"), QStringLiteral("0F"));
    QVERIFY(harness.panel().serialLink().portOpen());
}

void QueriesTest::shutdownDuringAWaitEndsItAtOnceAndQuietly_data()
{
    QTest::addColumn<bool>("byExitButton");
    QTest::newRow("EXIT") << true;
    QTest::newRow("close control") << false;
}

void QueriesTest::shutdownDuringAWaitEndsItAtOnceAndQuietly()
{
    QFETCH(bool, byExitButton);

    PanelHarness harness;
    ScriptedFarEnd board(harness.board());
    harness.panel().show();
    QVERIFY(QTest::qWaitForWindowExposed(&harness.panel()));
    harness.openPort();
    at(100ms, [&] {
        if (byExitButton)
            harness.click("EXIT_button");
        else
            harness.panel().close();
    });

    QElapsedTimer clock;
    clock.start();
    harness.click("INcmd");

    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(harness.messages().isEmpty());
    QVERIFY(!harness.panel().serialLink().portOpen());
    QVERIFY(!harness.panel().isVisible());
    QCOMPARE(harness.text("Label1"), QStringLiteral("\x02I\r")); // the handler stopped there
    QCOMPARE(resultBoxes(harness), boxesWith({}));
}

void QueriesTest::deviceVanishingDuringAWaitIsToldOnce()
{
    PanelHarness harness;
    ScriptedFarEnd board(harness.board());
    harness.openPort();
    at(100ms, [&] { board.vanish(); });

    QElapsedTimer clock;
    clock.start();
    harness.click("AD3cmd");

    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    QTest::qWait(200);
    const QList<TQ905Panel::Message> messages = harness.takeMessages();
    QCOMPARE(messages.size(), 1);
    QVERIFY2(messages[0].text.contains(u"gone away"), qPrintable(messages[0].text));
    QCOMPARE(harness.control<QWidget>("Shape1")->property("fillColor").value<QColor>(),
             QColor(192, 192, 192));
    QCOMPARE(resultBoxes(harness), boxesWith({}));

    const auto cpuBefore = processCpuTime();
    QTest::qWait(500);
    QVERIFY(processCpuTime() - cpuBefore < 150ms);
}

void QueriesTest::queryBeforeSetSendsNothingAndKeepsTheBoxes()
{
    PanelHarness harness;
    harness.click("INcmd");

    QCOMPARE(harness.text("Label1"), QStringLiteral("\x02I\r"));
    QCOMPARE(resultBoxes(harness), boxesWith({}));
    const QList<TQ905Panel::Message> messages = harness.takeMessages();
    QCOMPARE(messages.size(), 1);
    QVERIFY2(messages[0].text.contains(u"Press \"SET\" first"), qPrintable(messages[0].text));
}

QTEST_MAIN(QueriesTest)
#include "tst_queries.moc"
