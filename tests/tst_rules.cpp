// Port numbers and devices: the fixed mapping at the edges of its three ranges,
// and back from a device name to its number, as the port box's tool tip shows it.
#include "PortNumber.h"

#include <QTest>

class RulesTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void portNumberSelectsItsDevice_data();
    void portNumberSelectsItsDevice();
};

void RulesTest::portNumberSelectsItsDevice_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("device"); // empty: none
    QTest::newRow("0") << 0 << "";
    QTest::newRow("1") << 1 << "/dev/ttyS0";
    QTest::newRow("32") << 32 << "/dev/ttyS31";
    QTest::newRow("33") << 33 << "/dev/ttyUSB0";
    QTest::newRow("64") << 64 << "/dev/ttyUSB31";
    QTest::newRow("65") << 65 << "/dev/ttyACM0";
    QTest::newRow("96") << 96 << "/dev/ttyACM31";
    QTest::newRow("97") << 97 << "";
    QTest::newRow("no number for ttyS01") << 0 << "/dev/ttyS01";
    QTest::newRow("no number for ttyS32") << 0 << "/dev/ttyS32";
}

void RulesTest::portNumberSelectsItsDevice()
{
    QFETCH(int, number);
    QFETCH(QString, device);
    const auto some = [](auto value, bool present) {
        return present ? std::optional(value) : std::nullopt;
    };
    if (number != 0)
        QCOMPARE(standardDevicePath(number), some(device, !device.isEmpty()));
    if (!device.isEmpty())
        QCOMPARE(standardPortNumber(device), some(number, number != 0));
}

QTEST_APPLESS_MAIN(RulesTest)
#include "tst_rules.moc"
