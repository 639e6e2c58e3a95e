#include "Demo.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

// The demo as a newcomer meets it: the panel and the virtual board in one
// process, driven through the panel's buttons.
class DemoTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void anyAcceptedPortNumberOpensTheBoard_data();
    void anyAcceptedPortNumberOpensTheBoard();
    void firstStepsReachTheBoardAndBringValuesBack();
    void setAfterThePlugComesBackOpensTheNewDevice();
    void closingThePanelClosesTheBoardWindow();

private:
    void click(const char *button);
    QString panelText(const char *box) const;
    bool led(int bit) const;
    void setPortText(const QString &text);

    Demo *m_demo = nullptr;
    QStringList m_messages;
};

void DemoTest::init()
{
    m_demo = new Demo;
    m_messages.clear();
    m_demo->panel().setMessagePresenter(
        [this](const TQ905Panel::Message &message) { m_messages << message.text; });
    m_demo->show();
    QVERIFY(QTest::qWaitForWindowExposed(&m_demo->panel()));
}

void DemoTest::cleanup()
{
    delete m_demo;
}

void DemoTest::click(const char *button)
{
    auto *widget = m_demo->panel().findChild<QPushButton *>(QString::fromLatin1(button));
    QVERIFY2(widget, button);
    QTest::mouseClick(widget, Qt::LeftButton);
}

QString DemoTest::panelText(const char *box) const
{
    return m_demo->panel().findChild<QLineEdit *>(QString::fromLatin1(box))->text();
}

bool DemoTest::led(int bit) const
{
    return m_demo->boardWindow()
        .findChild<QWidget *>(QStringLiteral("led%1").arg(bit))
        ->property("lit")
        .toBool();
}

void DemoTest::setPortText(const QString &text)
{
    m_demo->panel().findChild<QComboBox *>(QStringLiteral("COMNOcmb"))->setEditText(text);
}

void DemoTest::anyAcceptedPortNumberOpensTheBoard_data()
{
    QTest::addColumn<QString>("portText");
    QTest::newRow("the initial 3") << QStringLiteral("3");
    QTest::newRow("1") << QStringLiteral("1");
    QTest::newRow("a number no serial device has") << QStringLiteral("200");
    QTest::newRow("negative") << QStringLiteral("-7");
    QTest::newRow("0") << QStringLiteral("0");
}

void DemoTest::anyAcceptedPortNumberOpensTheBoard()
{
    QFETCH(QString, portText);

    setPortText(portText);
    click("COMset");
    QCOMPARE(m_messages, QStringList());
    QVERIFY(m_demo->panel().serialLink().portOpen());
    QCOMPARE(m_demo->panel().serialLink().devicePath(), m_demo->board().devicePath());
}

// "SET", "b3", "OUT", "IN", "AD0": the LEDs change, the values come back.
void DemoTest::firstStepsReachTheBoardAndBringValuesBack()
{
    m_demo->board().setPortA(0x5A);
    m_demo->board().setAnalogValue(0, 0x123);

    click("COMset");
    click("B3cmd");
    QTRY_VERIFY(led(3));
    QVERIFY(!led(2) && !led(4));

    click("PORTout"); // the box holds "0"
    QTRY_VERIFY(!led(3));

    click("INcmd");
    QCOMPARE(panelText("INdataA"), QStringLiteral("5A"));
    QCOMPARE(panelText("INdataB"), QStringLiteral("00"));
    click("AD0cmd");
    QCOMPARE(panelText("AD0data"), QStringLiteral("123"));
    QCOMPARE(m_messages, QStringList());
}

void DemoTest::setAfterThePlugComesBackOpensTheNewDevice()
{
    click("COMset");
    m_demo->board().vanish();
    QTRY_VERIFY(!m_demo->panel().serialLink().portOpen());
    QTRY_COMPARE(m_messages.size(), 1); // the panel's word about the lost line

    QVERIFY(m_demo->board().open());
    click("COMset");
    QCOMPARE(m_messages.size(), 1);
    click("B0cmd");
    QTRY_VERIFY(led(0));
}

void DemoTest::closingThePanelClosesTheBoardWindow()
{
    QVERIFY(m_demo->boardWindow().isVisible());
    click("EXIT_button");
    QVERIFY(!m_demo->panel().isVisible());
    QVERIFY(!m_demo->boardWindow().isVisible());
}

QTEST_MAIN(DemoTest)
#include "tst_demo.moc"
