#pragma once

#include <QList>
#include <QWidget>

class BoardLed;
class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSlider;
class QSpinBox;
class VirtualBoard;

// The virtual board's own window: what the panel has set (LEDs of the port B
// latch, direction, PWM duties, last buzzer), the inputs the board reports, and
// the faults. Every widget has an object name so tests can find it.
class BoardWindow : public QWidget
{
    Q_OBJECT

public:
    explicit BoardWindow(VirtualBoard &board, QWidget *parent = nullptr);

private:
    QWidget *buildOutputs();
    QWidget *buildInputs();
    QWidget *buildLine();
    void connectBoard();

    void showPortB(quint8 value);
    void showDirection(quint8 value);
    void showPwm(int channel, int duty);
    void showBuzzer();
    void showAnalog(int channel, int value);
    void showOpen(bool open);

    VirtualBoard &m_board;
    QLabel *m_devicePath = nullptr;
    QLabel *m_lineState = nullptr;
    QList<BoardLed *> m_leds; // bit 0 first
    QLabel *m_portBValue = nullptr;
    QLabel *m_directionValue = nullptr;
    QLabel *m_directionBits = nullptr;
    QList<QProgressBar *> m_pwmBars;
    QLabel *m_buzzerLength = nullptr;
    QLabel *m_buzzerFrequency = nullptr;
    QLabel *m_buzzerCount = nullptr;
    QSpinBox *m_portA = nullptr;
    QList<QSlider *> m_analogSliders;
    QList<QLabel *> m_analogValues;
    QComboBox *m_fault = nullptr;
    QCheckBox *m_paced = nullptr;
    QPushButton *m_unplug = nullptr;
    QPushButton *m_plugIn = nullptr;
    QLabel *m_lastFrame = nullptr;
    QLabel *m_lastReply = nullptr;
};
