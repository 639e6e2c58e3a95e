// The panel window over real pseudo-terminals: what only the window can get
// wrong in its layout, keyboard and screen-reader texts, the port control, and
// the edges of the commands and queries that the end-to-end tests do not reach.
#include "CommandDisplay.h"
#include "ControlTable.h"
#include "PanelHarness.h"

#include <QAccessible>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QSerialPortInfo>
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>

using namespace std::chrono_literals;
using Write = ScriptedFarEnd::Write;

namespace {

const QColor kGreen(0, 255, 0);
const QStringList kResultBoxes = {"INdataA", "INdataB", "AD0data", "AD1data", "AD2data", "AD3data"};

// What a screen reader announces for a control with the focus: the part of it
// that holds the focus (the edit field of a combo box), or the control itself.
QAccessibleInterface *announced(PanelHarness &harness, const char *name)
{
    auto *control = harness.control(name);
    control->setFocus(Qt::TabFocusReason);
    QAccessibleInterface *interface = QAccessible::queryAccessibleInterface(control);
    QAccessibleInterface *focused = interface->focusChild();
    return focused ? focused : interface;
}

// The result boxes' texts, in the order of kResultBoxes.
QStringList resultBoxes(PanelHarness &harness)
{
    QStringList texts;
    for (const QString &box : kResultBoxes)
        texts << harness.text(qPrintable(box));
    return texts;
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
    void controlsWithAnEdgeOfTheirOwn_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("text");
        QTest::newRow("b2, narrower") << "B2cmd" << QRect(162, 18, 22, 21) << "b2";
        QTest::newRow("EXIT, 26.67 px high") << "EXIT_button" << QRect(408, 288, 61, 27) << "EXIT";
        QTest::newRow("title, clipped")
            << "Label22" << QRect(296, 8, 187, 22) << "TQ905 Test Panel";
        QTest::newRow("settings, clipped")
            << "COMlabel" << QRect(312, 216, 177, 13) << "COM:  9600 Npari 8bit 1stop";
    }

    void controlsWithAnEdgeOfTheirOwn()
    {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        QFETCH(QString, text);
        PanelHarness harness;
        QCOMPARE(harness.panel().size(), QSize(482, 328));
        QWidget *control = harness.control(qPrintable(name));
        QCOMPARE(control->geometry(), geometry);
        const auto *label = qobject_cast<QLabel *>(control);
        QCOMPARE(label ? label->text() : qobject_cast<QPushButton *>(control)->text(), text);
    }

    void noTwoControlsOverlap()
    {
        PanelHarness harness;
        const QList<QWidget *> controls =
            harness.panel().findChildren<QWidget *>(QRegularExpression(
                QStringLiteral("^(Shape|Label|COM|B\\d|Frame|P|T|IN|BZ|AD|HScroll|EXIT)")));
        QCOMPARE(controls.size(), 55);
        for (QWidget *a : controls)
            for (QWidget *b : controls)
                QVERIFY2(
                    a == b || a->parentWidget() != b->parentWidget()
                        || !a->geometry().intersects(b->geometry()),
                    qPrintable(a->objectName() + QStringLiteral(" overlaps ") + b->objectName()));
    }

    // What the font system gives, not what was asked: Arial or its metric twin.
    void fontsAsResolved()
    {
        PanelHarness harness;
        for (const char *name : {"Pdata", "AD3data", "BZtone", "Label22", "Label3"}) {
            const QWidget *control = harness.control(name);
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

    // "EXIT" has the focus at start, drawn as it is when Tab comes back to it.
    void tabCyclesInTheTabIndexOrderAndFocusShowsFromTheStart()
    {
        const QStringList cycle = {
            "EXIT_button", "INcmd",   "B2cmd",   "COMNOcmb", "HScroll0", "HScroll1",   "Pdata",
            "PORTout",     "PWM1cmd", "PWM0cmd", "B1cmd",    "B0cmd",    "B3cmd",      "B4cmd",
            "B5cmd",       "B6cmd",   "B7cmd",   "INdataA",  "AD0cmd",   "INdataB",    "AD0data",
            "AD1cmd",      "AD1data", "AD2cmd",  "AD2data",  "AD3cmd",   "AD3data",    "TRIScmd",
            "TRIS",        "COMset",  "BZcmd",   "BZcnt",    "BZtone",   "EXIT_button"};
        PanelHarness harness;
        showActive(harness.panel());
        auto *exitButton = harness.control("EXIT_button");
        const QImage atStart = exitButton->grab().toImage();
        QStringList visited;
        for (int i = 0; i < cycle.size(); ++i) {
            visited << focusedControlName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            if (i == 0)
                QVERIFY(exitButton->grab().toImage() != atStart);
        }
        QCOMPARE(visited, cycle);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(exitButton->grab().toImage(), atStart);
    }

    // The display draws STX and CR as their control pictures.
    void displayAndFrameCaptionAreDrawn()
    {
        PanelHarness harness;
        harness.click("B3cmd");
        auto *display = harness.control<CommandDisplay>("Label1");
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

    // A typed port text stays as typed; a scroll bar shows its value while it moves.
    void portBoxAndScrollBars()
    {
        PanelHarness harness;
        auto *combo = harness.control<QComboBox>("COMNOcmb");
        QStringList entries;
        for (int i = 0; i < combo->count(); ++i)
            entries << combo->itemText(i);
        QCOMPARE(entries,
                 QStringList({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12"}));
        showActive(harness.panel());
        combo->lineEdit()->clear();
        QTest::keyClicks(combo->lineEdit(), QStringLiteral("ttyX"));
        QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
        QCOMPARE(combo->currentText(), QStringLiteral("ttyX"));
        QCOMPARE(combo->count(), 12);

        auto *bar = harness.control<QScrollBar>("HScroll1");
        bar->setValue(0);
        bar->setFocus(Qt::TabFocusReason);
        QTest::keyClick(bar, Qt::Key_Right);
        QTRY_VERIFY(QToolTip::isVisible());
        QCOMPARE(QToolTip::text(), QStringLiteral("8"));
    }

    void portBoxToolTipListsTheDevicesPresent()
    {
        PanelHarness harness;
        auto *combo = harness.control<QComboBox>("COMNOcmb");
        QHelpEvent hover(QEvent::ToolTip, QPoint(5, 5), combo->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(combo, &hover);
        const QString tip = combo->toolTip();
        QVERIFY2(tip.startsWith(u"Serial devices present:\n") || tip == u"No serial devices found.",
                 qPrintable(tip));
        for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts()) {
            const QRegularExpression line(
                QStringLiteral("^(\\d+|\\(no number\\)): %1( - |$)")
                    .arg(QRegularExpression::escape(port.systemLocation())),
                QRegularExpression::MultilineOption);
            QVERIFY2(tip.contains(line), qPrintable(tip));
        }
    }

    void returnAndEnterPressTheFocusedButtonOnce_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("Return") << int(Qt::Key_Return) << int(Qt::NoModifier);
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier);
    }

    // Once however long the key is held.
    void returnAndEnterPressTheFocusedButtonOnce()
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
    }

    // Each control a screen reader reaches has a name of its own, from its caption;
    // the indicator tells the port's state and the display spells out the frame.
    void screenReaderNamesAndDescriptions()
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

        const auto description = [&harness](const char *name) {
            return announced(harness, name)->text(QAccessible::Description);
        };
        harness.openPort();
        QCOMPARE(description("Shape1"), QStringLiteral("The port is open."));
        harness.click("B3cmd");
        QCOMPARE(description("Label1"), QStringLiteral("STX B31 CR"));
        harness.panel().COM_CLOSE();
        QCOMPARE(description("Shape1"), QStringLiteral("The port is closed."));
    }

    void setOpensTheChosenPort_data()
    {
        QTest::addColumn<QString>("portText");
        QTest::addColumn<int>("board");
        QTest::newRow("initial 3") << "3" << 3;
        QTest::newRow("2.5 to even 2") << "2.5" << 2;
    }

    // SET closes the open port first.
    void setOpensTheChosenPort()
    {
        QFETCH(QString, portText);
        QFETCH(int, board);
        PanelHarness harness;
        harness.openPort(QStringLiteral("4"));
        harness.openPort(portText);

        QCOMPARE(harness.panel().serialLink().portOpen(), true);
        QCOMPARE(harness.indicator(), kGreen);
        QCOMPARE(harness.messages, QStringList());
        termios line{};
        QCOMPARE(tcgetattr(harness.board(board).deviceFd(), &line), 0);
        QCOMPARE(cfgetospeed(&line), speed_t(B9600));
        QCOMPARE(line.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8));
        harness.click("PORTout");
        QCOMPARE(harness.board(board).readQuiet(50ms), QByteArray("\002O00\r"));
    }

    void exitAndCloseCloseThePortOnce_data()
    {
        QTest::addColumn<bool>("byExitButton");
        QTest::newRow("EXIT") << true;
        QTest::newRow("close control") << false;
    }

    void exitAndCloseCloseThePortOnce()
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

    // A bit press that cannot be sent leaves its tag; each bit button keeps its
    // own whatever else is sent; a box's text counts up to its last character.
    void outputsGoOutAsShown()
    {
        PanelHarness harness;
        harness.click("B3cmd");
        QCOMPARE(harness.text("Label1"), QStringLiteral("\002B31\r"));
        QCOMPARE(harness.messages.size(), 1);
        harness.openPort();
        harness.setText("TRIS", QString(1 << 20, u'7') + QStringLiteral("AB"));
        for (const char *button : {"B3cmd", "B0cmd", "B3cmd", "TRIScmd", "B3cmd", "B0cmd"})
            harness.click(button);
        QCOMPARE(harness.board().readQuiet(50ms),
                 QByteArray("\002B31\r\002B01\r\002B30\r\002TAB\r\002B31\r\002B00\r"));
        QCOMPARE(harness.text("Label1"), QStringLiteral("\002B00\r"));
    }

    void replyFillsTheDisplayAndItsBoxes_data()
    {
        QTest::addColumn<QByteArray>("button");
        QTest::addColumn<QByteArray>("stale"); // waiting before the press
        QTest::addColumn<QList<Write>>("answer");
        QTest::addColumn<QString>("display");   // empty: "Receive ERR"
        QTest::addColumn<QStringList>("boxes"); // kResultBoxes
        QTest::addColumn<int>("leftWaiting");
        QList<Write> garbageThenByteByByte{{5ms, "zz9\r"}};
        for (qsizetype i = 0; i < 7; ++i)
            garbageThenByteByByte << Write{std::chrono::milliseconds(20 + 15 * i),
                                           QByteArray("\002X0F3CY").mid(i, 1)};
        QTest::newRow("IN after garbage, byte by byte")
            << QByteArray("INcmd") << QByteArray() << garbageThenByteByByte << "X0F3CY"
            << QStringList{"0F", "3C", "0", "0", "0", "0"} << 0;
        QTest::newRow("AD2 after stale input, extra input stays")
            << QByteArray("AD2cmd") << QByteArray("\002S111S\002S2")
            << QList<Write>{{10ms, "\002a3FFbEXTRA"}} << "a3FFb"
            << QStringList{"0", "0", "0", "0", "3FF", "0"} << 5;
        QTest::newRow("IN without an answer")
            << QByteArray("INcmd") << QByteArray() << QList<Write>{} << ""
            << QStringList{"", "", "0", "0", "0", "0"} << 0;
    }

    // While it waits the display shows the frame; an idle wait sleeps.
    void replyFillsTheDisplayAndItsBoxes()
    {
        QFETCH(QByteArray, button);
        QFETCH(QByteArray, stale);
        QFETCH(QList<Write>, answer);
        QFETCH(QString, display);
        QFETCH(QStringList, boxes);
        QFETCH(int, leftWaiting);
        PanelHarness harness;
        ScriptedFarEnd board(harness.board());
        board.answerEveryFrameWith(answer);
        harness.openPort();
        harness.board().write(stale);
        QTRY_COMPARE(harness.panel().serialLink().inBufferCount(), qint16(stale.size()));
        QString displayDuringWait;
        QTimer::singleShot(5ms, [&] { displayDuringWait = harness.text("Label1"); });
        const auto cpuBefore = processCpuTime();
        harness.click(button.constData());
        QVERIFY2(processCpuTime() - cpuBefore < 500ms, "the wait spins");

        const QString frame = button == "INcmd" ? QStringLiteral("\x02I\r")
                                                : QStringLiteral("\002A%1\r").arg(button.at(2));
        QCOMPARE(displayDuringWait, frame);
        QCOMPARE(board.frames, QList<QByteArray>{frame.toLatin1()});
        QCOMPARE(harness.text("Label1"), display);
        QCOMPARE(resultBoxes(harness), boxes);
        QCOMPARE(harness.messages, display.isEmpty() ? QStringList{"Receive ERR"} : QStringList());
        QTRY_COMPARE(harness.panel().serialLink().inBufferCount(), qint16(leftWaiting));
    }

    // An output during a wait goes out at once; a query inside a query ends the
    // outer one as a time-out; SET inside a wait reopens the port under it.
    void pressesDuringAWait()
    {
        PanelHarness harness;
        ScriptedFarEnd board(harness.board());
        board.script = [&](const QByteArray &frame) -> QList<Write> {
            if (frame == "\002A2\r")
                return {{20ms, "\002a3"}};
            if (frame == "\002I\r")
                return {{300ms, "\002X0F3CY"}};
            return {};
        };
        harness.openPort();
        QTimer::singleShot(100ms, [&] { harness.click("INcmd"); });
        QTimer::singleShot(200ms, [&] { harness.click("B3cmd"); });
        QTimer::singleShot(250ms, [&] { harness.click("COMset"); });
        QElapsedTimer clock;
        clock.start();
        harness.click("AD2cmd");

        QVERIFY2(clock.elapsed() < 2000, "the outer wait should end when the inner one does");
        QCOMPARE(board.frames, QList<QByteArray>({"\002A2\r", "\002I\r", "\002B31\r"}));
        QCOMPARE(harness.messages, QStringList{"Receive ERR"});
        QCOMPARE(harness.text("Label1"), QString());
        QCOMPARE(resultBoxes(harness), QStringList({"0F", "3C", "0", "0", "", "0"}));
    }
};

QTEST_MAIN(PanelTest)
#include "tst_panel.moc"
