// The port numbers of Windows: N is COMN for 1 ... 256, both ways, and the
// devices Qt lists (\\.\COMN) count as theirs.
#include "PortNumber.h"

#include <QTest>

class PortNumberTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void portNumberIsItsComPort_data()
    {
        QTest::addColumn<int>("number");     // 0: none
        QTest::addColumn<QString>("device"); // empty: none
        QTest::newRow("0") << 0 << "";
        QTest::newRow("1") << 1 << "COM1";
        QTest::newRow("12") << 12 << "COM12";
        QTest::newRow("256") << 256 << "COM256";
        QTest::newRow("257") << 257 << "";
        QTest::newRow("device namespace") << 3 << "\\\\.\\COM3";
        QTest::newRow("lower case") << 5 << "com5";
        QTest::newRow("no number for COM03") << 0 << "COM03";
        QTest::newRow("no number for COM257") << 0 << "COM257";
    }

    void portNumberIsItsComPort()
    {
        QFETCH(int, number);
        QFETCH(QString, device);
        const bool canonical = device.startsWith(u"COM");
        if (number != 0 && (device.isEmpty() || canonical))
            QCOMPARE(standardDevicePath(number),
                     device.isEmpty() ? std::nullopt : std::optional(device));
        if (!device.isEmpty())
            QCOMPARE(standardPortNumber(device), number ? std::optional(number) : std::nullopt);
    }
};

QTEST_MAIN(PortNumberTest)
#include "tst_portnumber_win.moc"
