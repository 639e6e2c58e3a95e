#include "TQ905Panel.h"

#include "AvailablePorts.h"
#include "CommandDisplay.h"
#include "CommandFrame.h"
#include "ControlTable.h"
#include "HeldKeys.h"
#include "IndicatorShape.h"
#include "OutputCommands.h"
#include "PanelBuilder.h"
#include "PortNumber.h"
#include "PortOpening.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>

#include <algorithm>
#include <utility>

namespace {

constexpr char kBitTagProperty[] = "tag";
const QString kSettingsCaption = QStringLiteral("  9600 Npari 8bit 1stop");
constexpr std::chrono::microseconds kDeviceWatch{2000};

// A small sans-serif, so the captions fit the boxes the layout gives them.
QFont defaultPanelFont()
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(11);
    return font;
}

// What an operator does with mouse, keyboard or touch.
bool isOperatorInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::ContextMenu:
        return true;
    default:
        return false;
    }
}

// How the panel tells a failure: in a box, of its port box and "SET".
FailureWords failureWords()
{
    return {
        QStringLiteral("press \"SET\""),
        QStringLiteral("Enter a whole number such as 3."),
        portNumbersText(),
        QStringLiteral("port number"),
        QStringLiteral("Press \"SET\" first; that opens the port whose number is in the port box."),
        QStringLiteral("\n\n"),
        true,
        false};
}

template <typename T>
T *namedChild(const QWidget *window, const QString &name)
{
    T *child = window->findChild<T *>(name);
    Q_ASSERT_X(child, "TQ905Panel", qPrintable(name));
    return child;
}

} // namespace

// The panel's wait in a query: the event loop runs between looks at the input,
// and sleeps until something happens. The 100 ms tick is always something, so a
// wait is never more than a tick past its end. A wait whose port has been closed
// under it (shutdown, a lost device, a failed "SET") is given up.
class TQ905Panel::PanelWait : public ExchangeWait
{
public:
    explicit PanelWait(TQ905Panel &panel)
        : m_panel(panel)
    {
    }

    void yield(Clock::time_point /*until*/) override
    {
        if (watchDevice())
            return;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (m_panel.m_unloading || !m_panel.COM.portOpen())
            throw SerialError(SerialError::Kind::WaitAbandoned, {});
    }

private:
    // A board that answers at once is heard on the device itself, before the
    // event loop repaints what the press changed. Only for the first moments of
    // the wait, so ticks and repaints are never more than that late.
    bool watchDevice()
    {
        const auto left =
            std::chrono::duration_cast<std::chrono::microseconds>(m_watchEnd - Clock::now());
        return left.count() > 0 && m_panel.COM.waitForArrivingInput(left);
    }

    TQ905Panel &m_panel;
    const Clock::time_point m_watchEnd = Clock::now() + kDeviceWatch;
};

TQ905Panel::TQ905Panel(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("TQ905Panel"));
    setWindowTitle(QStringLiteral("TQ905_Panel"));
    setFixedSize(twipsToPixels(kClientWidthTwips), twipsToPixels(kClientHeightTwips));
    setFont(defaultPanelFont());
    buildPanelControls(this);
    bindControls();
    wireHandlers();

    COM.setObjectName(QStringLiteral("COM"));
    Timer1.setObjectName(QStringLiteral("Timer1"));
    Timer1.setInterval(kTickInterval);
    connect(&Timer1, &QTimer::timeout, this, &TQ905Panel::Timer1_Timer);
    Timer1.start();

    // A connect to a network port repaints, ticks and takes a close request
    // while it waits; the operator's presses are held off, as under a box.
    COM.setOpeningYield([this] {
        QCoreApplication::processEvents();
        if (m_unloading)
            throw SerialError(SerialError::Kind::WaitAbandoned, {});
    });
    Form_Load();
    QCoreApplication::instance()->installEventFilter(this);
    // Last, so that it is asked first and sees every key release.
    QCoreApplication::instance()->installEventFilter(new HeldKeys(this));
    namedChild<QPushButton>(this, QStringLiteral("EXIT_button"))->setFocus();
}

void TQ905Panel::setMessagePresenter(MessagePresenter presenter)
{
    m_presenter = std::move(presenter);
}

void TQ905Panel::bindControls()
{
    Shape1 = namedChild<IndicatorShape>(this, QStringLiteral("Shape1"));
    COMNOcmb = namedChild<QComboBox>(this, QStringLiteral("COMNOcmb"));
    COMlabel = namedChild<QLabel>(this, QStringLiteral("COMlabel"));
    Label1 = namedChild<CommandDisplay>(this, QStringLiteral("Label1"));
    Pdata = namedChild<QLineEdit>(this, QStringLiteral("Pdata"));
    TRIS = namedChild<QLineEdit>(this, QStringLiteral("TRIS"));
    BZcnt = namedChild<QLineEdit>(this, QStringLiteral("BZcnt"));
    BZtone = namedChild<QLineEdit>(this, QStringLiteral("BZtone"));
    INdataA = namedChild<QLineEdit>(this, QStringLiteral("INdataA"));
    INdataB = namedChild<QLineEdit>(this, QStringLiteral("INdataB"));
    INcmd = namedChild<QPushButton>(this, QStringLiteral("INcmd"));
    for (int channel = 0; channel < 4; ++channel) {
        m_channelBoxes << namedChild<QLineEdit>(this, QStringLiteral("AD%1data").arg(channel));
        m_channelButtons << namedChild<QPushButton>(this, QStringLiteral("AD%1cmd").arg(channel));
    }
    for (int channel = 0; channel < 2; ++channel)
        m_pwmBars << namedChild<QScrollBar>(this, QStringLiteral("HScroll%1").arg(channel));
    for (int bit = 0; bit < 8; ++bit)
        m_bitButtons << namedChild<QPushButton>(this, QStringLiteral("B%1cmd").arg(bit));
    COMNOcmb->installEventFilter(this);
}

void TQ905Panel::wireHandlers()
{
    onClick("COMset", [this] { COMset_Click(); });
    onClick("EXIT_button", [this] { EXIT_button_Click(); });
    for (int bit = 0; bit < 8; ++bit)
        onClick(qPrintable(QStringLiteral("B%1cmd").arg(bit)), [this, bit] { bitClick(bit); });
    onClick("BZcmd", [this] { BZcmd_Click(); });
    onClick("PWM0cmd", [this] { PWMcmd_Click(0); });
    onClick("PWM1cmd", [this] { PWMcmd_Click(1); });
    onClick("PORTout", [this] { PORTout_Click(); });
    onClick("TRIScmd", [this] { TRIScmd_Click(); });
    onClick("INcmd", [this] { INcmd_Click(); });
    for (int channel = 0; channel < 4; ++channel)
        onClick(qPrintable(QStringLiteral("AD%1cmd").arg(channel)),
                [this, channel] { ADcmd_Click(channel); });

    connect(&COM, &SerialLink::portOpenChanged, this, [this](bool open) {
        if (open)
            return;
        Shape1->setFillColor(QColor(IndicatorShape::kIdleGrey));
        // "SET" is the way out of a long wait: a query in flight goes on, on
        // the port opened again, but nothing waits for its turn any more and
        // nothing is owed from the port closed.
        dropPendingQueries();
        m_exchange.forgetOwedReply();
    });
    connect(&COM, &SerialLink::deviceLost, this, [this](const SerialError &error) {
        showFailure(QStringLiteral("The serial line"), error.operatorMessage(failureWords()));
    });
}

void TQ905Panel::onClick(const char *buttonName, std::function<void()> handler)
{
    auto *button = namedChild<QPushButton>(this, QString::fromLatin1(buttonName));
    connect(button, &QPushButton::clicked, this,
            [this, button, handler = std::move(handler)] { runGuarded(button->text(), handler); });
}

// The one place where a failure of a handler reaches the operator. The handler
// has stopped at the failing step; nothing before it is undone.
void TQ905Panel::runGuarded(const QString &action, const std::function<void()> &handler)
{
    try {
        handler();
    } catch (const SerialError &error) {
        if (!error.isSilent())
            showFailure(QStringLiteral("\"%1\"").arg(action),
                        error.operatorMessage(failureWords()));
    } catch (const std::exception &error) {
        showFailure(QStringLiteral("\"%1\"").arg(action), QString::fromLocal8Bit(error.what()));
    }
}

void TQ905Panel::showFailure(const QString &action, const QString &reason)
{
    showMessage({QStringLiteral("ERROR"), action + QStringLiteral(" failed.\n\n") + reason,
                 QMessageBox::Critical});
}

// The box is not modal: Qt drops a close request to a window that a modal box
// blocks, and the unload must never be refused. The panel's own input is held
// off instead (eventFilter) until the box is closed.
void TQ905Panel::showMessage(const Message &message)
{
    if (m_presenter) {
        m_presenter(message);
        return;
    }
    QMessageBox box(message.icon, message.title, message.text, QMessageBox::Ok, this);
    box.setModal(false);
    QEventLoop untilClosed;
    connect(&box, &QDialog::finished, &untilClosed, &QEventLoop::quit);
    ++m_inputHolds;
    const auto released = qScopeGuard([this] { --m_inputHolds; });
    box.show();
    box.activateWindow();
    untilClosed.exec();
}

bool TQ905Panel::eventFilter(QObject *watched, QEvent *event)
{
    if (m_inputHolds > 0 && isOperatorInput(event->type()) && watched->isWidgetType()
        && static_cast<QWidget *>(watched)->window() == this)
        return true;
    // The list of devices present is read when the operator asks for it.
    if (watched == COMNOcmb && event->type() == QEvent::ToolTip)
        COMNOcmb->setToolTip(availablePortsSummary());
    return QWidget::eventFilter(watched, event);
}

void TQ905Panel::Form_Load()
{
    COMlabel->setText(QStringLiteral("COM:") + kSettingsCaption);
}

void TQ905Panel::closeEvent(QCloseEvent *event)
{
    COM_CLOSE();
    m_unloading = true;
    // A message box still up would keep the program alive after its window.
    for (QMessageBox *box : findChildren<QMessageBox *>())
        box->reject();
    event->accept();
}

void TQ905Panel::EXIT_button_Click()
{
    COM_CLOSE();
    close();
}

void TQ905Panel::Timer1_Timer()
{
    if (m_replyCountdown != 0)
        --m_replyCountdown;
}

void TQ905Panel::COM_OPEN()
{
    ++m_inputHolds;
    const auto released = qScopeGuard([this] { --m_inputHolds; });
    openAsSet(COM, COMNOcmb->currentText());
}

void TQ905Panel::COM_CLOSE()
{
    if (COM.portOpen())
        COM.setPortOpen(false);
}

void TQ905Panel::COMset_Click()
{
    COM_OPEN();
    Shape1->setFillColor(QColor(IndicatorShape::kOpenGreen));
}

void TQ905Panel::sendFrame(const QByteArray &frame)
{
    Label1->setText(frame::lineText(frame));
    COM.setOutput(frame);
}

void TQ905Panel::bitClick(int bit)
{
    QPushButton *button = m_bitButtons[bit];
    const output::BitPress press =
        output::bitStep(bit, button->property(kBitTagProperty).toString());
    sendFrame(press.frame);
    button->setProperty(kBitTagProperty, press.newTag);
}

void TQ905Panel::BZcmd_Click()
{
    sendFrame(output::buzzerFrame(BZcnt->text(), BZtone->text()));
}

void TQ905Panel::PWMcmd_Click(int channel)
{
    sendFrame(output::pwmFrame(channel, m_pwmBars[channel]->value()));
}

void TQ905Panel::PORTout_Click()
{
    sendFrame(output::portOutputFrame(Pdata->text()));
}

void TQ905Panel::TRIScmd_Click()
{
    sendFrame(output::directionFrame(TRIS->text()));
}

void TQ905Panel::INcmd_Click()
{
    pressQuery({query::portQuery(), {INdataA, INdataB}, INcmd});
}

void TQ905Panel::ADcmd_Click(int channel)
{
    pressQuery(
        {query::channelQuery(channel), {m_channelBoxes[channel]}, m_channelButtons[channel]});
}

namespace {

// A query waiting its turn shows as its button held down, also to a screen
// reader (checked).
void holdDown(QPushButton *button, bool held)
{
    button->setCheckable(held);
    button->setChecked(held);
}

} // namespace

// One query in flight: a query pressed while another is in flight, or while
// the reply of one that failed may still come, waits its turn with its button
// held down, and a second press of that button changes nothing. Each query's
// outcome, its "Receive ERR" box included, is shown before the next frame goes.
void TQ905Panel::pressQuery(const PendingQuery &query)
{
    const bool waiting =
        std::any_of(m_pendingQueries.cbegin(), m_pendingQueries.cend(),
                    [&](const PendingQuery &q) { return q.button == query.button; });
    if (!waiting)
        m_pendingQueries.append(query);
    if (m_queriesRunning) {
        holdDown(query.button, true);
        return;
    }
    m_queriesRunning = true;
    const auto done = qScopeGuard([this] { m_queriesRunning = false; });
    while (!m_pendingQueries.isEmpty()) {
        QPushButton *button = m_pendingQueries.first().button;
        if (m_exchange.replyOwed())
            holdDown(button, true);
        runGuarded(button->text(), [this] {
            PanelWait turn(*this);
            m_exchange.awaitTurn(turn);
        });
        if (m_pendingQueries.isEmpty()) // dropped meanwhile: SET, or the port gone
            return;
        const PendingQuery next = m_pendingQueries.takeFirst();
        holdDown(next.button, false);
        runGuarded(next.button->text(), [&] { runQuery(next); });
    }
}

void TQ905Panel::dropPendingQueries()
{
    for (const PendingQuery &query : std::exchange(m_pendingQueries, {}))
        holdDown(query.button, false);
}

// Its turn has come: no earlier reply is awaited or owed.
void TQ905Panel::runQuery(const PendingQuery &query)
{
    Label1->setText(frame::lineText(query.spec.frame));
    PanelWait discard(*this);
    m_exchange.start(query.spec.frame, discard,
                     [this](const QByteArray &frame) { sendFrame(frame); });
    Label1->setText(WAIT_STXMSG(static_cast<qint16>(query.spec.replyLength)));
    for (int i = 0; i < query.resultBoxes.size(); ++i)
        query.resultBoxes[i]->setText(query::bodyField(Label1->text(), query.spec.fields[i]));
}

QString TQ905Panel::WAIT_STXMSG(qint16 RCVnmb)
{
    m_replyCountdown = kReplyTicks;
    PanelWait wait(*this);
    const std::optional<QByteArray> body =
        m_exchange.receive(RCVnmb, wait, [this] { return m_replyCountdown == 0; });
    if (body) {
        m_replyCountdown = 0;
        return frame::lineText(*body);
    }
    showMessage({QStringLiteral("ERROR"), QStringLiteral("Receive ERR"), QMessageBox::Information});
    return {};
}
