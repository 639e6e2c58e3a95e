// The panel window over real pseudo-terminals: what only the window can get
// wrong in its layout, keyboard and screen-reader texts, the port control, and
// the edges of the commands and queries that the end-to-end tests do not reach.
// Then the fault matrix: what the operator is told, and what state the panel is
// left in, when the line, the device, the system or the operator does the
// unexpected; after each, the process must be idle again.
#include "CommandDisplay.h"
#include "ControlTable.h"
#include "FarEnd.h"
#include "HostileServer.h"
#include "PtyPair.h"
#include "Ser2net.h"
#include "SilentPort.h"
#include "TQ905Panel.h"

#include <QAccessible>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGroupBox>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLockFile>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSerialPortInfo>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <tuple>

using namespace std::chrono_literals;

constexpr bool kPeakMemoryChecked = TQ905_PEAK_MEMORY_CHECKED;

namespace {

// The CPU time the process, all its threads together, takes while `work` runs.
std::chrono::milliseconds cpuTimeOf(const std::function<void()> &work)
{
    const std::clock_t before = std::clock();
    work();
    return std::chrono::milliseconds((std::clock() - before) * 1000 / CLOCKS_PER_SEC);
}

struct Write {
    std::chrono::milliseconds delay;
    QByteArray bytes;
};

// A panel on the offscreen platform whose port numbers 2 to 4 are real
// pseudo-terminals, and whose message boxes are recorded and closed at once,
// as an operator pressing OK would.
class PanelHarness
{
public:
    PanelHarness()
    {
        for (int number : {2, 3, 4})
            m_boards[number] = std::make_unique<PtyPair>();
        m_panel.serialLink().setDeviceResolver([this](int number) -> std::optional<QString> {
            const auto board = m_boards.find(number);
            return board == m_boards.end() ? std::nullopt
                                           : std::optional(board->second->devicePath());
        });
        m_panel.setMessagePresenter(
            [this](const TQ905Panel::Message &message) { messages << message.text; });
    }

    TQ905Panel &panel() { return m_panel; }
    PtyPair &board(int portNumber = 3) { return *m_boards.at(portNumber); }
    QStringList messages;

    template <typename T = QWidget>
    T *control(const char *name) const
    {
        T *control = m_panel.findChild<T *>(QString::fromLatin1(name));
        if (!control)
            throw std::invalid_argument(name);
        return control;
    }
    void click(const char *buttonName) { control<QAbstractButton>(buttonName)->click(); }
    // The text of a label or a text box.
    QString text(const char *name) const
    {
        auto *label = qobject_cast<QLabel *>(control(name));
        return label ? label->text() : control<QLineEdit>(name)->text();
    }
    void setText(const char *name, const QString &text) { control<QLineEdit>(name)->setText(text); }
    // Presses "SET" with the given number in the port box.
    void openPort(const QString &portText = QStringLiteral("3"))
    {
        control<QComboBox>("COMNOcmb")->setEditText(portText);
        click("COMset");
    }
    QString portBoxToolTip() const
    {
        auto *box = control<QComboBox>("COMNOcmb");
        QHelpEvent hover(QEvent::ToolTip, QPoint(1, 1), box->mapToGlobal(QPoint(1, 1)));
        QCoreApplication::sendEvent(box, &hover);
        return box->toolTip();
    }
    // The board on port 3 answers while the panel runs: each write at its delay from now.
    void boardWrites(const QList<Write> &writes)
    {
        for (const Write &write : writes)
            QTimer::singleShot(write.delay, &m_panel,
                               [this, bytes = write.bytes] { board().write(bytes); });
    }
    QColor indicator() const { return control("Shape1")->property("fillColor").value<QColor>(); }

private:
    std::map<int, std::unique_ptr<PtyPair>> m_boards;
    TQ905Panel m_panel;
};

const QColor kGreen(0, 255, 0);
const QColor kGrey(192, 192, 192);
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

// How a failure comes about: the first three by a SET of the input, the others
// by a press of the input button (none: the device vanishes while idle).
enum class Setup {
    PortText,
    MissingDevice,
    Fifo, // where the device should be
    RegularFile,
    Directory,
    HeldByAnother,
    NothingOpened,
    Unplugged,
    UnplugLater
};
enum class Lock { None, OfAnEndedProgram, OfARunningProgram };

// Stand-ins in an expectation for what only the run knows.
const QString kToolTip = QStringLiteral("<the port box's tool tip>");
const QString kLockFile = QStringLiteral("<the lock file>");

// The CPU the process takes over half a second of doing nothing.
std::chrono::milliseconds idleCpu()
{
    return cpuTimeOf([] { QTest::qWait(500); });
}

// What the message gets wrong: words it lacks or words it should not have.
QString wrongWords(const QString &message, const QStringList &told, const QStringList &notTold)
{
    for (const QString &words : told)
        if (!message.contains(words))
            return QStringLiteral("lacks \"%1\":\n%2").arg(words, message);
    for (const QString &words : notTold)
        if (message.contains(words))
            return QStringLiteral("says \"%1\":\n%2").arg(words, message);
    return {};
}

// Presses "SET" as the user nobody in a child, which checks the message.
bool setAsNobodyIsTold(PanelHarness &harness, const QStringList &told, const QStringList &notTold)
{
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(1);
        harness.openPort();
        const QString wrong = wrongWords(harness.messages.value(0), told, notTold);
        std::fprintf(stderr, "%s\n", qPrintable(wrong));
        ::_exit(wrong.isEmpty() ? 0 : 1);
    }
    int status = 0;
    return ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

Q_DECLARE_METATYPE(Setup)
Q_DECLARE_METATYPE(Lock)

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

    // The display draws STX and CR as their control pictures, and each byte that
    // would draw nothing as a cell of its own, apart from the next.
    void displayAndFrameCaptionAreDrawn()
    {
        PanelHarness harness;
        harness.click("B3cmd");
        auto *display = harness.control<CommandDisplay>("Label1");
        QLabel pictured(QStringLiteral("\u2402B31\u240d"), &harness.panel());
        pictured.setGeometry(display->geometry());
        QCOMPARE(display->grab().toImage(), pictured.grab().toImage());
        display->setText(QString::fromLatin1("\x80\x85\x9B\xAD\x9F"));
        const QImage cells = display->grab().toImage();
        int cellsDrawn = 0;
        for (int x = 0, inkBefore = 0; x < cells.width(); ++x) {
            int ink = 0;
            for (int y = 0; y < cells.height(); ++y)
                ink += cells.pixel(x, y) != cells.pixel(cells.width() - 1, y);
            cellsDrawn += ink > 0 && inkBefore == 0;
            inkBefore = ink;
        }
        QCOMPARE(cellsDrawn, 5);

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

    // The port box's tool tip lists the devices present and says that a network
    // port's address is taken too, a typed port text stays
    // as typed, and a scroll bar shows its value while it moves.
    void portBoxAndScrollBars()
    {
        PanelHarness harness;
        const QString tip = harness.portBoxToolTip();
        QVERIFY2((tip.startsWith(u"Serial devices present:\n")
                  || tip.startsWith(u"No serial devices found."))
                     && tip.contains(u"rfc2217://HOST:PORT") && tip.contains(u"socket://HOST:PORT"),
                 qPrintable(tip));
        for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts()) {
            const QRegularExpression line(
                QStringLiteral("^(\\d+|\\(no number\\)): %1( - |$)")
                    .arg(QRegularExpression::escape(port.systemLocation())),
                QRegularExpression::MultilineOption);
            QVERIFY2(tip.contains(line), qPrintable(tip));
        }
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

    // Once however long the key is held, also where the key closes a box: a repeat
    // is known by its mark or, where that is missing, by a release with the same
    // time stamp just before it.
    void heldKeyPressesAButtonOnce()
    {
        PanelHarness harness;
        showActive(harness.panel());
        auto *bit3 = harness.control<QPushButton>("B3cmd");
        QMessageBox box(QMessageBox::Information, {}, {}, QMessageBox::Ok, &harness.panel());
        box.show();
        QAbstractButton *ok = box.button(QMessageBox::Ok);
        QSignalSpy bitPresses(bit3, &QPushButton::clicked);
        QSignalSpy boxCloses(ok, &QAbstractButton::clicked);
        using KeyHeld = std::tuple<QWidget *, Qt::Key, Qt::KeyboardModifiers>;
        using KeyStep = std::tuple<QEvent::Type, bool, quint64>;
        for (const auto &[target, key, modifier] : std::initializer_list<KeyHeld>{
                 {bit3, Qt::Key_Return, Qt::NoModifier},
                 {bit3, Qt::Key_Enter, Qt::KeypadModifier},
                 {bit3, Qt::Key_Space, Qt::NoModifier}, // presses when let go
                 {ok, Qt::Key_Escape, Qt::NoModifier}})
            for (const auto &[type, repeated, time] : std::initializer_list<KeyStep>{
                     {QEvent::KeyPress, false, 10},   // pressed
                     {QEvent::KeyPress, true, 20},    // a repeat, marked
                     {QEvent::KeyRelease, false, 30}, // a repeat, unmarked
                     {QEvent::KeyPress, false, 30},
                     {QEvent::KeyRelease, false, 40},  // let go
                     {QEvent::KeyPress, false, 90}}) { // pressed again
                QKeyEvent event(type, key, modifier, 36, 0, 0, {}, repeated);
                event.setTimestamp(time);
                QApplication::sendEvent(target, &event);
            }
        QCOMPARE(bitPresses.count(), 5);
        QCOMPARE(boxCloses.count(), 2);
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
        harness.control<QLabel>("Label1")->setText(QStringLiteral("\u009B1\u00AD\u0085"));
        QCOMPARE(description("Label1"), QStringLiteral("CSI 1 SHY NEL"));
        harness.panel().COM_CLOSE();
        QCOMPARE(description("Shape1"), QStringLiteral("The port is closed."));
    }

    void setOpensThePortAndExitOrCloseClosesIt_data()
    {
        QTest::addColumn<bool>("byExitButton");
        QTest::newRow("EXIT") << true;
        QTest::newRow("close control") << false;
    }

    // SET closes the open port first and opens the chosen one at 9600,N,8,1,
    // without HUPCL: its close leaves DTR and RTS up.
    void setOpensThePortAndExitOrCloseClosesIt()
    {
        QFETCH(bool, byExitButton);
        PanelHarness harness;
        harness.panel().show();
        harness.openPort(QStringLiteral("4"));
        harness.openPort(QStringLiteral("2.5")); // to even: 2
        QCOMPARE(harness.indicator(), kGreen);
        QCOMPARE(harness.messages, QStringList());
        termios line{};
        QCOMPARE(tcgetattr(harness.board(2).deviceFd(), &line), 0);
        QCOMPARE(cfgetospeed(&line), speed_t(B9600));
        QCOMPARE(line.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL), tcflag_t(CS8));
        harness.click("PORTout");
        QCOMPARE(harness.board(2).readQuiet(50ms), QByteArray("\002O00\r"));

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
                                           QByteArray("\002I0F3C\r").mid(i, 1)};
        QTest::newRow("IN after garbage, byte by byte")
            << QByteArray("INcmd") << QByteArray() << garbageThenByteByByte << "I0F3C\r"
            << QStringList{"0F", "3C", "0", "0", "0", "0"} << 0;
        // A far end that answered the last query twice, and a cut reply.
        QTest::newRow("AD2 after stale input, extra input stays")
            << QByteArray("AD2cmd") << QByteArray("\002A999\r\002A1")
            << QList<Write>{{10ms, "\002A3FF\rEXTRA"}} << "A3FF\r"
            << QStringList{"0", "0", "0", "0", "3FF", "0"} << 5;
        // The protocol leaves a body's first and last characters to the board.
        QTest::newRow("IN, a body that begins and ends as the board likes")
            << QByteArray("INcmd") << QByteArray() << QList<Write>{{10ms, "\002x5A3Cy"}} << "x5A3Cy"
            << QStringList{"5A", "3C", "0", "0", "0", "0"} << 0;
        QTest::newRow("AD2, likewise")
            << QByteArray("AD2cmd") << QByteArray() << QList<Write>{{10ms, "\002c2A7e"}} << "c2A7e"
            << QStringList{"0", "0", "0", "0", "2A7", "0"} << 0;
        QTest::newRow("IN, bytes that draw nothing kept as they came")
            << QByteArray("INcmd") << QByteArray()
            << QList<Write>{{10ms, "\002I\x85\x9B\xAD\x02\r"}}
            << QStringLiteral("I\u0085\u009B\u00AD\u0002\r")
            << QString::fromLatin1("\x85\x9B,\xAD\x02,0,0,0,0").split(u',') << 0;
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
        harness.openPort();
        harness.board().write(stale);
        QTRY_COMPARE(harness.panel().serialLink().inBufferCount(), qint16(stale.size()));
        QString displayDuringWait;
        QTimer::singleShot(5ms, [&] { displayDuringWait = harness.text("Label1"); });
        harness.boardWrites(answer);
        QElapsedTimer clock;
        clock.start();
        QVERIFY2(cpuTimeOf([&] { harness.click(button.constData()); }) < 500ms, "the wait spins");
        QCOMPARE(clock.elapsed() > 2700, display.isEmpty()); // the time-out: 30 ticks of 100 ms

        const QString frame = button == "INcmd" ? QStringLiteral("\x02I\r")
                                                : QStringLiteral("\002A%1\r").arg(button.at(2));
        QCOMPARE(displayDuringWait, frame);
        QCOMPARE(harness.board().readQuiet(50ms), frame.toLatin1());
        QCOMPARE(harness.text("Label1"), display);
        QCOMPARE(resultBoxes(harness), boxes);
        QCOMPARE(harness.messages, display.isEmpty() ? QStringList{"Receive ERR"} : QStringList());
        QTRY_COMPARE(harness.panel().serialLink().inBufferCount(), qint16(leftWaiting));
    }

    // During a wait an output goes at once, and a query waits its turn, its
    // button held down, a second press of it changing nothing; each query gets
    // its own reply, the same button pressed inside its own wait too. SET drops
    // the queries waiting; the one in flight goes on, on the port opened again.
    void pressesDuringAWaitTakeTurns()
    {
        PanelHarness harness;
        harness.openPort();
        FarEnd board(
            harness.board(),
            [](int query, const QByteArray &body) {
                return body == "I" ? "\002I" + QByteArray::number(10 + query) + "3C\r"
                                   : "\002A" + QByteArray::number(100 + query) + "\r";
            },
            300ms);
        QStringList held;
        QTimer::singleShot(50ms, [&] {
            for (const char *button : {"INcmd", "INcmd", "AD0cmd", "AD0cmd", "B3cmd"})
                harness.click(button);
            // Held down on screen, and for a screen reader.
            for (const char *button : {"INcmd", "AD0cmd", "AD1cmd"})
                if (harness.control<QPushButton>(button)->isChecked()
                    && QAccessible::queryAccessibleInterface(harness.control(button))
                           ->state()
                           .checked)
                    held << button;
        });
        harness.click("INcmd");
        QCOMPARE(board.bodies, QList<QByteArray>({"I", "B31", "I", "A0"}));
        QCOMPARE(held, QStringList({"INcmd", "AD0cmd"}));
        QCOMPARE(resultBoxes(harness), QStringList({"12", "3C", "103", "0", "0", "0"}));
        QCOMPARE(harness.text("Label1"), QStringLiteral("A103\r"));
        QVERIFY(!harness.control<QPushButton>("INcmd")->isChecked());
        QCOMPARE(harness.messages, QStringList());

        QTimer::singleShot(50ms, [&] { harness.click("AD1cmd"); });
        QTimer::singleShot(100ms, [&] { harness.click("COMset"); });
        harness.click("INcmd");
        QCOMPARE(board.bodies.mid(4), QList<QByteArray>({"I"}));
        QCOMPARE(resultBoxes(harness), QStringList({"14", "3C", "103", "0", "0", "0"}));
        QVERIFY(!harness.control<QPushButton>("AD1cmd")->isChecked());
        QCOMPARE(harness.messages, QStringList());
    }

    void aLostReplyCostsOnlyItsOwnQuery_data()
    {
        QTest::addColumn<QString>("then");   // how the second IN comes
        QTest::addColumn<int>("earliestMs"); // from the first frame to the second
        QTest::addColumn<int>("latestMs");
        // The time-out comes at about 3 s, the reply's time is over 3 s after it.
        QTest::newRow("pressed again after the box: waits out the reply's time")
            << "after the box" << 5800 << 7500;
        QTest::newRow("pressed inside the wait: the box never empties its value")
            << "inside the wait" << 5800 << 7500;
        QTest::newRow("SET forgets the reply owed") << "after SET" << 3000 << 3900;
    }

    void aLostReplyCostsOnlyItsOwnQuery()
    {
        QFETCH(QString, then);
        QFETCH(int, earliestMs);
        QFETCH(int, latestMs);
        PanelHarness harness;
        harness.openPort();
        FarEnd board(harness.board(), [](int query, const QByteArray &) {
            return query == 1 ? QByteArray() : "\002I" + QByteArray::number(10 + query) + "3C\r";
        });
        if (then == u"inside the wait")
            QTimer::singleShot(100ms, &harness.panel(), [&] { harness.click("INcmd"); });
        harness.click("INcmd");
        bool heldWhileWaiting = false;
        if (then != u"inside the wait") {
            QTest::qWait(500);
            if (then == u"after SET")
                harness.click("COMset");
            // Tied to the panel: a query that ends sooner must not leave it to fire later.
            QTimer::singleShot(1000ms, &harness.panel(), [&] {
                heldWhileWaiting = harness.control<QPushButton>("INcmd")->isChecked();
            });
            harness.click("INcmd");
            QCOMPARE(heldWhileWaiting, earliestMs > 5000);
        }
        QCOMPARE(board.bodies, QList<QByteArray>({"I", "I"}));
        const qint64 gap = board.readMs[1] - board.readMs[0];
        QVERIFY2(gap >= earliestMs && gap <= latestMs, qPrintable(QString::number(gap)));
        QCOMPARE(resultBoxes(harness).mid(0, 2), QStringList({"12", "3C"}));
        QCOMPARE(harness.messages, QStringList{"Receive ERR"});
    }

    void failureSaysWhatToDo_data()
    {
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<QString>("input"); // the port text of SET, or the button pressed
        QTest::addColumn<QStringList>("told");
        QTest::addColumn<QStringList>("notTold");
        const QString megabyte(1 << 20, u'x');
        QTest::newRow("IN before any SET")
            << Setup::NothingOpened << "INcmd"
            << QStringList{"\"IN\" failed", "not open", "Press \"SET\""} << QStringList{"Port "};
        QTest::newRow("empty") << Setup::PortText << ""
                               << QStringList{"\"SET\" failed", "not a port number"}
                               << QStringList{};
        QTest::newRow("a megabyte, quoted in part")
            << Setup::PortText << megabyte << QStringList{"not a port number", megabyte.left(40)}
            << QStringList{megabyte.left(41)};
        QTest::newRow("40000 is a number, not a port")
            << Setup::PortText << "40000" << QStringList{"\"\u206840000\u2069\"", "1-96", kToolTip}
            << QStringList{"not a port number"};
        QTest::newRow("97 has no device")
            << Setup::PortText << "97" << QStringList{"Port 97", "1-96", kToolTip} << QStringList{};
        QTest::newRow("bidi override, isolate end, controls: shown, in an isolate")
            << Setup::PortText << QStringLiteral("1\u202E\u2069\u0085\n\x7F")
            << QStringList{QStringLiteral(
                   "Port \"\u20681<U+202E><U+2069><U+0085>\u240A\u2421\u2069\": "
                   "this is not a port number.")}
            << QStringList{QStringLiteral("\u202E"), QStringLiteral("\n\x7F")};
        QTest::newRow("a malformed network address: the part that is wrong")
            << Setup::PortText << "rfc2217://127.0.0.1:0"
            << QStringList{"\"SET\" failed", "address is not understood",
                           "The port \"0\" is not a number from 1 to 65535."}
            << QStringList{"not a port number"};
        QTest::newRow("a network port nothing listens on")
            << Setup::PortText << QStringLiteral("socket://127.0.0.1:%1").arg(Ser2net::freePort())
            << QStringList{"socket://127.0.0.1:", "nothing listens on that port",
                           "Check that ser2net runs on 127.0.0.1"}
            << QStringList{"Port 4", "Port 3"};
        QTest::newRow("device missing")
            << Setup::MissingDevice << "3"
            << QStringList{"Port 3 (/dev/", "no such device", kToolTip} << QStringList{};
        for (const auto &[what, setup] : {std::pair("a named pipe (FIFO)", Setup::Fifo),
                                          std::pair("a regular file", Setup::RegularFile),
                                          std::pair("a directory", Setup::Directory)})
            QTest::newRow(what) << setup << "3"
                                << QStringList{"ttyUSB0): this is not a serial device.",
                                               QStringLiteral("ttyUSB0 is %1.").arg(what)}
                                << QStringList{"Inappropriate ioctl", "System:"};
        QTest::newRow("held open by another program")
            << Setup::HeldByAnother << "3"
            << QStringList{"Port 3 (/dev/", "in use by another program"} << QStringList{};
        const QStringList unplugged{"gone away", "System: Input/output error"};
        const QStringList notUnplugged{"Inappropriate ioctl"};
        QTest::newRow("unplugged while idle")
            << Setup::Unplugged << "" << unplugged << notUnplugged;
        QTest::newRow("unplugged before an output")
            << Setup::Unplugged << "PORTout" << unplugged << notUnplugged;
        QTest::newRow("unplugged before a query")
            << Setup::Unplugged << "INcmd" << unplugged << notUnplugged;
        QTest::newRow("unplugged right after a write")
            << Setup::UnplugLater << "PORTout" << unplugged << notUnplugged;
        QTest::newRow("unplugged during a wait")
            << Setup::UnplugLater << "AD3cmd" << unplugged << notUnplugged;
    }

    // Told once; a port open before is closed, and a refused port number leaves
    // the number it had. The frame of a press stays shown, the result boxes keep
    // their text.
    void failureSaysWhatToDo()
    {
        QFETCH(Setup, setup);
        QFETCH(QString, input);
        QFETCH(QStringList, told);
        QFETCH(QStringList, notTold);
        PanelHarness harness;
        SerialLink other;
        harness.setText("AD3data", QStringLiteral("kept"));
        if (setup != Setup::NothingOpened)
            harness.openPort(QStringLiteral("4"));
        QTemporaryDir scratch;
        const QString nonDevice = scratch.filePath(QStringLiteral("ttyUSB0"));
        if (setup == Setup::Fifo)
            QCOMPARE(::mkfifo(qPrintable(nonDevice), 0600), 0);
        if (setup == Setup::RegularFile)
            QVERIFY(QFile(nonDevice).open(QIODevice::WriteOnly));
        if (setup == Setup::Directory)
            QVERIFY(QDir().mkdir(nonDevice));
        if (setup >= Setup::MissingDevice && setup <= Setup::Directory)
            harness.panel().serialLink().setDeviceResolver([&](int) {
                return std::optional<QString>(setup == Setup::MissingDevice
                                                  ? QStringLiteral("/dev/ttyUSB-not-there")
                                                  : nonDevice);
            });
        if (setup == Setup::HeldByAnother) {
            other.setDeviceResolver([&](int) { return harness.board(3).devicePath(); });
            other.setPortOpen(true);
        }
        if (setup == Setup::Unplugged)
            harness.board(4).vanish();
        if (setup == Setup::UnplugLater)
            QTimer::singleShot(0, [&] { harness.board(4).vanish(); });
        const bool pressed = setup >= Setup::NothingOpened && !input.isEmpty();
        if (pressed)
            harness.click(qPrintable(input));
        else if (setup < Setup::NothingOpened)
            harness.openPort(input);

        QTRY_COMPARE(harness.messages.size(), 1);
        QVERIFY(idleCpu() < 150ms);
        QCOMPARE(harness.messages.size(), 1);
        told.replaceInStrings(kToolTip, harness.portBoxToolTip());
        const QString wrong = wrongWords(harness.messages[0], told, notTold);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
        QVERIFY(!harness.panel().serialLink().portOpen());
        QCOMPARE(harness.indicator(), kGrey);
        if (setup == Setup::PortText)
            QCOMPARE(harness.panel().serialLink().commPort(), qint16(4));
        QCOMPARE(harness.text("Label1").startsWith(u'\002'), pressed);
        QCOMPARE(harness.text("AD3data"), QStringLiteral("kept"));
    }

    void refusalOfAnotherUserSaysWhatHelps_data()
    {
        QTest::addColumn<QString>("group");
        QTest::addColumn<int>("mode");
        QTest::addColumn<Lock>("lock");
        QTest::addColumn<QStringList>("told");
        QTest::addColumn<QStringList>("notTold");
        QTest::newRow("root's 0600 device")
            << "tty" << 0600 << Lock::None
            << QStringList{"user \"root\"", "0600", "administrator", "udev"}
            << QStringList{"usermod"};
        QTest::newRow("read and write for the root group only")
            << "root" << 0660 << Lock::None << QStringList{"group \"root\"", "administrator"}
            << QStringList{"usermod"};
        QTest::newRow("read and write for dialout")
            << "dialout" << 0660 << Lock::None << QStringList{"sudo usermod -aG dialout $USER"}
            << QStringList{"administrator"};
        QTest::newRow("root's stale lock")
            << "root" << 0666 << Lock::OfAnEndedProgram
            << QStringList{"stale lock", kLockFile, "sudo rm " + kLockFile}
            << QStringList{"another program"};
        QTest::newRow("root's lock of a running program")
            << "root" << 0666 << Lock::OfARunningProgram
            << QStringList{"in use by another program", "(tst_panel)"}
            << QStringList{"stale", "rm "};
    }

    // Root may open anything, so "SET" is pressed by the user nobody in a child.
    void refusalOfAnotherUserSaysWhatHelps()
    {
        QFETCH(QString, group);
        QFETCH(int, mode);
        QFETCH(Lock, lock);
        QFETCH(QStringList, told);
        QFETCH(QStringList, notTold);
        if (::geteuid() != 0)
            QSKIP("only root can give a device to another user");

        PanelHarness harness;
        const QByteArray device = harness.board().devicePath().toLocal8Bit();
        const ::group *owner = ::getgrnam(group.toLatin1().constData());
        QVERIFY(owner);
        QCOMPARE(::chown(device.constData(), 0, owner->gr_gid), 0);
        QCOMPARE(::chmod(device.constData(), static_cast<mode_t>(mode)), 0);

        const QString lockPath = lockFilePath(harness.board().devicePath());
        QFile::remove(lockPath); // an earlier pseudo-terminal of this number may have left one
        std::unique_ptr<QLockFile> running;
        if (lock == Lock::OfAnEndedProgram) {
            const pid_t holder = ::fork();
            if (holder == 0)
                ::_exit(QLockFile(lockPath).tryLock(0) ? 0 : 1); // exits without unlocking
            ::waitpid(holder, nullptr, 0);
        } else if (lock == Lock::OfARunningProgram) {
            running = std::make_unique<QLockFile>(lockPath);
            QVERIFY(running->tryLock(0));
        }
        told.replaceInStrings(kLockFile, QFileInfo(lockPath).canonicalFilePath());

        const bool toldRight = setAsNobodyIsTold(harness, told, notTold);
        running.reset();
        QFile::remove(lockPath);
        QVERIFY(toldRight);
    }

    void aServerThatDoesNotAnswerHoldsNothingBack_data() { addSilentServerRows(); }
    // While SET waits for the server the window's timer ticks, and a close
    // request ends it at once; a press runs no handler in the middle of SET.
    void aServerThatDoesNotAnswerHoldsNothingBack()
    {
        QFETCH(SilentPort::Connects, connects);
        QFETCH(QString, scheme);
        const SilentPort port(connects);
        QVERIFY(port.port() != 0);
        PanelHarness harness;
        harness.panel().show();
        QVERIFY(QTest::qWaitForWindowExposed(&harness.panel()));
        QSignalSpy ticks(harness.panel().findChild<QTimer *>("Timer1"), &QTimer::timeout);
        QTimer::singleShot(200ms,
                           [&] { QTest::mouseClick(harness.control("B0cmd"), Qt::LeftButton); });
        QTimer::singleShot(400ms, [&] { harness.panel().close(); });
        QElapsedTimer clock;
        clock.start();
        harness.openPort(QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(port.port()));
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(ticks.size() >= 3);
        QCOMPARE(harness.messages, QStringList());
        QCOMPARE(harness.text("Label1"), QString());
        QVERIFY(!harness.panel().serialLink().portOpen());
    }

    void hostileServers_data() { addHostileServerRows(); }
    // Whatever the server does, the panel tells it in one box within the
    // time-out plus the late window plus 250 ms (and the 500 ms a discard waits
    // for a confirmation that does not come), and stays under 64 MiB; a close
    // request in the middle of SET ends it at once.
    void hostileServers()
    {
        QFETCH(Hostile, hostile);
        if (const char *why = runsElsewhere(hostile))
            QSKIP(why);
        if (hostile == Hostile::Busy && !Ser2net::available())
            QSKIP("no ser2net (Debian's ser2net package)");
        const std::optional<QString> wrong =
            hostile == Hostile::Vanishes ? ownnetwork::run(&hostileRun) : hostileRun();
        if (!wrong)
            QSKIP("no network namespace may be made here");
        QVERIFY2(wrong->isEmpty(), qPrintable(*wrong));
    }

    // A box still up would keep its handler, and the program, running after the window.
    void closingWhileAMessageBoxIsUpEndsEverything()
    {
        PanelHarness harness;
        harness.panel().setMessagePresenter({}); // the real box
        harness.panel().show();
        QVERIFY(QTest::qWaitForWindowExposed(&harness.panel()));
        bool boxWasUp = false;
        QTimer::singleShot(200ms, [&] {
            boxWasUp = harness.panel().findChild<QMessageBox *>() != nullptr;
            harness.panel().close();
        });
        harness.click("PORTout");
        QVERIFY(boxWasUp);
        QVERIFY(!harness.panel().isVisible());
    }

private:
    // One row of hostileServers, in the network it is given; what went wrong.
    static QString hostileRun()
    {
        QFETCH(Hostile, hostile);
        QFETCH(QString, scheme);
        QFETCH(QString, told);
        // The peak that getrusage tells is then this row's (Linux's clear_refs).
        ownnetwork::writeFile("/proc/self/clear_refs", "5");
        HostileScene scene(hostile, scheme);
        PanelHarness harness;
        QElapsedTimer clock;
        clock.start();
        const bool closed = hostile == Hostile::TalksFirst;
        if (closed)
            QTimer::singleShot(200ms, &harness.panel(), [&] { harness.panel().close(); });
        harness.openPort(scene.url());
        const bool pressed = hostile == Hostile::Flood || hostile == Hostile::Vanishes;
        if (pressed && QTest::qWaitFor([&] { return scene.started(); }, 1000)) {
            clock.start();
            harness.click("INcmd");
        }
        const bool settled =
            QTest::qWaitFor([&] { return closed || !harness.messages.isEmpty(); }, 7000);
        QString wrong = settled ? QString() : QStringLiteral("nothing told in 7 s; ");
        if (clock.elapsed() > (closed ? 300 : (scheme == u"rfc2217" ? 500 : 0) + 6250))
            wrong += QStringLiteral("took %1 ms; ").arg(clock.elapsed());
        if (closed ? !harness.messages.isEmpty()
                   : harness.messages.size() != 1 || !harness.messages[0].contains(told))
            wrong += QStringLiteral("told \"%1\"; ").arg(harness.messages.join(u'|'));
        if (hostile != Hostile::Flood && harness.indicator() != kGrey)
            wrong += QStringLiteral("the indicator not grey; ");
        rusage usage{};
        ::getrusage(RUSAGE_SELF, &usage);
        if (kPeakMemoryChecked && usage.ru_maxrss >= 64L * 1024)
            wrong += QStringLiteral("peak memory %1 KiB; ").arg(usage.ru_maxrss);
        return wrong;
    }
};

QTEST_MAIN(PanelTest)
#include "tst_panel.moc"
