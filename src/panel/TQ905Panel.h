#pragma once

#include "Queries.h"
#include "QueryExchange.h"
#include "SerialLink.h"

#include <QMessageBox>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <functional>

class CommandDisplay;
class IndicatorShape;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;

// The test panel: the one window, its controls, the serial link to the board and
// the handlers that turn button presses into frames and replies into values.
class TQ905Panel : public QWidget
{
    Q_OBJECT

public:
    struct Message {
        QString title;
        QString text;
        QMessageBox::Icon icon;
    };
    // Shows a message and returns once the operator has closed it.
    using MessagePresenter = std::function<void(const Message &)>;

    static constexpr std::chrono::milliseconds kTickInterval{100};
    static constexpr qint16 kReplyTicks = 30;
    // A reply that comes within this after its wait ended in "Receive ERR" is
    // still told from the next query's: the next query waits that long at most.
    static constexpr std::chrono::milliseconds kLateReplyWindow = kReplyTicks * kTickInterval;

    explicit TQ905Panel(QWidget *parent = nullptr);

    SerialLink &serialLink() { return COM; }
    void setMessagePresenter(MessagePresenter presenter);

    void COM_OPEN();
    void COM_CLOSE();
    // Waits for the reply of the query just sent, RCVnmb bytes with its STX;
    // empty after "Receive ERR".
    QString WAIT_STXMSG(qint16 RCVnmb);

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    class PanelWait;
    // A query pressed: what it sends and where its reply's fields go.
    struct PendingQuery {
        query::QuerySpec spec;
        QList<QLineEdit *> resultBoxes;
        QPushButton *button = nullptr;
    };

    void bindControls();
    void wireHandlers();
    void onClick(const char *buttonName, std::function<void()> handler);
    void runGuarded(const QString &action, const std::function<void()> &handler);
    void showMessage(const Message &message);
    void showFailure(const QString &action, const QString &reason);

    void Form_Load();
    void Timer1_Timer();
    void COMset_Click();
    void EXIT_button_Click();
    void bitClick(int bit);
    void BZcmd_Click();
    void PWMcmd_Click(int channel);
    void PORTout_Click();
    void TRIScmd_Click();
    void INcmd_Click();
    void ADcmd_Click(int channel);

    void sendFrame(const QByteArray &frame);
    void pressQuery(const PendingQuery &query);
    void runQuery(const PendingQuery &query);
    void dropPendingQueries();

    SerialLink COM{this};
    QTimer Timer1{this};
    qint16 m_replyCountdown = 0;
    bool m_unloading = false;
    int m_inputHolds = 0; // a box is up, or a port is being opened
    QueryExchange m_exchange{COM, kLateReplyWindow};
    QList<PendingQuery> m_pendingQueries; // pressed, waiting their turn
    bool m_queriesRunning = false;
    MessagePresenter m_presenter;

    IndicatorShape *Shape1 = nullptr;
    QComboBox *COMNOcmb = nullptr;
    QLabel *COMlabel = nullptr;
    CommandDisplay *Label1 = nullptr;
    QLineEdit *Pdata = nullptr;
    QLineEdit *TRIS = nullptr;
    QLineEdit *BZcnt = nullptr;
    QLineEdit *BZtone = nullptr;
    QLineEdit *INdataA = nullptr;
    QLineEdit *INdataB = nullptr;
    QPushButton *INcmd = nullptr;
    QList<QPushButton *> m_channelButtons; // AD0cmd ... AD3cmd
    QList<QLineEdit *> m_channelBoxes;     // AD0data ... AD3data
    QList<QScrollBar *> m_pwmBars;         // HScroll0, HScroll1
    QList<QPushButton *> m_bitButtons;     // B0cmd ... B7cmd
};
