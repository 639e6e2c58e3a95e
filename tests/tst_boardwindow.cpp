#include "BoardWindow.h"
#include "VirtualBoard.h"

#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Writes frames to the board's device as the panel would, and closes it again.
void sendToBoard(const VirtualBoard &board, const QByteArray &bytes)
{
    const int fd = ::open(board.devicePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    QVERIFY(fd >= 0);
    termios raw{};
    ::tcgetattr(fd, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(fd, TCSANOW, &raw);
    QCOMPARE(::write(fd, bytes.constData(), bytes.size()), bytes.size());
    ::close(fd);
}

QByteArray framed(const QByteArray &body)
{
    return '\x02' + body + '\r';
}

} // namespace

// The board's window: it shows what the panel set and feeds the board what it reports.
class BoardWindowTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void ledsShowTheLatchBitForBit_data();
    void ledsShowTheLatchBitForBit();
    void showsDirectionPwmAndBuzzer();
    void inputControlsSetWhatTheBoardReports();
    void lineControlsSwitchFaultsAndUnplug();

private:
    template <typename T>
    T *control(const char *name) const
    {
        T *widget = m_window->findChild<T *>(QString::fromLatin1(name));
        if (!widget)
            qFatal("no control %s", name);
        return widget;
    }
    QString text(const char *label) const { return control<QLabel>(label)->text(); }

    VirtualBoard *m_board = nullptr;
    BoardWindow *m_window = nullptr;
};

void BoardWindowTest::init()
{
    m_board = new VirtualBoard;
    m_window = new BoardWindow(*m_board);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void BoardWindowTest::cleanup()
{
    delete m_window;
    delete m_board;
}

void BoardWindowTest::ledsShowTheLatchBitForBit_data()
{
    QTest::addColumn<QByteArray>("frames");
    QTest::addColumn<int>("latch");
    QTest::addColumn<QString>("shown");

    QTest::newRow("b3 on") << framed("B31") << 0x08 << QStringLiteral("08");
    QTest::newRow("b0 and b7 on") << framed("B01") + framed("B71") << 0x81 << QStringLiteral("81");
    QTest::newRow("a whole byte") << framed("O5A") << 0x5A << QStringLiteral("5A");
    QTest::newRow("a whole byte, then b1 off")
        << framed("OFF") + framed("B10") << 0xFD << QStringLiteral("FD");
}

void BoardWindowTest::ledsShowTheLatchBitForBit()
{
    QFETCH(QByteArray, frames);
    QFETCH(int, latch);
    QFETCH(QString, shown);

    sendToBoard(*m_board, frames);
    QTRY_COMPARE(m_board->portB(), latch);
    for (int bit = 0; bit < 8; ++bit) {
        const QByteArray led = "led" + QByteArray::number(bit);
        QCOMPARE(control<QWidget>(led.constData())->property("lit").toBool(),
                 bool(latch & (1 << bit)));
    }
    QCOMPARE(text("portBValue"), shown);
}

void BoardWindowTest::showsDirectionPwmAndBuzzer()
{
    sendToBoard(*m_board, framed("T0F") + framed("P01F4") + framed("P13FF") + framed("Z2307"));
    QTRY_COMPARE(m_board->buzzerCount(), 1);

    QCOMPARE(text("directionValue"), QStringLiteral("0F"));
    QCOMPARE(text("directionBits"), QStringLiteral("00001111"));
    QCOMPARE(control<QProgressBar>("pwm0Bar")->value(), 500);
    QCOMPARE(control<QProgressBar>("pwm1Bar")->value(), 1023);
    QCOMPARE(text("buzzerLength"), QStringLiteral("23"));
    QCOMPARE(text("buzzerFrequency"), QStringLiteral("07"));
    QCOMPARE(text("buzzerCount"), QStringLiteral("1"));
}

void BoardWindowTest::inputControlsSetWhatTheBoardReports()
{
    control<QSpinBox>("portASpin")->setValue(0x5A);
    control<QSlider>("analog2Slider")->setValue(0x1F4);
    QCOMPARE(m_board->portsReplyBody().mid(1, 2), QByteArray("5A"));
    QCOMPARE(m_board->channelReplyBody(2).mid(1, 3), QByteArray("1F4"));
    QCOMPARE(text("analog2Value"), QStringLiteral("1F4"));
    QCOMPARE(m_board->analogValue(1), 0);

    // Set elsewhere (the command line), the window follows.
    m_board->setAnalogValue(3, 0x3FF);
    m_board->setPortA(0x07);
    QCOMPARE(control<QSlider>("analog3Slider")->value(), 0x3FF);
    QCOMPARE(text("analog3Value"), QStringLiteral("3FF"));
    QCOMPARE(control<QSpinBox>("portASpin")->value(), 0x07);
}

void BoardWindowTest::lineControlsSwitchFaultsAndUnplug()
{
    auto *fault = control<QComboBox>("faultCombo");
    fault->setCurrentIndex(fault->findData(QVariant::fromValue(VirtualBoard::Fault::NoReply)));
    QCOMPARE(m_board->fault(), VirtualBoard::Fault::NoReply);
    m_board->setFault(VirtualBoard::Fault::SplitReply);
    QCOMPARE(fault->currentData().value<VirtualBoard::Fault>(), VirtualBoard::Fault::SplitReply);

    const QString path = m_board->devicePath();
    QCOMPARE(text("devicePath"), path);
    QTest::mouseClick(control<QPushButton>("unplugButton"), Qt::LeftButton);
    QVERIFY(!m_board->isOpen());
    QCOMPARE(text("lineState"), QStringLiteral("unplugged"));
    QVERIFY(!control<QPushButton>("unplugButton")->isEnabled());

    QTest::mouseClick(control<QPushButton>("plugInButton"), Qt::LeftButton);
    QVERIFY(m_board->isOpen());
    QCOMPARE(text("lineState"), QStringLiteral("plugged in"));
    QCOMPARE(text("devicePath"), m_board->devicePath());
}

QTEST_MAIN(BoardWindowTest)
#include "tst_boardwindow.moc"
