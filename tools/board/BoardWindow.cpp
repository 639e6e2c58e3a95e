#include "BoardWindow.h"

#include "BoardLed.h"
#include "BoardOptions.h"
#include "ControlPictures.h"
#include "VirtualBoard.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

QString hex(int value, int width)
{
    return QString::number(value, 16).toUpper().rightJustified(width, u'0');
}

QString bits(quint8 value)
{
    return QString::number(value, 2).rightJustified(8, u'0');
}

// Port A as the board reports it: two upper-case hexadecimal digits.
class HexByteSpinBox : public QSpinBox
{
public:
    HexByteSpinBox()
    {
        setRange(0, 0xFF);
        setDisplayIntegerBase(16);
    }

protected:
    QString textFromValue(int value) const override { return hex(value, 2); }
};

template <typename T, typename... Args>
T *named(const QString &name, Args &&...args)
{
    T *widget = new T(std::forward<Args>(args)...);
    widget->setObjectName(name);
    return widget;
}

} // namespace

BoardWindow::BoardWindow(VirtualBoard &board, QWidget *parent)
    : QWidget(parent)
    , m_board(board)
{
    setObjectName(QStringLiteral("BoardWindow"));
    setWindowTitle(QStringLiteral("TQ905 virtual board"));
    auto *layout = new QVBoxLayout(this);
    m_devicePath = named<QLabel>(QStringLiteral("devicePath"));
    m_devicePath->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_lineState = named<QLabel>(QStringLiteral("lineState"));
    auto *device = new QHBoxLayout;
    device->addWidget(named<QLabel>(QStringLiteral("devicePathCaption"), QStringLiteral("Device")));
    device->addWidget(m_devicePath);
    device->addWidget(m_lineState);
    device->addStretch();
    layout->addLayout(device);
    layout->addWidget(buildOutputs());
    layout->addWidget(buildInputs());
    layout->addWidget(buildLine());
    layout->addStretch();

    connectBoard();
    showPortB(board.portB());
    showDirection(board.direction());
    for (int channel = 0; channel < 2; ++channel)
        showPwm(channel, board.pwmDuty(channel));
    showBuzzer();
    m_portA->setValue(board.portA());
    for (int channel = 0; channel < 4; ++channel)
        showAnalog(channel, board.analogValue(channel));
    showOpen(board.isOpen());
}

QWidget *BoardWindow::buildOutputs()
{
    auto *box = named<QGroupBox>(QStringLiteral("outputsBox"), QStringLiteral("Set by the panel"));
    auto *grid = new QGridLayout(box);

    grid->addWidget(named<QLabel>(QStringLiteral("portBCaption"), QStringLiteral("Port B")), 0, 0);
    for (int bit = 0; bit < 8; ++bit)
        m_leds << named<BoardLed>(QStringLiteral("led%1").arg(bit));
    // Bit 7 on the left, as the byte is written.
    for (int bit = 7; bit >= 0; --bit) {
        const int column = 1 + (7 - bit);
        grid->addWidget(m_leds[bit], 0, column, Qt::AlignHCenter);
        auto *caption =
            named<QLabel>(QStringLiteral("led%1Caption").arg(bit), QStringLiteral("b%1").arg(bit));
        grid->addWidget(caption, 1, column, Qt::AlignHCenter);
    }
    m_portBValue = named<QLabel>(QStringLiteral("portBValue"));
    grid->addWidget(m_portBValue, 0, 9);

    grid->addWidget(named<QLabel>(QStringLiteral("directionCaption"), QStringLiteral("Direction")),
                    2, 0);
    m_directionValue = named<QLabel>(QStringLiteral("directionValue"));
    m_directionBits = named<QLabel>(QStringLiteral("directionBits"));
    auto *direction = new QHBoxLayout;
    direction->addWidget(m_directionValue);
    direction->addWidget(m_directionBits);
    direction->addStretch();
    grid->addLayout(direction, 2, 1, 1, 9);

    for (int channel = 0; channel < 2; ++channel) {
        grid->addWidget(named<QLabel>(QStringLiteral("pwm%1Caption").arg(channel),
                                      QStringLiteral("PWM%1").arg(channel)),
                        3 + channel, 0);
        auto *bar = named<QProgressBar>(QStringLiteral("pwm%1Bar").arg(channel));
        bar->setRange(0, VirtualBoard::kMaxAnalogValue);
        bar->setFormat(QStringLiteral("%v"));
        m_pwmBars << bar;
        grid->addWidget(bar, 3 + channel, 1, 1, 9);
    }

    grid->addWidget(named<QLabel>(QStringLiteral("buzzerCaption"), QStringLiteral("Buzzer")), 5, 0);
    m_buzzerLength = named<QLabel>(QStringLiteral("buzzerLength"));
    m_buzzerFrequency = named<QLabel>(QStringLiteral("buzzerFrequency"));
    m_buzzerCount = named<QLabel>(QStringLiteral("buzzerCount"));
    auto *buzzer = new QHBoxLayout;
    buzzer->addWidget(
        named<QLabel>(QStringLiteral("buzzerLengthCaption"), QStringLiteral("length")));
    buzzer->addWidget(m_buzzerLength);
    buzzer->addWidget(
        named<QLabel>(QStringLiteral("buzzerFrequencyCaption"), QStringLiteral("frequency")));
    buzzer->addWidget(m_buzzerFrequency);
    buzzer->addWidget(
        named<QLabel>(QStringLiteral("buzzerCountCaption"), QStringLiteral("sounded")));
    buzzer->addWidget(m_buzzerCount);
    buzzer->addStretch();
    grid->addLayout(buzzer, 5, 1, 1, 9);
    return box;
}

QWidget *BoardWindow::buildInputs()
{
    auto *box =
        named<QGroupBox>(QStringLiteral("inputsBox"), QStringLiteral("Reported to the panel"));
    auto *grid = new QGridLayout(box);

    grid->addWidget(named<QLabel>(QStringLiteral("portACaption"), QStringLiteral("Port A")), 0, 0);
    m_portA = named<HexByteSpinBox>(QStringLiteral("portASpin"));
    m_portA->setMinimumWidth(m_portA->fontMetrics().horizontalAdvance(QStringLiteral("FFFFFF"))
                             + 24);
    grid->addWidget(m_portA, 0, 1, Qt::AlignLeft);
    connect(m_portA, &QSpinBox::valueChanged, this,
            [this](int value) { m_board.setPortA(static_cast<quint8>(value)); });

    for (int channel = 0; channel < 4; ++channel) {
        grid->addWidget(named<QLabel>(QStringLiteral("analog%1Caption").arg(channel),
                                      QStringLiteral("AD%1").arg(channel)),
                        1 + channel, 0);
        auto *slider =
            named<QSlider>(QStringLiteral("analog%1Slider").arg(channel), Qt::Horizontal);
        slider->setRange(0, VirtualBoard::kMaxAnalogValue);
        slider->setPageStep(0x40);
        m_analogSliders << slider;
        grid->addWidget(slider, 1 + channel, 1);
        auto *value = named<QLabel>(QStringLiteral("analog%1Value").arg(channel));
        value->setMinimumWidth(value->fontMetrics().horizontalAdvance(QStringLiteral("3FF ")));
        m_analogValues << value;
        grid->addWidget(value, 1 + channel, 2);
        connect(slider, &QSlider::valueChanged, this,
                [this, channel](int v) { m_board.setAnalogValue(channel, v); });
    }
    return box;
}

QWidget *BoardWindow::buildLine()
{
    auto *box = named<QGroupBox>(QStringLiteral("lineBox"), QStringLiteral("Line"));
    auto *grid = new QGridLayout(box);

    m_fault = named<QComboBox>(QStringLiteral("faultCombo"));
    for (const boardoptions::FaultName &entry : boardoptions::faultNames())
        m_fault->addItem(QString::fromLatin1(entry.label), QVariant::fromValue(entry.fault));
    grid->addWidget(m_fault, 0, 0);
    connect(m_fault, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_board.setFault(m_fault->itemData(index).value<VirtualBoard::Fault>());
    });

    m_paced = named<QCheckBox>(QStringLiteral("pacedCheck"), QStringLiteral("9600 baud pace"));
    grid->addWidget(m_paced, 0, 1);
    connect(m_paced, &QCheckBox::toggled, &m_board, &VirtualBoard::setPaced);

    m_unplug = named<QPushButton>(QStringLiteral("unplugButton"), QStringLiteral("Unplug"));
    m_plugIn = named<QPushButton>(QStringLiteral("plugInButton"), QStringLiteral("Plug in"));
    grid->addWidget(m_unplug, 1, 0);
    grid->addWidget(m_plugIn, 1, 1);
    connect(m_unplug, &QPushButton::clicked, &m_board, &VirtualBoard::vanish);
    connect(m_plugIn, &QPushButton::clicked, &m_board, [this] { m_board.open(); });

    m_lastFrame = named<QLabel>(QStringLiteral("lastFrame"), QStringLiteral("Received: -"));
    m_lastReply = named<QLabel>(QStringLiteral("lastReply"), QStringLiteral("Sent: -"));
    grid->addWidget(m_lastFrame, 2, 0, 1, 2);
    grid->addWidget(m_lastReply, 3, 0, 1, 2);
    return box;
}

void BoardWindow::connectBoard()
{
    connect(&m_board, &VirtualBoard::portBChanged, this, &BoardWindow::showPortB);
    connect(&m_board, &VirtualBoard::directionChanged, this, &BoardWindow::showDirection);
    connect(&m_board, &VirtualBoard::pwmChanged, this, &BoardWindow::showPwm);
    connect(&m_board, &VirtualBoard::buzzerSounded, this, &BoardWindow::showBuzzer);
    connect(&m_board, &VirtualBoard::portAChanged, m_portA, &QSpinBox::setValue);
    connect(&m_board, &VirtualBoard::analogValueChanged, this, &BoardWindow::showAnalog);
    connect(&m_board, &VirtualBoard::openChanged, this, &BoardWindow::showOpen);
    connect(&m_board, &VirtualBoard::faultChanged, this, [this](VirtualBoard::Fault fault) {
        m_fault->setCurrentIndex(m_fault->findData(QVariant::fromValue(fault)));
    });
    connect(&m_board, &VirtualBoard::pacedChanged, m_paced, &QCheckBox::setChecked);
    connect(&m_board, &VirtualBoard::commandReceived, this, [this](const frame::Command &command) {
        m_lastFrame->setText(QStringLiteral("Received: ") + frame::describeCommand(command));
    });
    connect(&m_board, &VirtualBoard::frameIgnored, this, [this](const QByteArray &body) {
        m_lastFrame->setText(QStringLiteral("Ignored: ")
                             + withControlPictures(QString::fromLatin1(body)));
    });
    connect(&m_board, &VirtualBoard::replyQueued, this, [this](const QByteArray &bytes) {
        m_lastReply->setText(QStringLiteral("Sent: ")
                             + withControlPictures(QString::fromLatin1(bytes)));
    });
    m_fault->setCurrentIndex(m_fault->findData(QVariant::fromValue(m_board.fault())));
    m_paced->setChecked(m_board.paced());
}

void BoardWindow::showPortB(quint8 value)
{
    for (int bit = 0; bit < 8; ++bit)
        m_leds[bit]->setLit(value & (1u << bit));
    m_portBValue->setText(hex(value, 2));
}

void BoardWindow::showDirection(quint8 value)
{
    m_directionValue->setText(hex(value, 2));
    m_directionBits->setText(bits(value));
}

void BoardWindow::showPwm(int channel, int duty)
{
    m_pwmBars[channel]->setValue(duty);
}

void BoardWindow::showBuzzer()
{
    m_buzzerLength->setText(hex(m_board.buzzerLength(), 2));
    m_buzzerFrequency->setText(hex(m_board.buzzerFrequency(), 2));
    m_buzzerCount->setText(QString::number(m_board.buzzerCount()));
}

void BoardWindow::showAnalog(int channel, int value)
{
    m_analogSliders[channel]->setValue(value);
    m_analogValues[channel]->setText(hex(value, 3));
}

void BoardWindow::showOpen(bool open)
{
    m_devicePath->setText(m_board.devicePath());
    m_lineState->setText(open ? QStringLiteral("plugged in") : QStringLiteral("unplugged"));
    m_unplug->setEnabled(open);
    m_plugIn->setEnabled(!open);
}
