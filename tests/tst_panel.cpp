// The panel window over real pseudo-terminals: what only the window can get
// wrong in its layout, keyboard and screen-reader texts, the port control, and
// the edges of the commands and queries that the end-to-end tests do not reach.
#include "CommandDisplay.h"
#include "ControlTable.h"
#include "PanelHarness.h"
#include "ProcessCpu.h"
#include "ScriptedFarEnd.h"

#include <QAccessible>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGlyphRun>
#include <QGroupBox>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSerialPortInfo>
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <QTextLayout>
#include <QTimer>
#include <QToolTip>

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

// Whether the font that text layout picks for `c` (fallbacks included) has it.
bool drawnFromRealGlyph(QChar c, const QFont &font)
{
    QTextLayout layout(QString(c), font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    const QList<QGlyphRun> runs = layout.glyphRuns();
    return runs.size() == 1 && runs[0].rawFont().supportsCharacter(c)
           && runs[0].glyphIndexes().value(0) != 0;
}

// What a screen reader announces for a control with the focus: the part of it
// that holds the focus (the edit field of a combo box), or the control itself.
QAccessibleInterface *announced(PanelHarness &harness, const char *name)
{
    auto *control = harness.control<QWidget>(name);
    control->setFocus(Qt::TabFocusReason);
    QAccessibleInterface *interface = QAccessible::queryAccessibleInterface(control);
    QAccessibleInterface *focused = interface->focusChild();
    return focused ? focused : interface;
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
    void returnAndEnterPressTheFocusedButtonOnce_data();
    void returnAndEnterPressTheFocusedButtonOnce();
    void focusShowsFromTheStartAsAfterTab();
    void everyControlHasItsOwnNameFromItsCaption();
    void indicatorAndDisplayDescribePortAndFrame();

    void setOpensTheChosenPort_data();
    void setOpensTheChosenPort();
    void exitAndCloseCloseThePortOnce_data();
    void exitAndCloseCloseThePortOnce();

    void outputFrameIsWhatTheDisplayShows_data();
    void outputFrameIsWhatTheDisplayShows();
    void bitButtonsAlternateEachOnItsOwn();

    void replyFillsTheDisplayAndItsBoxes_data();
    void replyFillsTheDisplayAndItsBoxes();
    void pressesDuringAWait();
};

void PanelTest::controlsWithAnEdgeOfTheirOwn_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");
    QTest::newRow("b2, narrower") << "B2cmd" << QRect(162, 18, 22, 21) << "b2";
    QTest::newRow("EXIT, 26.67 px high") << "EXIT_button" << QRect(408, 288, 61, 27) << "EXIT";
    QTest::newRow("title, clipped") << "Label22" << QRect(296, 8, 187, 22) << "TQ905 Test Panel";
    QTest::newRow("settings, clipped")
        << "COMlabel" << QRect(312, 216, 177, 13) << "COM:  9600 Npari 8bit 1stop";
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
    auto *display = harness.control<CommandDisplay>("Label1");
    for (const QChar picture : withControlPictures(QStringLiteral("\002\r")))
        QVERIFY2(drawnFromRealGlyph(picture, display->font()),
                 qPrintable(QString::number(picture.unicode(), 16)));
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
    // The value shows while the bar is moved.
    auto *bar = harness.control<QScrollBar>("HScroll1");
    bar->setValue(0);
    bar->setFocus(Qt::TabFocusReason);
    QTest::keyClick(bar, Qt::Key_Right);
    QCOMPARE(bar->value(), 8);
    QTRY_VERIFY(QToolTip::isVisible());
    QCOMPARE(QToolTip::text(), QStringLiteral("8"));
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

void PanelTest::setOpensTheChosenPort_data()
{
    QTest::addColumn<QString>("portText");
    QTest::addColumn<int>("board");
    QTest::newRow("initial 3") << "3" << 3;
    QTest::newRow("2.5 to even 2") << "2.5" << 2;
    QTest::newRow("blanks around 5") << " 5 " << 5;
}

// SET closes the open port first.
void PanelTest::setOpensTheChosenPort()
{
    QFETCH(QString, portText);
    QFETCH(int, board);
    PanelHarness harness;
    harness.openPort(QStringLiteral("4"));
    harness.openPort(portText);

    QCOMPARE(harness.panel().serialLink().portOpen(), true);
    QCOMPARE(indicator(harness), kGreen);
    QCOMPARE(messageTexts(harness), QStringList());
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
    QVERIFY(!harness.panel().isVisible());
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
    QCOMPARE(harness.takeMessages().size(), 1);
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
    QTest::addColumn<QString>("display"); // empty: "Receive ERR"
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
    const auto cpuBefore = processCpuTime();
    harness.click(button.constData());
    QVERIFY2(processCpuTime() - cpuBefore < 500ms, "the wait spins");

    const QString frame = button == "INcmd" ? QStringLiteral("\x02I\r")
                                            : QStringLiteral("\002A%1\r").arg(button.at(2));
    QCOMPARE(displayDuringWait, frame);
    QCOMPARE(board.frames(), QList<QByteArray>{frame.toLatin1()});
    QCOMPARE(harness.text("Label1"), display);
    QCOMPARE(resultBoxes(harness), boxes);
    QCOMPARE(messageTexts(harness), display.isEmpty() ? QStringList{"Receive ERR"} : QStringList());
    QTRY_COMPARE(harness.panel().serialLink().inBufferCount(), qint16(leftWaiting));
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

void PanelTest::returnAndEnterPressTheFocusedButtonOnce_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::newRow("Return") << int(Qt::Key_Return) << int(Qt::NoModifier);
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier);
}

// Once however long the key is held; the first focus is "EXIT", so the key at
// start ends the program.
void PanelTest::returnAndEnterPressTheFocusedButtonOnce()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    PanelHarness harness;
    showActive(harness.panel());
    auto *bit3 = harness.control<QPushButton>("B3cmd");
    bit3->setFocus(Qt::TabFocusReason);
    QSignalSpy presses(bit3, &QPushButton::clicked);
    for (const bool repeated : {false, true, true}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::KeyboardModifiers(modifiers), {}, repeated);
        QApplication::sendEvent(bit3, &press);
    }
    QCOMPARE(presses.count(), 1);

    PanelHarness again;
    showActive(again.panel());
    QCOMPARE(focusedControlName(), QStringLiteral("EXIT_button"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QTRY_VERIFY(!again.panel().isVisible());
}

void PanelTest::focusShowsFromTheStartAsAfterTab()
{
    PanelHarness harness;
    showActive(harness.panel());
    auto *exitButton = harness.control<QPushButton>("EXIT_button");
    const QImage atStart = exitButton->grab().toImage();
    QTest::keyClick(exitButton, Qt::Key_Tab);
    const QImage unfocused = exitButton->grab().toImage();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    QVERIFY(atStart != unfocused);
    QCOMPARE(atStart, exitButton->grab().toImage());
}

void PanelTest::everyControlHasItsOwnNameFromItsCaption()
{
    const QHash<QString, QString> besideCaption{
        {"Pdata", "PORTB output byte"}, {"AD0data", "AD0 value"}, {"COMNOcmb", "port number"}};
    PanelHarness harness;
    showActive(harness.panel());
    QSet<QPair<QString, int>> seen;
    for (const ControlSpec &spec : panelControls()) {
        if (spec.kind == ControlKind::Label || spec.kind == ControlKind::Frame)
            continue;
        QAccessibleInterface *interface = announced(harness, spec.name);
        const QPair<QString, int> spoken(interface->text(QAccessible::Name), interface->role());
        QVERIFY2(!spoken.first.isEmpty() && !seen.contains(spoken), spec.name);
        seen.insert(spoken);
        if (besideCaption.contains(spec.name))
            QCOMPARE(spoken.first, besideCaption[spec.name]);
    }
    QCOMPARE(seen.size(), 35); // 33 in the tab order, the indicator and the display
}

void PanelTest::indicatorAndDisplayDescribePortAndFrame()
{
    PanelHarness harness;
    const auto indicator = [&harness] {
        return announced(harness, "Shape1")->text(QAccessible::Description);
    };
    harness.openPort();
    QCOMPARE(indicator(), QStringLiteral("The port is open."));
    harness.click("B3cmd");
    QCOMPARE(announced(harness, "Label1")->text(QAccessible::Description),
             QStringLiteral("STX B31 CR"));
    harness.panel().COM_CLOSE();
    QCOMPARE(indicator(), QStringLiteral("The port is closed."));
}

QTEST_MAIN(PanelTest)
#include "tst_panel.moc"
