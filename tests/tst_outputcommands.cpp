#include "CommandDisplay.h"
#include "PanelHarness.h"

#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

using namespace std::chrono_literals;

namespace {

using Settings = QList<QPair<QString, QString>>; // control name, text or scroll value

void applySettings(PanelHarness &harness, const Settings &settings)
{
    for (const auto &[name, value] : settings) {
        const QByteArray control = name.toLatin1();
        if (auto *bar = harness.control<QScrollBar>(control.constData()))
            bar->setValue(value.toInt());
        else
            harness.setText(control.constData(), value);
    }
}

QString bitTag(PanelHarness &harness, int bit)
{
    return harness.control<QPushButton>(qPrintable(QStringLiteral("B%1cmd").arg(bit)))
        ->property("tag")
        .toString();
}

// Presses a button and returns what reached the board; where the command display
// does not show exactly those bytes, returns what it shows instead, so the
// comparison with the expected frame fails.
QByteArray pressAndReceive(PanelHarness &harness, const char *button)
{
    harness.click(button);
    QByteArray received = harness.board().readQuiet(50ms);
    if (harness.text("Label1") != QString::fromLatin1(received))
        return "display: " + harness.text("Label1").toLatin1();
    return received;
}

} // namespace

class OutputCommandsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void eachButtonSendsItsFrameAndShowsTheSame_data();
    void eachButtonSendsItsFrameAndShowsTheSame();
    void bitButtonsAlternateEachOnItsOwn();
    void noButtonChangesABoxOrABar();
    void typingAndScrollingSendNothing();
    void pressBeforeSetShowsTheFrameSendsNothingAndKeepsTheTag();
    void displayDrawsControlCharactersAsPictures();
};

void OutputCommandsTest::eachButtonSendsItsFrameAndShowsTheSame_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<Settings>("settings");
    QTest::addColumn<QByteArray>("frame");

    QTest::newRow("b3 first press") << QByteArray("B3cmd") << Settings{} << QByteArray("\002B31\r");
    QTest::newRow("BZ initial") << QByteArray("BZcmd") << Settings{} << QByteArray("\002Z6490\r");
    QTest::newRow("BZ 123 and 7") << QByteArray("BZcmd")
                                  << Settings{{"BZcnt", "123"}, {"BZtone", "7"}}
                                  << QByteArray("\002Z2307\r");
    QTest::newRow("PWM0 at 1023") << QByteArray("PWM0cmd") << Settings{{"HScroll0", "1023"}}
                                  << QByteArray("\002P03FF\r");
    QTest::newRow("PWM1 at 255") << QByteArray("PWM1cmd") << Settings{{"HScroll1", "255"}}
                                 << QByteArray("\002P10FF\r");
    QTest::newRow("OUT initial") << QByteArray("PORTout") << Settings{} << QByteArray("\002O00\r");
    QTest::newRow("OUT empty") << QByteArray("PORTout") << Settings{{"Pdata", ""}}
                               << QByteArray("\002O0\r");
    QTest::newRow("OUT Latin-1") << QByteArray("PORTout")
                                 << Settings{{"Pdata", QStringLiteral("\u00e9")}}
                                 << QByteArray("\002O0\xe9\r");
    QTest::newRow("OUT euro sign")
        << QByteArray("PORTout") << Settings{{"Pdata", QStringLiteral("\u20ac")}}
        << QByteArray("\002O0?\r");
    QTest::newRow("TRIS initial") << QByteArray("TRIScmd") << Settings{} << QByteArray("\002T00\r");
    QTest::newRow("TRIS surrogate pair")
        << QByteArray("TRIScmd") << Settings{{"TRIS", QStringLiteral("a\U0001F600")}}
        << QByteArray("\002Ta?\r");
    QTest::newRow("TRIS control character")
        << QByteArray("TRIScmd") << Settings{{"TRIS", "\x02\r"}} << QByteArray("\002T\x02\r\r");
    QTest::newRow("TRIS megabyte")
        << QByteArray("TRIScmd")
        << Settings{{"TRIS", QString(1 << 20, u'7') + QStringLiteral("AB")}}
        << QByteArray("\002TAB\r");
}

void OutputCommandsTest::eachButtonSendsItsFrameAndShowsTheSame()
{
    QFETCH(QByteArray, button);
    QFETCH(Settings, settings);
    QFETCH(QByteArray, frame);

    PanelHarness harness;
    harness.openPort();
    applySettings(harness, settings);
    harness.click(button.constData());

    QCOMPARE(harness.board().readQuiet(50ms), frame);
    QCOMPARE(harness.text("Label1"), QString::fromLatin1(frame));
    QVERIFY(harness.messages().isEmpty());
}

void OutputCommandsTest::bitButtonsAlternateEachOnItsOwn()
{
    PanelHarness harness;
    harness.openPort();

    QCOMPARE(pressAndReceive(harness, "B3cmd"), QByteArray("\002B31\r"));
    QCOMPARE(bitTag(harness, 3), QStringLiteral("1"));
    QCOMPARE(pressAndReceive(harness, "B0cmd"), QByteArray("\002B01\r"));
    QCOMPARE(pressAndReceive(harness, "B1cmd"), QByteArray("\002B11\r"));
    QCOMPARE(pressAndReceive(harness, "B3cmd"), QByteArray("\002B30\r"));
    QCOMPARE(bitTag(harness, 3), QStringLiteral("0"));
    harness.setText("Pdata", QStringLiteral("FF"));
    QCOMPARE(pressAndReceive(harness, "PORTout"), QByteArray("\002OFF\r"));
    QCOMPARE(pressAndReceive(harness, "B3cmd"), QByteArray("\002B31\r"));
    QCOMPARE(pressAndReceive(harness, "B0cmd"), QByteArray("\002B00\r"));

    // Reopening the port leaves the tags as they were.
    harness.openPort();
    QCOMPARE(pressAndReceive(harness, "B1cmd"), QByteArray("\002B10\r"));
    QCOMPARE(bitTag(harness, 2), QString());
}

void OutputCommandsTest::noButtonChangesABoxOrABar()
{
    PanelHarness harness;
    harness.openPort();
    const Settings settings{{"Pdata", "1F3"}, {"TRIS", "x"},       {"BZcnt", "123"},
                            {"BZtone", ""},   {"HScroll0", "700"}, {"HScroll1", "9"}};
    applySettings(harness, settings);
    for (const char *button :
         {"B0cmd", "B5cmd", "BZcmd", "PWM0cmd", "PWM1cmd", "PORTout", "TRIScmd"})
        harness.click(button);

    for (const auto &[name, value] : settings) {
        const QByteArray control = name.toLatin1();
        if (auto *bar = harness.control<QScrollBar>(control.constData()))
            QCOMPARE(bar->value(), value.toInt());
        else
            QCOMPARE(harness.text(control.constData()), value);
    }
}

void OutputCommandsTest::typingAndScrollingSendNothing()
{
    PanelHarness harness;
    harness.panel().show();
    QVERIFY(QTest::qWaitForWindowExposed(&harness.panel()));
    harness.openPort();
    harness.click("TRIScmd");
    harness.board().readQuiet(50ms);

    QTest::keyClicks(harness.control<QLineEdit>("Pdata"), QStringLiteral("AB"));
    QTest::keyClicks(harness.control<QLineEdit>("BZtone"), QStringLiteral("12"));
    auto *bar = harness.control<QScrollBar>("HScroll0");
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    bar->setValue(321);

    QCOMPARE(harness.board().readQuiet(100ms), QByteArray());
    QCOMPARE(harness.text("Label1"), QStringLiteral("\002T00\r"));
}

void OutputCommandsTest::pressBeforeSetShowsTheFrameSendsNothingAndKeepsTheTag()
{
    PanelHarness harness;
    harness.click("B3cmd");

    QCOMPARE(harness.text("Label1"), QStringLiteral("\002B31\r"));
    QCOMPARE(bitTag(harness, 3), QString());
    const QList<TQ905Panel::Message> messages = harness.takeMessages();
    QCOMPARE(messages.size(), 1);
    QVERIFY2(messages[0].text.contains(u"\"b3\" failed"), qPrintable(messages[0].text));
    QVERIFY2(messages[0].text.contains(u"Press \"SET\" first"), qPrintable(messages[0].text));

    harness.openPort();
    QCOMPARE(pressAndReceive(harness, "B3cmd"), QByteArray("\002B31\r"));
}

void OutputCommandsTest::displayDrawsControlCharactersAsPictures()
{
    QCOMPARE(withControlPictures(QStringLiteral("\002B31\r")), QStringLiteral("\u2402B31\u240d"));
    QCOMPARE(withControlPictures(QStringLiteral("\x01\x1f\177A")),
             QStringLiteral("\u2401\u241f\u2421A"));

    PanelHarness harness;
    harness.openPort();
    harness.click("B3cmd");
    auto *display = harness.control<CommandDisplay>("Label1");
    QCOMPARE(display->text(), QStringLiteral("\002B31\r"));

    // On screen it looks like a plain label showing the pictures.
    QLabel pictured(withControlPictures(display->text()), display->parentWidget());
    pictured.setGeometry(display->geometry());
    QCOMPARE(display->grab().toImage(), pictured.grab().toImage());
    QLabel raw(display->text(), display->parentWidget());
    raw.setGeometry(display->geometry());
    QVERIFY(display->grab().toImage() != raw.grab().toImage());
}

QTEST_MAIN(OutputCommandsTest)
#include "tst_outputcommands.moc"
