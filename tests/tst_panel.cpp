// The panel window over real pseudo-terminals: what only the window can get
// wrong in its layout, the port control, and the edges of the commands and
// queries that the end-to-end tests of the demo do not reach.
#include "PanelHarness.h"
#include "ProcessCpu.h"
#include "ScriptedFarEnd.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSerialPortInfo>
#include <QTest>
#include <QTimer>

#include <termios.h>

using namespace std::chrono_literals;
using Write = ScriptedFarEnd::Write;
using Texts = QMap<QString, QString>; // control name, text

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

const QColor kGrey(192, 192, 192);
const QColor kGreen(0, 255, 0);
const QStringList kResultBoxes = {"INdataA", "INdataB", "AD0data", "AD1data", "AD2data", "AD3data"};

void at(std::chrono::milliseconds delay, std::function<void()> action)
{
    QTimer::singleShot(delay, std::move(action));
}

// Every result box's text: the changed ones as given, the others at "0".
Texts boxesWith(const Texts &changed)
{
    Texts all;
    for (const QString &box : kResultBoxes)
        all[box] = changed.value(box, QStringLiteral("0"));
    return all;
}

Texts resultBoxes(PanelHarness &harness)
{
    Texts all;
    for (const QString &box : kResultBoxes)
        all[box] = harness.text(qPrintable(box));
    return all;
}

// The focused control, seen through the combo box's inner edit field.
QString focusedControlName()
{
    QWidget *focused = QApplication::focusWidget();
    return focused->objectName().isEmpty() ? focused->parentWidget()->objectName()
                                           : focused->objectName();
}

void showActive(TQ905Panel &panel)
{
    panel.show();
    QApplication::setActiveWindow(&panel);
    QVERIFY(QTest::qWaitForWindowActive(&panel));
}

} // namespace

class PanelTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void controlsWithAnEdgeOfTheirOwn_data();
    void controlsWithAnEdgeOfTheirOwn();
    void noTwoControlsOverlap();
    void fontsAsResolved();
    void tabCyclesInTheTabIndexOrder();
    void displayAndFrameCaptionAreDrawn();
    void portBoxAndScrollBars();
    void portBoxToolTipListsTheDevicesPresent();

    void setOpensTheChosenPortOrSaysWhyNot_data();
    void setOpensTheChosenPortOrSaysWhyNot();
    void exitAndCloseCloseThePortOnce_data();
    void exitAndCloseCloseThePortOnce();

    void outputFrameIsWhatTheDisplayShows_data();
    void outputFrameIsWhatTheDisplayShows();
    void bitButtonsAlternateEachOnItsOwn();

    void replyFillsTheDisplayAndItsBoxes_data();
    void replyFillsTheDisplayAndItsBoxes();
    void pressesDuringAWait();
    void shutdownDuringAWaitEndsItQuietly_data();
    void shutdownDuringAWaitEndsItQuietly();
};

void PanelTest::controlsWithAnEdgeOfTheirOwn_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");
    QTest::newRow("b2, narrower") << "B2cmd" << QRect(162, 18, 22, 21) << "b2";
    QTest::newRow("EXIT, 26.67 px high") << "EXIT_button" << QRect(408, 288, 61, 27) << "EXIT";
    QTest::newRow("title, clipped") << "Label22" << QRect(296, 8, 187, 22) << "TQ905 Test Panel";
    QTest::newRow("CMD: display, clipped, empty") << "Label1" << QRect(352, 248, 132, 13) << "";
    QTest::newRow("settings, clipped")
        << "COMlabel" << QRect(312, 216, 177, 13) << "COM:  9600 Npari 8bit 1stop";
    QTest::newRow("maker") << "Label3" << QRect(40, 296, 214, 22) << "Pelmora";
}

void PanelTest::controlsWithAnEdgeOfTheirOwn()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    PanelHarness harness;
    QCOMPARE(harness.panel().size(), QSize(482, 328));
    QCOMPARE(harness.control<QWidget>(qPrintable(name))->geometry(), geometry);
    const auto *label = qobject_cast<QLabel *>(harness.control<QWidget>(qPrintable(name)));
    QCOMPARE(label ? label->text() : harness.control<QPushButton>(qPrintable(name))->text(), text);
}

void PanelTest::noTwoControlsOverlap()
{
    PanelHarness harness;
    const QList<QWidget *> controls = harness.panel().findChildren<QWidget *>(QRegularExpression(
        QStringLiteral("^(Shape|Label|COM|B\\d|Frame|P|T|IN|BZ|AD|HScroll|EXIT)")));
    QCOMPARE(controls.size(), 55);
    for (QWidget *a : controls)
        for (QWidget *b : controls)
            QVERIFY2(a == b || a->parentWidget() != b->parentWidget()
                         || !a->geometry().intersects(b->geometry()),
                     qPrintable(a->objectName() + QStringLiteral(" overlaps ") + b->objectName()));
}

// What the font system gives, not what was asked: Arial or its metric twin.
void PanelTest::fontsAsResolved()
{
    PanelHarness harness;
    for (const char *name : {"Pdata", "AD3data", "BZtone", "Label22", "Label3"}) {
        const QWidget *control = harness.control<QWidget>(name);
        const QFontInfo font(control->font());
        const bool banner = qobject_cast<const QLabel *>(control);
        QVERIFY2(font.family() == u"Arial" || font.family() == u"Liberation Sans",
                 qPrintable(font.family()));
        QVERIFY(font.bold());
        QCOMPARE(font.italic(), banner);
        QCOMPARE(font.pixelSize(), banner ? 19 : 13);
        QCOMPARE(control->palette().color(QPalette::WindowText) == QColor(0, 128, 128), banner);
    }
}

void PanelTest::tabCyclesInTheTabIndexOrder()
{
    const QStringList cycle = {
        "EXIT_button", "INcmd",   "B2cmd",   "COMNOcmb", "HScroll0", "HScroll1",   "Pdata",
        "PORTout",     "PWM1cmd", "PWM0cmd", "B1cmd",    "B0cmd",    "B3cmd",      "B4cmd",
        "B5cmd",       "B6cmd",   "B7cmd",   "INdataA",  "AD0cmd",   "INdataB",    "AD0data",
        "AD1cmd",      "AD1data", "AD2cmd",  "AD2data",  "AD3cmd",   "AD3data",    "TRIScmd",
        "TRIS",        "COMset",  "BZcmd",   "BZcnt",    "BZtone",   "EXIT_button"};
    PanelHarness harness;
    showActive(harness.panel());
    QStringList visited;
    for (int i = 0; i < cycle.size(); ++i) {
        visited << focusedControlName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(visited, cycle);
}

// The display draws STX and CR as their control pictures.
void PanelTest::displayAndFrameCaptionAreDrawn()
{
    PanelHarness harness;
    harness.click("B3cmd");
    QWidget *display = harness.control<QWidget>("Label1");
    QLabel pictured(QStringLiteral("\u2402B31\u240d"), &harness.panel());
    pictured.setGeometry(display->geometry());
    QCOMPARE(display->grab().toImage(), pictured.grab().toImage());

    // Text darker than the frame's line in the strip where its caption goes.
    auto *frame = harness.control<QGroupBox>("Frame5");
    const QImage image = frame->grab().toImage();
    const int lineGrey = qGray(frame->palette().color(QPalette::Mid).rgb());
    int textPixels = 0;
    for (int y = 0; y < frame->fontMetrics().height(); ++y)
        for (int x = 0; x < 40; ++x)
            textPixels += qGray(image.pixel(x, y)) < lineGrey - 40;
    QVERIFY2(textPixels > 10, qPrintable(QString::number(textPixels)));
}

void PanelTest::portBoxAndScrollBars()
{
    PanelHarness harness;
    auto *combo = harness.control<QComboBox>("COMNOcmb");
    QStringList entries;
    for (int i = 0; i < combo->count(); ++i)
        entries << combo->itemText(i);
    QCOMPARE(entries, QStringList({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12"}));
    showActive(harness.panel());
    combo->lineEdit()->clear();
    QTest::keyClicks(combo->lineEdit(), QStringLiteral("ttyX"));
    QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
    QCOMPARE(combo->currentText(), QStringLiteral("ttyX"));
    QCOMPARE(combo->count(), 12);

    for (const char *name : {"HScroll0", "HScroll1"}) {
        auto *bar = harness.control<QScrollBar>(name);
        bar->setValue(5000);
        QCOMPARE(bar->value(), 1023);
        bar->setValue(-3);
        QCOMPARE(bar->value(), 0);
    }
}

void PanelTest::portBoxToolTipListsTheDevicesPresent()
{
    PanelHarness harness;
    auto *combo = harness.control<QComboBox>("COMNOcmb");
    QHelpEvent hover(QEvent::ToolTip, QPoint(5, 5), combo->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(combo, &hover);
    const QString tip = combo->toolTip();
    QVERIFY2(tip.startsWith(u"Serial devices present:\n") || tip == u"No serial devices found.",
             qPrintable(tip));
    for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts()) {
        const QString device = port.systemLocation();
        const QRegularExpression line(QStringLiteral("^(\\d+|\\(no number\\)): %1( - |$)")
                                          .arg(QRegularExpression::escape(device)),
                                      QRegularExpression::MultilineOption);
        QVERIFY2(tip.contains(line), qPrintable(tip));
    }
}

void PanelTest::setOpensTheChosenPortOrSaysWhyNot_data()
{
    QTest::addColumn<QString>("portText");
    QTest::addColumn<int>("board"); // 0: none opens
    QTest::addColumn<QString>("reason");
    QTest::newRow("initial 3") << "3" << 3 << "";
    QTest::newRow("2.5 to even 2") << "2.5" << 2 << "";
    QTest::newRow("3.5 to even 4") << "3.5" << 4 << "";
    QTest::newRow("blanks around 5") << " 5 " << 5 << "";
    QTest::newRow("empty") << "" << 0 << "not a port number";
    QTest::newRow("not a number") << "abc" << 0 << "not a port number";
    QTest::newRow("beyond 16 bits") << "40000" << 0 << "";
    QTest::newRow("number without a device") << "9" << 0 << "no serial device has this number";
}

// SET closes the open port first, whatever follows.
void PanelTest::setOpensTheChosenPortOrSaysWhyNot()
{
    QFETCH(QString, portText);
    QFETCH(int, board);
    QFETCH(QString, reason);
    PanelHarness harness;
    harness.openPort(QStringLiteral("4"));
    harness.openPort(portText);

    QCOMPARE(harness.panel().serialLink().portOpen(), board != 0);
    QCOMPARE(indicator(harness), board != 0 ? kGreen : kGrey);
    const QStringList messages = messageTexts(harness);
    if (board == 0) {
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages[0].startsWith(u"\"SET\" failed.") && messages[0].contains(reason)
                     && messages[0].contains(portText),
                 qPrintable(messages[0]));
        QCOMPARE(harness.panel().serialLink().commPort(), qint16(4));
        return;
    }
    QCOMPARE(messages, QStringList());
    termios line{};
    QCOMPARE(tcgetattr(harness.board(board).deviceFd(), &line), 0);
    QCOMPARE(cfgetospeed(&line), speed_t(B9600));
    QCOMPARE(line.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8));
    harness.click("PORTout");
    QCOMPARE(harness.board(board).readQuiet(50ms), QByteArray("\002O00\r"));
}

void PanelTest::exitAndCloseCloseThePortOnce_data()
{
    QTest::addColumn<bool>("byExitButton");
    QTest::newRow("EXIT") << true;
    QTest::newRow("close control") << false;
}

void PanelTest::exitAndCloseCloseThePortOnce()
{
    QFETCH(bool, byExitButton);
    PanelHarness harness;
    harness.panel().show();
    harness.openPort();
    int closes = 0;
    QObject::connect(&harness.panel().serialLink(), &SerialLink::portOpenChanged,
                     [&](bool open) { closes += !open; });
    if (byExitButton)
        harness.click("EXIT_button");
    else
        harness.panel().close();
    QCOMPARE(closes, 1);
    QVERIFY(!harness.panel().serialLink().portOpen());
    QVERIFY(!harness.panel().isVisible());
    QCOMPARE(harness.messages().size(), 0);
}

void PanelTest::outputFrameIsWhatTheDisplayShows_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<Texts>("texts");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("OUT empty") << QByteArray("PORTout") << Texts{{"Pdata", ""}}
                               << QByteArray("\002O0\r");
    QTest::newRow("OUT Latin-1 and euro")
        << QByteArray("PORTout") << Texts{{"Pdata", QStringLiteral("\u00e9\u20ac")}}
        << QByteArray("\002O\xe9?\r");
    QTest::newRow("TRIS surrogate pair")
        << QByteArray("TRIScmd") << Texts{{"TRIS", QStringLiteral("a\U0001F600")}}
        << QByteArray("\002Ta?\r");
    QTest::newRow("TRIS megabyte")
        << QByteArray("TRIScmd") << Texts{{"TRIS", QString(1 << 20, u'7') + QStringLiteral("AB")}}
        << QByteArray("\002TAB\r");
    QTest::newRow("BZ 123 and 7") << QByteArray("BZcmd") << Texts{{"BZcnt", "123"}, {"BZtone", "7"}}
                                  << QByteArray("\002Z2307\r");
    QTest::newRow("PWM0 at 1023") << QByteArray("PWM0cmd") << Texts{{"HScroll0", "1023"}}
                                  << QByteArray("\002P03FF\r");
}

void PanelTest::outputFrameIsWhatTheDisplayShows()
{
    QFETCH(QByteArray, button);
    QFETCH(Texts, texts);
    QFETCH(QByteArray, frame);
    PanelHarness harness;
    harness.openPort();
    for (auto it = texts.cbegin(); it != texts.cend(); ++it) {
        if (it.key().startsWith(u"HScroll"))
            harness.control<QScrollBar>(qPrintable(it.key()))->setValue(it.value().toInt());
        else
            harness.setText(qPrintable(it.key()), it.value());
    }
    harness.click(button.constData());
    QCOMPARE(harness.board().readQuiet(50ms), frame);
    QCOMPARE(harness.text("Label1"), QString::fromLatin1(frame));
    QCOMPARE(harness.messages().size(), 0);
}

// A press that cannot be sent leaves the tag; OUT leaves every tag.
void PanelTest::bitButtonsAlternateEachOnItsOwn()
{
    PanelHarness harness;
    harness.click("B3cmd");
    QCOMPARE(harness.text("Label1"), QStringLiteral("\002B31\r"));
    const QString refusal = messageTexts(harness).value(0);
    QVERIFY2(refusal.contains(u"\"b3\" failed") && refusal.contains(u"not open")
                 && refusal.contains(u"\"SET\""),
             qPrintable(refusal));
    harness.openPort();
    for (const char *button : {"B3cmd", "B0cmd", "B3cmd", "PORTout", "B3cmd", "B0cmd"})
        harness.click(button);
    QCOMPARE(harness.board().readQuiet(50ms),
             QByteArray("\002B31\r\002B01\r\002B30\r\002O00\r\002B31\r\002B00\r"));
}

void PanelTest::replyFillsTheDisplayAndItsBoxes_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QByteArray>("stale"); // waiting before the press
    QTest::addColumn<QList<Write>>("answer");
    QTest::addColumn<QString>("display"); // empty: "Receive ERR" after about 3 s
    QTest::addColumn<Texts>("boxes");
    QTest::addColumn<int>("leftWaiting");
    QList<Write> garbageThenByteByByte{{5ms, "zz9\r"}};
    for (qsizetype i = 0; i < 7; ++i)
        garbageThenByteByByte << Write{std::chrono::milliseconds(20 + 15 * i),
                                       QByteArray("\002X0F3CY").mid(i, 1)};
    QTest::newRow("IN after garbage, byte by byte")
        << QByteArray("INcmd") << QByteArray() << garbageThenByteByByte << "X0F3CY"
        << boxesWith({{"INdataA", "0F"}, {"INdataB", "3C"}}) << 0;
    QTest::newRow("AD2 after stale input, extra input stays")
        << QByteArray("AD2cmd") << QByteArray("\002S111S\002S2")
        << QList<Write>{{10ms, "\002a3FFbEXTRA"}} << "a3FFb" << boxesWith({{"AD2data", "3FF"}})
        << 5;
    QTest::newRow("AD3 with STX and CR in the body")
        << QByteArray("AD3cmd") << QByteArray() << QList<Write>{{10ms, "\x02\0021\r2\r"}}
        << "\0021\r2\r" << boxesWith({{"AD3data", "1\r2"}}) << 0;
    QTest::newRow("IN without an answer")
        << QByteArray("INcmd") << QByteArray() << QList<Write>{} << ""
        << boxesWith({{"INdataA", ""}, {"INdataB", ""}}) << 0;
    QTest::newRow("AD1 one character short")
        << QByteArray("AD1cmd") << QByteArray() << QList<Write>{{10ms, "\002a3F"}, {50ms, "F"}}
        << "" << boxesWith({{"AD1data", ""}}) << 4;
}

// While it waits the display shows the frame; an idle wait sleeps.
void PanelTest::replyFillsTheDisplayAndItsBoxes()
{
    QFETCH(QByteArray, button);
    QFETCH(QByteArray, stale);
    QFETCH(QList<Write>, answer);
    QFETCH(QString, display);
    QFETCH(Texts, boxes);
    QFETCH(int, leftWaiting);
    PanelHarness harness;
    ScriptedFarEnd board(harness.board());
    board.answerWith(answer);
    harness.openPort();
    harness.board().write(stale);
    QTRY_COMPARE(harness.panel().serialLink().inBufferCount(), qint16(stale.size()));
    QString displayDuringWait;
    at(5ms, [&] { displayDuringWait = harness.text("Label1"); });
    int waitingAtMessage = -1;
    harness.onMessage([&](const TQ905Panel::Message &) {
        waitingAtMessage = harness.panel().serialLink().inBufferCount();
    });
    QElapsedTimer clock;
    clock.start();
    const auto cpuBefore = processCpuTime();
    harness.click(button.constData());
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(processCpuTime() - cpuBefore < 500ms, "the wait spins");

    const QString frame = button == "INcmd" ? QStringLiteral("\x02I\r")
                                            : QStringLiteral("\002A%1\r").arg(button.at(2));
    QCOMPARE(displayDuringWait, frame);
    QCOMPARE(board.frames(), QList<QByteArray>{frame.toLatin1()});
    QCOMPARE(harness.text("Label1"), display);
    QCOMPARE(resultBoxes(harness), boxes);
    if (display.isEmpty()) {
        QCOMPARE(harness.messages().size(), 1);
        QCOMPARE(harness.messages()[0].text, QStringLiteral("Receive ERR"));
        QCOMPARE(harness.messages()[0].title, QStringLiteral("ERROR"));
        QVERIFY2(elapsed >= 2800 && elapsed < 4500, qPrintable(QString::number(elapsed)));
        QCOMPARE(waitingAtMessage, leftWaiting);
    } else {
        QCOMPARE(harness.messages().size(), 0);
        QTRY_COMPARE(harness.panel().serialLink().inBufferCount(), qint16(leftWaiting));
    }
}

// An output during a wait goes out at once; a query inside a query ends the
// outer one as a time-out; SET inside a wait reopens the port under it.
void PanelTest::pressesDuringAWait()
{
    PanelHarness harness;
    ScriptedFarEnd board(harness.board());
    board.setScript([&](const QByteArray &frame) -> QList<Write> {
        if (frame == "\002A2\r")
            return {{20ms, "\002a3"}};
        if (frame == "\002I\r")
            return {{300ms, "\002X0F3CY"}};
        return {};
    });
    harness.openPort();
    at(100ms, [&] { harness.click("INcmd"); });
    at(200ms, [&] { harness.click("B3cmd"); });
    at(250ms, [&] { harness.click("COMset"); });
    QElapsedTimer clock;
    clock.start();
    harness.click("AD2cmd");

    QVERIFY2(clock.elapsed() < 2000, "the outer wait should end when the inner one does");
    QCOMPARE(board.frames(), QList<QByteArray>({"\002A2\r", "\002I\r", "\002B31\r"}));
    QCOMPARE(messageTexts(harness), QStringList{"Receive ERR"});
    QCOMPARE(harness.text("Label1"), QString());
    QCOMPARE(resultBoxes(harness),
             boxesWith({{"INdataA", "0F"}, {"INdataB", "3C"}, {"AD2data", ""}}));
}

void PanelTest::shutdownDuringAWaitEndsItQuietly_data()
{
    exitAndCloseCloseThePortOnce_data();
}

void PanelTest::shutdownDuringAWaitEndsItQuietly()
{
    QFETCH(bool, byExitButton);
    PanelHarness harness;
    ScriptedFarEnd board(harness.board());
    harness.panel().show();
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
    QCOMPARE(harness.messages().size(), 0);
    QVERIFY(!harness.panel().serialLink().portOpen());
    QVERIFY(!harness.panel().isVisible());
    QCOMPARE(harness.text("Label1"), QStringLiteral("\x02I\r"));
    QCOMPARE(resultBoxes(harness), boxesWith({}));
}

QTEST_MAIN(PanelTest)
#include "tst_panel.moc"
