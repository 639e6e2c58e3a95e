#include "PanelHarness.h"

#include <QTest>

using namespace std::chrono_literals;

namespace {

const QColor kGrey(192, 192, 192);
const QColor kGreen(0, 255, 0);

QColor indicator(PanelHarness &harness)
{
    return harness.control<QWidget>("Shape1")->property("fillColor").value<QColor>();
}

// Which board receives what "OUT" sends: the one whose port is open.
int boardThatReceivesOutput(PanelHarness &harness)
{
    harness.click("PORTout");
    for (int number : {2, 3, 4, 5})
        if (!harness.board(number).readQuiet(30ms).isEmpty())
            return number;
    return 0;
}

} // namespace

class PortControlTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void setOpensTheChosenPortAndTurnsTheIndicatorGreen_data();
    void setOpensTheChosenPortAndTurnsTheIndicatorGreen();
    void failedSetClosesThePortTurnsGreyAndSaysWhy_data();
    void failedSetClosesThePortTurnsGreyAndSaysWhy();
    void setTwiceWithTheSameNumberReopensTheSamePort();
    void setWithANewNumberMovesToThatPort();
    void exitBeforeSetClosesTheWindowQuietly();
    void exitAndCloseWithThePortOpenCloseItOnce_data();
    void exitAndCloseWithThePortOpenCloseItOnce();
    void vanishedDeviceWhileIdleIsToldOnceAndTurnsGrey();
};

void PortControlTest::setOpensTheChosenPortAndTurnsTheIndicatorGreen_data()
{
    QTest::addColumn<QString>("portText");
    QTest::addColumn<int>("board");

    QTest::newRow("initial 3") << "3" << 3;
    QTest::newRow("2.5 rounds to even 2") << "2.5" << 2;
    QTest::newRow("3.5 rounds to even 4") << "3.5" << 4;
    QTest::newRow("blanks around 5") << " 5 " << 5;
}

void PortControlTest::setOpensTheChosenPortAndTurnsTheIndicatorGreen()
{
    QFETCH(QString, portText);
    QFETCH(int, board);

    PanelHarness harness;
    QCOMPARE(harness.text("COMNOcmb"), QStringLiteral("3"));
    harness.openPort(portText);

    QVERIFY(harness.panel().serialLink().portOpen());
    QCOMPARE(harness.panel().serialLink().commPort(), qint16(board));
    QCOMPARE(harness.panel().serialLink().settings(), QStringLiteral("9600,N,8,1"));
    QVERIFY(harness.panel().serialLink().rtsEnable());
    QCOMPARE(harness.panel().serialLink().rThreshold(), qint16(0));
    QCOMPARE(indicator(harness), kGreen);
    QVERIFY(harness.messages().isEmpty());
    QCOMPARE(boardThatReceivesOutput(harness), board);
}

void PortControlTest::failedSetClosesThePortTurnsGreyAndSaysWhy_data()
{
    QTest::addColumn<QString>("portText");
    QTest::addColumn<QString>("reason");

    QTest::newRow("empty") << ""
                           << "not a port number";
    QTest::newRow("not a number") << "abc"
                                  << "not a port number";
    QTest::newRow("beyond 16 bits") << "40000"
                                    << "no serial device has this number";
    QTest::newRow("number without a device") << "9"
                                             << "no serial device has this number";
    QTest::newRow("zero") << "0"
                          << "no serial device has this number";
}

void PortControlTest::failedSetClosesThePortTurnsGreyAndSaysWhy()
{
    QFETCH(QString, portText);
    QFETCH(QString, reason);

    PanelHarness harness;
    harness.openPort(QStringLiteral("3"));
    harness.openPort(portText);

    QVERIFY(!harness.panel().serialLink().portOpen());
    QCOMPARE(harness.panel().serialLink().commPort(), qint16(3)); // the refused number is not kept
    QCOMPARE(indicator(harness), kGrey);
    const QList<TQ905Panel::Message> messages = harness.takeMessages();
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages[0].title, QStringLiteral("ERROR"));
    QCOMPARE(messages[0].icon, QMessageBox::Critical);
    QVERIFY2(messages[0].text.contains(u"\"SET\""), qPrintable(messages[0].text));
    QVERIFY2(messages[0].text.contains(reason), qPrintable(messages[0].text));
    if (!portText.isEmpty())
        QVERIFY2(messages[0].text.contains(portText), qPrintable(messages[0].text));
}

void PortControlTest::setTwiceWithTheSameNumberReopensTheSamePort()
{
    PanelHarness harness;
    harness.openPort(QStringLiteral("3"));
    harness.openPort(QStringLiteral("3"));
    QVERIFY(harness.messages().isEmpty());
    QCOMPARE(indicator(harness), kGreen);
    QCOMPARE(boardThatReceivesOutput(harness), 3);
}

void PortControlTest::setWithANewNumberMovesToThatPort()
{
    PanelHarness harness;
    harness.openPort(QStringLiteral("3"));
    harness.openPort(QStringLiteral("5"));
    QVERIFY(harness.messages().isEmpty());
    QCOMPARE(boardThatReceivesOutput(harness), 5);

    // Port 3 was let go: another program can have it now.
    SerialLink other;
    other.setDeviceResolver(
        [&](int) { return std::optional<QString>(harness.board(3).devicePath()); });
    other.setCommPort(3);
    other.setPortOpen(true);
    QVERIFY(other.portOpen());
}

void PortControlTest::exitBeforeSetClosesTheWindowQuietly()
{
    PanelHarness harness;
    harness.panel().show();
    QVERIFY(QTest::qWaitForWindowExposed(&harness.panel()));
    harness.click("EXIT_button");
    QVERIFY(!harness.panel().isVisible());
    QVERIFY(!harness.panel().serialLink().portOpen());
    QVERIFY(harness.messages().isEmpty());
}

void PortControlTest::exitAndCloseWithThePortOpenCloseItOnce_data()
{
    QTest::addColumn<bool>("byExitButton");
    QTest::newRow("EXIT") << true;
    QTest::newRow("close control") << false;
}

void PortControlTest::exitAndCloseWithThePortOpenCloseItOnce()
{
    QFETCH(bool, byExitButton);

    PanelHarness harness;
    harness.panel().show();
    QVERIFY(QTest::qWaitForWindowExposed(&harness.panel()));
    harness.openPort(QStringLiteral("3"));
    int closes = 0;
    QObject::connect(&harness.panel().serialLink(), &SerialLink::portOpenChanged,
                     [&](bool open) { closes += open ? 0 : 1; });

    if (byExitButton)
        harness.click("EXIT_button");
    else
        harness.panel().close();

    QCOMPARE(closes, 1);
    QVERIFY(!harness.panel().serialLink().portOpen());
    QVERIFY(!harness.panel().isVisible());
    QVERIFY(harness.messages().isEmpty());
}

void PortControlTest::vanishedDeviceWhileIdleIsToldOnceAndTurnsGrey()
{
    PanelHarness harness;
    harness.openPort(QStringLiteral("3"));
    harness.board(3).vanish();

    QTRY_COMPARE(harness.messages().size(), 1);
    QTest::qWait(200);
    const QList<TQ905Panel::Message> messages = harness.takeMessages();
    QCOMPARE(messages.size(), 1);
    QVERIFY2(messages[0].text.contains(u"gone away"), qPrintable(messages[0].text));
    QVERIFY2(messages[0].text.contains(harness.board(3).devicePath()),
             qPrintable(messages[0].text));
    QVERIFY(!harness.panel().serialLink().portOpen());
    QCOMPARE(indicator(harness), kGrey);

    harness.click("PORTout");
    const QList<TQ905Panel::Message> afterwards = harness.takeMessages();
    QCOMPARE(afterwards.size(), 1);
    QVERIFY2(afterwards[0].text.contains(u"Press \"SET\" first"), qPrintable(afterwards[0].text));
}

QTEST_MAIN(PortControlTest)
#include "tst_portcontrol.moc"
