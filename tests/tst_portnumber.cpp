// The fixed mapping of port numbers to the platform's serial devices, both ways
// (the port box's tool tip names each device by its number), at the edges of
// its ranges; the rows are the platform's (PortNumberRows_*.cpp).
#include "PortNumber.h"
#include "PortNumberRows.h"

#include <QTest>

class PortNumberTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void portNumberSelectsItsDevice_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("device");
        QTest::addColumn<bool>("alias");
        for (const PortNumberRow &row : portNumberRows())
            QTest::newRow(row.name) << row.number << QString::fromLatin1(row.device) << row.alias;
    }

    void portNumberSelectsItsDevice()
    {
        QFETCH(int, number);
        QFETCH(QString, device);
        QFETCH(bool, alias);
        if (device.isEmpty())
            QCOMPARE(standardDevicePath(number), std::nullopt);
        else if (number == 0)
            QCOMPARE(standardPortNumber(device), std::nullopt);
        else {
            QCOMPARE(standardPortNumber(device), std::optional(number));
            if (!alias)
                QCOMPARE(standardDevicePath(number), std::optional(device));
        }
    }
};

QTEST_GUILESS_MAIN(PortNumberTest)
#include "tst_portnumber.moc"
