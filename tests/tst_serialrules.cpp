#include "LineSettings.h"
#include "PortNumber.h"
#include "ReplyReceiver.h"
#include "SerialError.h"

#include <QRegularExpression>
#include <QTest>

namespace {

// Input that arrives on a schedule, counted in yields: chunk i of the schedule
// becomes waiting once i yields have happened. The countdown drops by one every
// `yieldsPerTick` yields, as the 100 ms tick lowers it while the receiver polls.
class ScriptedSource : public ReplySource
{
public:
    ScriptedSource(QByteArrayList schedule, int countdown, int yieldsPerTick)
        : m_schedule(std::move(schedule))
        , m_countdown(countdown)
        , m_yieldsPerTick(yieldsPerTick)
    {
        deliver();
    }

    int waitingCount() override { return int(m_waiting.size()); }

    QByteArray read(int maxCount) override
    {
        QByteArray bytes = m_waiting.left(maxCount);
        m_waiting.remove(0, bytes.size());
        m_readSinceYield = true;
        if (bytes.startsWith('\x02'))
            m_stxTaken = true;
        return bytes;
    }

    void yield(bool starved) override
    {
        m_yields.append({starved, int(m_waiting.size()), m_readSinceYield, m_stxTaken});
        m_readSinceYield = false;
        if (yieldCount() % m_yieldsPerTick == 0 && m_countdown > 0)
            --m_countdown;
        deliver();
    }

    // A receiver that never looks at the time would otherwise spin for ever.
    bool timedOut() override { return m_countdown == 0 || yieldCount() > kRunaway; }

    struct Yield {
        bool starved;
        int waiting;     // characters waiting when the receiver yielded
        bool afterARead; // the receiver read something since its previous yield
        bool collecting; // the STX has been read: what waits belongs to the body
    };

    int yieldCount() const { return int(m_yields.size()); }
    const QList<Yield> &yields() const { return m_yields; }
    const QByteArray &waiting() const { return m_waiting; }
    bool ranAway() const { return yieldCount() > kRunaway; }

private:
    static constexpr int kRunaway = 100000;

    void deliver()
    {
        while (m_delivered < m_schedule.size() && m_delivered <= yieldCount())
            m_waiting += m_schedule.at(m_delivered++);
    }

    QByteArrayList m_schedule;
    qsizetype m_delivered = 0;
    QByteArray m_waiting;
    int m_countdown;
    int m_yieldsPerTick;
    QList<Yield> m_yields;
    bool m_readSinceYield = false;
    bool m_stxTaken = false;
};

QByteArray stx(const char *rest)
{
    return QByteArray(1, '\x02') + QByteArray(rest);
}

bool namesNumber(const QString &message, int number)
{
    const QRegularExpression word(QStringLiteral("(^|[^0-9-])%1([^0-9]|$)").arg(number));
    return word.match(message).hasMatch();
}

} // namespace

Q_DECLARE_METATYPE(QSerialPort::Parity)
Q_DECLARE_METATYPE(QSerialPort::DataBits)
Q_DECLARE_METATYPE(QSerialPort::StopBits)
Q_DECLARE_METATYPE(SerialError::Kind)

// The serial link's rules that need no port: port numbers, device names, line
// settings, operator messages and the framing of replies.
class TestSerialRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void portTextConvertsToRoundedNumber_data();
    void portTextConvertsToRoundedNumber();
    void portTextThatIsNoNumberIsRefused_data();
    void portTextThatIsNoNumberIsRefused();
    void portTextInOtherDigitsNeverBecomesAnotherNumber_data();
    void portTextInOtherDigitsNeverBecomesAnotherNumber();

    void portNumberSelectsItsDevice_data();
    void portNumberSelectsItsDevice();
    void portNumberOutsideTheRangesSelectsNoDevice_data();
    void portNumberOutsideTheRangesSelectsNoDevice();
    void everyDeviceMapsBackToItsNumber();
    void deviceOutsideTheFixedNamesHasNoNumber_data();
    void deviceOutsideTheFixedNamesHasNoNumber();

    void lineSettingsAreParsed_data();
    void lineSettingsAreParsed();
    void malformedLineSettingsAreRefused_data();
    void malformedLineSettingsAreRefused();

    void operatorMessageNamesPortDeviceAndWhatToDo_data();
    void operatorMessageNamesPortDeviceAndWhatToDo();
    void operatorMessageQuotesTextThatIsNoPortNumber_data();
    void operatorMessageQuotesTextThatIsNoPortNumber();

    void replyBodyIsReceived_data();
    void replyBodyIsReceived();
    void replyTimesOutWhenIncomplete_data();
    void replyTimesOutWhenIncomplete();
    void yieldIsStarvedOnlyWhenNothingCanProgress_data();
    void yieldIsStarvedOnlyWhenNothingCanProgress();
};

void TestSerialRules::portTextConvertsToRoundedNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");

    QTest::newRow("3") << QStringLiteral("3") << 3;
    QTest::newRow("blanks around") << QStringLiteral(" 3 ") << 3;
    QTest::newRow("plus sign") << QStringLiteral("+3") << 3;
    QTest::newRow("minus sign") << QStringLiteral("-3") << -3;
    QTest::newRow("leading zeros") << QStringLiteral("0003") << 3;
    QTest::newRow("many leading zeros") << QString(40, u'0') + QStringLiteral("12") << 12;
    QTest::newRow("zero") << QStringLiteral("0") << 0;
    QTest::newRow("minus zero") << QStringLiteral("-0") << 0;
    QTest::newRow("2.5 to even 2") << QStringLiteral("2.5") << 2;
    QTest::newRow("3.5 to even 4") << QStringLiteral("3.5") << 4;
    QTest::newRow("-2.5 to even -2") << QStringLiteral("-2.5") << -2;
    QTest::newRow("-3.5 to even -4") << QStringLiteral("-3.5") << -4;
    QTest::newRow("0.5 to even 0") << QStringLiteral("0.5") << 0;
    QTest::newRow("1.5 to even 2") << QStringLiteral("1.5") << 2;
    QTest::newRow("2.50 is still a half") << QStringLiteral("2.50") << 2;
    QTest::newRow("just above a half rounds up") << QStringLiteral("2.50001") << 3;
    QTest::newRow("far digit above a half rounds up")
        << QStringLiteral("2.5") + QString(30, u'0') + QStringLiteral("1") << 3;
    QTest::newRow("just below a half rounds down") << QStringLiteral("2.4999") << 2;
    QTest::newRow("2.6 rounds up") << QStringLiteral("2.6") << 3;
    QTest::newRow("no whole part .5") << QStringLiteral(".5") << 0;
    QTest::newRow("no whole part .7") << QStringLiteral(".7") << 1;
    QTest::newRow("no fraction digits 5.") << QStringLiteral("5.") << 5;
    QTest::newRow("largest 32767") << QStringLiteral("32767") << 32767;
    QTest::newRow("32767.4 rounds down into range") << QStringLiteral("32767.4") << 32767;
    QTest::newRow("smallest -32768") << QStringLiteral("-32768") << -32768;
    QTest::newRow("-32768.4 rounds into range") << QStringLiteral("-32768.4") << -32768;
    QTest::newRow("-32768.5 to even -32768") << QStringLiteral("-32768.5") << -32768;
    QTest::newRow("32766.5 to even 32766") << QStringLiteral("32766.5") << 32766;
}

void TestSerialRules::portTextConvertsToRoundedNumber()
{
    QFETCH(QString, text);
    QFETCH(int, expected);

    const std::optional<qint16> number = convertPortNumber(text);
    QVERIFY2(number.has_value(), qPrintable(QStringLiteral("\"%1\" was refused").arg(text)));
    QCOMPARE(int(*number), expected);
}

void TestSerialRules::portTextThatIsNoNumberIsRefused_data()
{
    QTest::addColumn<QString>("text");

    QTest::newRow("empty") << QString();
    QTest::newRow("only blanks") << QStringLiteral("   ");
    QTest::newRow("letters") << QStringLiteral("abc");
    QTest::newRow("digit then letter") << QStringLiteral("3a");
    QTest::newRow("exponent") << QStringLiteral("1e1");
    QTest::newRow("point alone") << QStringLiteral(".");
    QTest::newRow("sign alone") << QStringLiteral("-");
    QTest::newRow("two signs") << QStringLiteral("+-3");
    QTest::newRow("two points") << QStringLiteral("1.2.3");
    QTest::newRow("blank inside") << QStringLiteral("3 4");
    QTest::newRow("hexadecimal") << QStringLiteral("0x3");
    QTest::newRow("comma as decimal point") << QStringLiteral("2,5");
    QTest::newRow("32767.5 rounds to even 32768") << QStringLiteral("32767.5");
    QTest::newRow("32768") << QStringLiteral("32768");
    QTest::newRow("-32769") << QStringLiteral("-32769");
    QTest::newRow("-32768.6") << QStringLiteral("-32768.6");
    QTest::newRow("40000") << QStringLiteral("40000");
    QTest::newRow("99999") << QStringLiteral("99999");
    QTest::newRow("100000") << QStringLiteral("100000");
    QTest::newRow("a very long digit string") << QString(400, u'9');
    QTest::newRow("a long number that wraps to 3 in 32 bits") << QStringLiteral("4294967299");
    QTest::newRow("a long number that wraps to 3 in 64 bits")
        << QStringLiteral("18446744073709551619");
}

void TestSerialRules::portTextThatIsNoNumberIsRefused()
{
    QFETCH(QString, text);

    const std::optional<qint16> number = convertPortNumber(text);
    QVERIFY2(!number.has_value(), qPrintable(QStringLiteral("gave %1").arg(number.value_or(0))));
}

void TestSerialRules::portTextInOtherDigitsNeverBecomesAnotherNumber_data()
{
    // Either reading these digits for what they are or refusing them is sound;
    // quietly choosing some other port is not.
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("meant");

    QTest::newRow("Arabic-Indic 3") << QStringLiteral("\u0663") << 3;
    QTest::newRow("fullwidth 3") << QStringLiteral("\uff13") << 3;
    QTest::newRow("ASCII 1 then Arabic-Indic 3") << QStringLiteral("1\u0663") << 13;
    QTest::newRow("2 point Arabic-Indic 5, a half") << QStringLiteral("2.\u0665") << 2;
}

void TestSerialRules::portTextInOtherDigitsNeverBecomesAnotherNumber()
{
    QFETCH(QString, text);
    QFETCH(int, meant);

    const std::optional<qint16> number = convertPortNumber(text);
    if (number)
        QCOMPARE(int(*number), meant);
}

void TestSerialRules::portNumberSelectsItsDevice_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("device");

    QTest::newRow("1 is the first on-board port") << 1 << QStringLiteral("/dev/ttyS0");
    QTest::newRow("3, the initial choice") << 3 << QStringLiteral("/dev/ttyS2");
    QTest::newRow("12, the last in the list") << 12 << QStringLiteral("/dev/ttyS11");
    QTest::newRow("32 is the last ttyS") << 32 << QStringLiteral("/dev/ttyS31");
    QTest::newRow("33 is the first USB adapter") << 33 << QStringLiteral("/dev/ttyUSB0");
    QTest::newRow("64 is the last ttyUSB") << 64 << QStringLiteral("/dev/ttyUSB31");
    QTest::newRow("65 is the first ACM device") << 65 << QStringLiteral("/dev/ttyACM0");
    QTest::newRow("96 is the last ttyACM") << 96 << QStringLiteral("/dev/ttyACM31");
}

void TestSerialRules::portNumberSelectsItsDevice()
{
    QFETCH(int, number);
    QFETCH(QString, device);
    QCOMPARE(standardDevicePath(number), std::optional<QString>(device));
    QCOMPARE(standardPortNumber(device), std::optional<int>(number));
}

void TestSerialRules::portNumberOutsideTheRangesSelectsNoDevice_data()
{
    QTest::addColumn<int>("number");

    QTest::newRow("0") << 0;
    QTest::newRow("97") << 97;
    QTest::newRow("-1") << -1;
    QTest::newRow("-32768") << -32768;
    QTest::newRow("32767") << 32767;
}

void TestSerialRules::portNumberOutsideTheRangesSelectsNoDevice()
{
    QFETCH(int, number);
    QCOMPARE(standardDevicePath(number), std::nullopt);
}

void TestSerialRules::everyDeviceMapsBackToItsNumber()
{
    QStringList devices;
    for (int number = 1; number <= 96; ++number) {
        const std::optional<QString> device = standardDevicePath(number);
        QVERIFY2(device.has_value(), qPrintable(QString::number(number)));
        QCOMPARE(standardPortNumber(*device), std::optional<int>(number));
        devices << *device;
    }
    devices.removeDuplicates();
    QCOMPARE(devices.size(), 96);
}

void TestSerialRules::deviceOutsideTheFixedNamesHasNoNumber_data()
{
    QTest::addColumn<QString>("device");

    QTest::newRow("leading zero /dev/ttyS01") << QStringLiteral("/dev/ttyS01");
    QTest::newRow("/dev/ttyS32 is past the range") << QStringLiteral("/dev/ttyS32");
    QTest::newRow("/dev/ttyUSB32 is past the range") << QStringLiteral("/dev/ttyUSB32");
    QTest::newRow("/dev/ttyACM32 is past the range") << QStringLiteral("/dev/ttyACM32");
    QTest::newRow("pseudo-terminal /dev/pts/3") << QStringLiteral("/dev/pts/3");
    QTest::newRow("other kind /dev/ttyAMA0") << QStringLiteral("/dev/ttyAMA0");
    QTest::newRow("no index /dev/ttyS") << QStringLiteral("/dev/ttyS");
    QTest::newRow("signed index /dev/ttyS+1") << QStringLiteral("/dev/ttyS+1");
    QTest::newRow("negative index /dev/ttyUSB-1") << QStringLiteral("/dev/ttyUSB-1");
    QTest::newRow("trailing blank") << QStringLiteral("/dev/ttyS0 ");
    QTest::newRow("trailing letter") << QStringLiteral("/dev/ttyS1x");
    QTest::newRow("without /dev/") << QStringLiteral("ttyS0");
    QTest::newRow("other directory") << QStringLiteral("/tmp/dev/ttyS0");
    QTest::newRow("empty") << QString();
}

void TestSerialRules::deviceOutsideTheFixedNamesHasNoNumber()
{
    QFETCH(QString, device);
    QCOMPARE(standardPortNumber(device), std::nullopt);
}

void TestSerialRules::lineSettingsAreParsed_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("baudRate");
    QTest::addColumn<QSerialPort::Parity>("parity");
    QTest::addColumn<QSerialPort::DataBits>("dataBits");
    QTest::addColumn<QSerialPort::StopBits>("stopBits");

    QTest::newRow("the panel's 9600,N,8,1")
        << QStringLiteral("9600,N,8,1") << 9600 << QSerialPort::NoParity << QSerialPort::Data8
        << QSerialPort::OneStop;
    QTest::newRow("lower-case even parity, 7 bits, 2 stop")
        << QStringLiteral("19200,e,7,2") << 19200 << QSerialPort::EvenParity << QSerialPort::Data7
        << QSerialPort::TwoStop;
    QTest::newRow("odd parity, 5 bits, 1.5 stop")
        << QStringLiteral("300,O,5,1.5") << 300 << QSerialPort::OddParity << QSerialPort::Data5
        << QSerialPort::OneAndHalfStop;
    QTest::newRow("mark parity, 6 bits")
        << QStringLiteral("1200,M,6,1") << 1200 << QSerialPort::MarkParity << QSerialPort::Data6
        << QSerialPort::OneStop;
    QTest::newRow("space parity") << QStringLiteral("115200,s,8,1") << 115200
                                  << QSerialPort::SpaceParity << QSerialPort::Data8
                                  << QSerialPort::OneStop;
    QTest::newRow("blanks around every field")
        << QStringLiteral(" 9600 , N , 8 , 1 ") << 9600 << QSerialPort::NoParity
        << QSerialPort::Data8 << QSerialPort::OneStop;
}

void TestSerialRules::lineSettingsAreParsed()
{
    QFETCH(QString, text);
    QFETCH(int, baudRate);
    QFETCH(QSerialPort::Parity, parity);
    QFETCH(QSerialPort::DataBits, dataBits);
    QFETCH(QSerialPort::StopBits, stopBits);

    const std::optional<LineSettings> settings = parseLineSettings(text);
    QVERIFY(settings.has_value());
    QCOMPARE(settings->baudRate, baudRate);
    QCOMPARE(settings->parity, parity);
    QCOMPARE(settings->dataBits, dataBits);
    QCOMPARE(settings->stopBits, stopBits);
}

void TestSerialRules::malformedLineSettingsAreRefused_data()
{
    QTest::addColumn<QString>("text");

    QTest::newRow("empty") << QString();
    QTest::newRow("baud rate only") << QStringLiteral("9600");
    QTest::newRow("no stop bits") << QStringLiteral("9600,N,8");
    QTest::newRow("empty stop bits") << QStringLiteral("9600,N,8,");
    QTest::newRow("empty parity") << QStringLiteral("9600,,8,1");
    QTest::newRow("one field too many") << QStringLiteral("9600,N,8,1,1");
    QTest::newRow("trailing comma") << QStringLiteral("9600,N,8,1,");
    QTest::newRow("semicolons") << QStringLiteral("9600;N;8;1");
    QTest::newRow("unknown parity X") << QStringLiteral("9600,X,8,1");
    QTest::newRow("parity spelled out") << QStringLiteral("9600,None,8,1");
    QTest::newRow("long s, upper case S") << QStringLiteral("9600,\u017f,8,1");
    QTest::newRow("9 data bits") << QStringLiteral("9600,N,9,1");
    QTest::newRow("4 data bits") << QStringLiteral("9600,N,4,1");
    QTest::newRow("3 stop bits") << QStringLiteral("9600,N,8,3");
    QTest::newRow("0 stop bits") << QStringLiteral("9600,N,8,0");
    QTest::newRow("negative baud rate") << QStringLiteral("-9600,N,8,1");
    QTest::newRow("signed baud rate") << QStringLiteral("+9600,N,8,1");
    QTest::newRow("zero baud rate") << QStringLiteral("0,N,8,1");
    QTest::newRow("letters O in the baud rate") << QStringLiteral("96OO,N,8,1");
    QTest::newRow("fractional baud rate") << QStringLiteral("9600.5,N,8,1");
    QTest::newRow("NUL after the baud rate")
        << QStringLiteral("300") + QChar(0) + QStringLiteral(",O,5,1.5");
    QTest::newRow("baud rate beyond 32 bits") << QStringLiteral("99999999999,N,8,1");
    QTest::newRow("blank inside the baud rate") << QStringLiteral("96 00,N,8,1");
}

void TestSerialRules::malformedLineSettingsAreRefused()
{
    QFETCH(QString, text);
    QVERIFY(!parseLineSettings(text).has_value());
}

void TestSerialRules::operatorMessageNamesPortDeviceAndWhatToDo_data()
{
    using Kind = SerialError::Kind;
    QTest::addColumn<SerialError::Kind>("kind");
    QTest::addColumn<QString>("detail");
    QTest::addColumn<int>("portNumber");
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("advice"); // what the operator is told to do or check

    const QString ttyS2 = QStringLiteral("/dev/ttyS2");
    const QString ttyUSB0 = QStringLiteral("/dev/ttyUSB0");
    QTest::newRow("number with no device")
        << Kind::UnmappedPortNumber << QString() << 200 << QString() << QStringLiteral("33-64");
    QTest::newRow("negative number with no device")
        << Kind::UnmappedPortNumber << QString() << -5 << QString() << QStringLiteral("1-32");
    QTest::newRow("number 0 with no device")
        << Kind::UnmappedPortNumber << QString() << 0 << QString() << QStringLiteral("1-32");
    QTest::newRow("bad settings") << Kind::BadSettings
                                  << QStringLiteral("\"9600,X\" is not of the form 9600,N,8,1") << 3
                                  << ttyS2 << QStringLiteral("9600,N,8,1");
    QTest::newRow("no such device")
        << Kind::NoSuchDevice << QStringLiteral("No such file or directory") << 33 << ttyUSB0
        << QStringLiteral("plugged in");
    QTest::newRow("device busy") << Kind::DeviceBusy << QStringLiteral("Device or resource busy")
                                 << 3 << ttyS2 << QStringLiteral("another program");
    QTest::newRow("open failed for another reason")
        << Kind::OpenFailed << QStringLiteral("Input/output error") << 3 << ttyS2
        << QStringLiteral("Input/output error");
    QTest::newRow("used before SET")
        << Kind::NotOpen << QString() << 3 << ttyS2 << QStringLiteral("\"SET\"");
    QTest::newRow("unplugged while open") << Kind::DeviceLost << QStringLiteral("Resource error")
                                          << 33 << ttyUSB0 << QStringLiteral("plug the board in");
    QTest::newRow("output not taken")
        << Kind::OutputStalled << QStringLiteral("4096 bytes are still waiting to be sent") << 33
        << ttyUSB0 << QStringLiteral("cable");
}

void TestSerialRules::operatorMessageNamesPortDeviceAndWhatToDo()
{
    QFETCH(SerialError::Kind, kind);
    QFETCH(QString, detail);
    QFETCH(int, portNumber);
    QFETCH(QString, device);
    QFETCH(QString, advice);

    const QString message = SerialError(kind, detail, portNumber, device).operatorMessage();
    QVERIFY2(namesNumber(message, portNumber), qPrintable(message));
    if (!device.isEmpty())
        QVERIFY2(message.contains(device), qPrintable(message));
    if (!detail.isEmpty())
        QVERIFY2(message.contains(detail), qPrintable(message));
    QVERIFY2(message.contains(advice), qPrintable(message));
}

void TestSerialRules::operatorMessageQuotesTextThatIsNoPortNumber_data()
{
    QTest::addColumn<QString>("text");

    QTest::newRow("letters") << QStringLiteral("abc");
    QTest::newRow("empty box") << QString();
    QTest::newRow("number with a letter") << QStringLiteral("3a");
    QTest::newRow("out of range") << QStringLiteral("40000");
    QTest::newRow("percent placeholder") << QStringLiteral("%1");
}

void TestSerialRules::operatorMessageQuotesTextThatIsNoPortNumber()
{
    QFETCH(QString, text);

    const QString message = SerialError(SerialError::Kind::NotAPortNumber, text).operatorMessage();
    QVERIFY2(message.contains(u'"' + text + u'"'), qPrintable(message));
    QVERIFY2(message.contains(QStringLiteral("whole number")), qPrintable(message));
}

void TestSerialRules::replyBodyIsReceived_data()
{
    QTest::addColumn<QByteArrayList>("schedule"); // chunk i arrives after i yields
    QTest::addColumn<int>("replyLength");
    QTest::addColumn<int>("countdown");
    QTest::addColumn<int>("yieldsPerTick");
    QTest::addColumn<QByteArray>("expectedBody");
    QTest::addColumn<int>("expectedYields");
    QTest::addColumn<QByteArray>("expectedLeftWaiting");

    QTest::newRow("whole reply already waiting takes no poll")
        << QByteArrayList{stx("0F3C1a")} << 7 << 30 << 5 << QByteArray("0F3C1a") << 0
        << QByteArray();
    QTest::newRow("reply split byte by byte, one poll per byte")
        << QByteArrayList{stx(""), "a", "b", "c", "d", "e"} << 6 << 30 << 5 << QByteArray("abcde")
        << 5 << QByteArray();
    QTest::newRow("STX late, body with it") << QByteArrayList{"", "", "", stx("abcde")} << 6 << 30
                                            << 5 << QByteArray("abcde") << 3 << QByteArray();
    QTest::newRow("garbage before STX costs one poll per character")
        << QByteArrayList{"xyz" + stx("abcde")} << 6 << 30 << 5 << QByteArray("abcde") << 3
        << QByteArray();
    QTest::newRow("tail of an earlier reply before the STX is dropped")
        << QByteArrayList{QByteArray("12345\r") + stx("abcde")} << 6 << 30 << 5
        << QByteArray("abcde") << 6 << QByteArray();
    QTest::newRow("characters after the body stay waiting")
        << QByteArrayList{stx("abcdeXY")} << 6 << 30 << 5 << QByteArray("abcde") << 0
        << QByteArray("XY");
    QTest::newRow("a second reply after the body stays waiting")
        << QByteArrayList{stx("abcde") + stx("fghij")} << 6 << 30 << 5 << QByteArray("abcde") << 0
        << stx("fghij");
    QTest::newRow("STX inside the body is a body character")
        << QByteArrayList{stx("a") + stx("bcd")} << 6 << 30 << 5 << QByteArray("a") + stx("bcd")
        << 0 << QByteArray();
    QTest::newRow("reply length 1 has an empty body")
        << QByteArrayList{stx("")} << 1 << 30 << 5 << QByteArray() << 0 << QByteArray();
    QTest::newRow("reply length 1 leaves what follows the STX")
        << QByteArrayList{stx("ab")} << 1 << 30 << 5 << QByteArray() << 0 << QByteArray("ab");
    QTest::newRow("complete reply waiting with one tick left")
        << QByteArrayList{stx("abcde")} << 6 << 1 << 1 << QByteArray("abcde") << 0 << QByteArray();
    QTest::newRow("complete reply waiting after the countdown ran out")
        << QByteArrayList{stx("abcde")} << 6 << 0 << 1 << QByteArray("abcde") << 0 << QByteArray();
    QTest::newRow("body completes in the last poll before time is up")
        << QByteArrayList{stx("ab"), "cde"} << 6 << 2 << 1 << QByteArray("abcde") << 1
        << QByteArray();
    QTest::newRow("reply arrives in the last poll before time is up")
        << QByteArrayList{"", "", stx("abcde")} << 6 << 3 << 1 << QByteArray("abcde") << 2
        << QByteArray();
}

void TestSerialRules::replyBodyIsReceived()
{
    QFETCH(QByteArrayList, schedule);
    QFETCH(int, replyLength);
    QFETCH(int, countdown);
    QFETCH(int, yieldsPerTick);
    QFETCH(QByteArray, expectedBody);
    QFETCH(int, expectedYields);
    QFETCH(QByteArray, expectedLeftWaiting);

    ScriptedSource source(schedule, countdown, yieldsPerTick);
    const std::optional<QByteArray> body = receiveReply(source, replyLength);

    QVERIFY(!source.ranAway());
    QVERIFY2(body.has_value(), "timed out");
    QCOMPARE(*body, expectedBody);
    QCOMPARE(source.yieldCount(), expectedYields);
    QCOMPARE(source.waiting(), expectedLeftWaiting);
}

void TestSerialRules::replyTimesOutWhenIncomplete_data()
{
    QTest::addColumn<QByteArrayList>("schedule");
    QTest::addColumn<int>("replyLength");
    QTest::addColumn<int>("countdown");
    QTest::addColumn<int>("yieldsPerTick");
    QTest::addColumn<QByteArray>("expectedLeftWaiting");

    QTest::newRow("nothing arrives") << QByteArrayList{} << 6 << 30 << 3 << QByteArray();
    QTest::newRow("only characters without STX")
        << QByteArrayList{"0F3C1a\r", "xyz"} << 7 << 3 << 4 << QByteArray();
    QTest::newRow("body one character short")
        << QByteArrayList{stx("abcd")} << 6 << 30 << 3 << QByteArray("abcd");
    QTest::newRow("body one character short, rest trickling in")
        << QByteArrayList{stx(""), "a", "b", "c", "d"} << 6 << 5 << 2 << QByteArray("abcd");
    QTest::newRow("STX alone") << QByteArrayList{stx("")} << 7 << 2 << 2 << QByteArray();
    QTest::newRow("last body character arrives as time runs out")
        << QByteArrayList{stx("abcd"), "e"} << 6 << 1 << 1 << QByteArray("abcde");
    QTest::newRow("reply arrives as time runs out")
        << QByteArrayList{"", "", stx("abcde")} << 6 << 2 << 1 << stx("abcde");
    QTest::newRow("countdown already ran out and nothing waiting")
        << QByteArrayList{} << 6 << 0 << 1 << QByteArray();
}

void TestSerialRules::replyTimesOutWhenIncomplete()
{
    QFETCH(QByteArrayList, schedule);
    QFETCH(int, replyLength);
    QFETCH(int, countdown);
    QFETCH(int, yieldsPerTick);
    QFETCH(QByteArray, expectedLeftWaiting);

    ScriptedSource source(schedule, countdown, yieldsPerTick);
    const std::optional<QByteArray> body = receiveReply(source, replyLength);

    QVERIFY(!source.ranAway());
    QVERIFY2(!body.has_value(), body.value_or(QByteArray()).constData());
    QCOMPARE(source.waiting(), expectedLeftWaiting);
    // It gives up at the first look after time is up, neither earlier nor later.
    QCOMPARE(source.yieldCount(), qMax(countdown * yieldsPerTick, 1));
}

void TestSerialRules::yieldIsStarvedOnlyWhenNothingCanProgress_data()
{
    QTest::addColumn<QByteArrayList>("schedule");
    QTest::addColumn<int>("replyLength");
    QTest::addColumn<int>("countdown");

    QTest::newRow("silent line") << QByteArrayList{} << 6 << 4;
    QTest::newRow("garbage waiting, then the reply")
        << QByteArrayList{"xyz", "", "", "", "", "", stx("abcde")} << 6 << 30;
    QTest::newRow("garbage trickling in") << QByteArrayList{"x", "y", "", "z"} << 6 << 3;
    QTest::newRow("body trickling in") << QByteArrayList{stx("a"), "", "b", "", "cde"} << 6 << 30;
    QTest::newRow("body one short for ever") << QByteArrayList{stx("abcd")} << 6 << 3;
    QTest::newRow("garbage, then a body trickling in")
        << QByteArrayList{"12" + stx("a"), "", "bcde"} << 6 << 30;
}

void TestSerialRules::yieldIsStarvedOnlyWhenNothingCanProgress()
{
    QFETCH(QByteArrayList, schedule);
    QFETCH(int, replyLength);
    QFETCH(int, countdown);

    ScriptedSource source(schedule, countdown, 2);
    receiveReply(source, replyLength);
    QVERIFY(!source.ranAway());

    const QList<ScriptedSource::Yield> &yields = source.yields();
    QVERIFY(!yields.isEmpty());
    for (qsizetype i = 0; i < yields.size(); ++i) {
        const ScriptedSource::Yield &y = yields.at(i);
        const QByteArray where = "yield " + QByteArray::number(i + 1);
        if (y.collecting)
            QVERIFY2(y.starved, where + ": an incomplete body cannot progress");
        else if (y.waiting > 0)
            QVERIFY2(!y.starved, where + ": may sleep with a character still to look at");
        else if (!y.afterARead) // right after a dropped character either answer is sound
            QVERIFY2(y.starved, where + ": polls on while the line is silent");
    }
}

QTEST_APPLESS_MAIN(TestSerialRules)
#include "tst_serialrules.moc"
