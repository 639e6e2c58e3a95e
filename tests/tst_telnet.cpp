// The rules of network ports without a socket: which addresses are accepted,
// what telnet's messages say when taken apart, what the client answers
// to negotiations, and RFC 2217's requests byte for byte (0xFF doubled).
#include "ComPortOption.h"
#include "NetAddress.h"
#include "Telnet.h"

#include <QProcess>
#include <QTest>

using namespace telnet;
using namespace std::chrono_literals;

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray result;
    for (const int value : values)
        result.append(static_cast<char>(value));
    return result;
}

// Messages written as text, so that a table row can spell them.
QString describe(const QList<Message> &messages)
{
    QStringList parts;
    for (const Message &message : messages) {
        switch (message.kind) {
        case Message::Kind::Command:
            parts << QStringLiteral("cmd %1").arg(message.verb);
            break;
        case Message::Kind::Negotiation:
            parts << QStringLiteral("neg %1 %2").arg(message.verb).arg(message.option);
            break;
        case Message::Kind::Subnegotiation:
            parts << QStringLiteral("sub %1 %2")
                         .arg(message.option)
                         .arg(QString::fromLatin1(message.parameter.toHex()));
            break;
        }
    }
    return parts.join(QStringLiteral("; "));
}

// What pyserial's from_url() of the scheme's class makes of `text`, in the form
// "HOST PORT AGREEMENT-MS" or "refused"; nothing where pyserial is missing. One
// Python a run, asked a line at a time.
std::optional<QString> pyserialReading(const QString &text)
{
    static QProcess python;
    if (python.state() == QProcess::NotRunning) {
        python.start("/usr/bin/python3", {"-c", R"(
import sys
import serial.rfc2217, serial.urlhandler.protocol_socket as plain
for url in sys.stdin:
    url = url.rstrip("\n")
    kind = serial.rfc2217.Serial if url.lstrip().lower().startswith("rfc2217") else plain.Serial
    port = kind.__new__(kind)
    port.logger, port._network_timeout = None, 0
    try:
        host, number = kind.from_url(port, url)
        print(host, number, round(port._network_timeout * 1000), flush=True)
    except Exception:
        print("refused", flush=True)
)"});
        python.setProcessChannelMode(QProcess::SeparateChannels);
    }
    python.write(text.toUtf8() + '\n');
    while (!python.canReadLine())
        if (!python.waitForReadyRead(5000))
            return std::nullopt;
    return QString::fromUtf8(python.readLine()).trimmed();
}

} // namespace

class TelnetTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // pyserial's spellings of the two schemes, and where this port departs from
    // what its from_url() makes of them: an address it would go on with that
    // cannot work (no host, port 0, a host of digits that is no IPv4 address, a
    // zone, a time-out of 0) is refused here, naming the part that is wrong.
    void addressFormsAsPyserialTakesThem_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("taken"); // "HOST PORT AGREEMENT-MS", or the wrong part named
        QTest::addColumn<bool>("departs");  // pyserial takes what is refused here
        const auto row = [](const char *text, const char *taken, bool departs = false) {
            QTest::newRow(text) << QString::fromUtf8(text) << QString::fromUtf8(taken) << departs;
        };
        row("rfc2217://lab-host.example:2217", "lab-host.example 2217 0");
        row("socket://127.0.0.1:7000", "127.0.0.1 7000 0");
        row("rfc2217://[::1]:1", "::1 1 0");
        row("RFC2217://Rack7.LAB:2001", "rack7.lab 2001 0");
        row("Socket://a_b:65535", "a_b 65535 0");
        row(" socket://host:80", "host 80 0");
        row("rfc2217://h:2001/", "h 2001 0");
        row("rfc2217://user:pw@h:2001/any/path#part", "h 2001 0");
        row("rfc2217://h:2001?logging=debug&ign_set_control&poll_modem", "h 2001 0");
        row("rfc2217://h:2001?time%6Fut=0.5&timeout=9", "h 2001 500");
        row("socket://h:1?logging=warning", "h 1 0");
        row("telnet://host:23", "the scheme \"telnet\"");
        row("rfc2217://host", "there is no port");
        row("rfc2217://host:", "there is no port");
        row("socket://h:65536", "the port \"65536\"");
        row("socket://h:+1", "the port \"+1\"");
        row("socket://[127.0.0.1]:80", "the host \"[127.0.0.1]\" is no IPv6 address");
        row("rfc2217://h:2001?logging=loud", "logging=\"loud\" wants debug, info");
        row("rfc2217://h:2001?timeout=abc", "timeout=\"abc\" wants a number");
        row("rfc2217://h:2001?parity=N", "the option \"parity\" is not one of rfc2217://'s");
        row("socket://h:1?timeout=5", "the option \"timeout\" is not one of socket://'s");
        row("rfc2217://:2001", "there is no host", true);
        row("socket://h:0", "the port \"0\"", true);
        row("socket://1.2.3:80", "the host \"1.2.3\"", true);
        row("socket://256.1.1.1:80", "the host \"256.1.1.1\"", true);
        row("socket://[::1%eth0]:80", "is no IPv6 address", true);
        row("rfc2217://h:2001?timeout=0", "timeout=\"0\" wants a number", true);
    }
    void addressFormsAsPyserialTakesThem()
    {
        QFETCH(QString, text);
        QFETCH(QString, taken);
        QFETCH(bool, departs);
        QVERIFY(looksLikeNetAddress(text));
        const std::variant<NetAddress, QString> reading = readNetAddress(text);
        const auto *address = std::get_if<NetAddress>(&reading);
        const QString ours = address ? QStringLiteral("%1 %2 %3")
                                           .arg(address->host)
                                           .arg(address->port)
                                           .arg(address->agreementTime.value_or(0ms).count())
                                     : std::get<QString>(reading);
        QVERIFY2(address ? ours == taken : ours.contains(taken), qPrintable(ours));
        const std::optional<QString> theirs = pyserialReading(text);
        if (!theirs)
            QSKIP("no pyserial (Debian's python3-serial) to compare with");
        if (address)
            QCOMPARE(*theirs, ours);
        else
            QCOMPARE(*theirs == u"refused", !departs);
    }

    // What each message says (the fuzz target holds that any split gives the
    // same, that escaped data comes back whole and that parameters are bounded).
    void streamIsTakenApart_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("messages");
        QTest::newRow("negotiations between data")
            << bytes({'a', 255, 251, 3, 'b', 255, 253, 44, 'c'}) << QByteArray("abc")
            << "neg 251 3; neg 253 44";
        QTest::newRow("sub-negotiation with doubled 0xFF")
            << bytes({255, 250, 44, 101, 0, 0, 255, 255, 255, 240, 'x'}) << QByteArray("x")
            << "sub 44 650000ff";
        QTest::newRow("sub-negotiation without SE, then a negotiation")
            << bytes({255, 250, 44, 105, 1, 255, 251, 1, 'y'}) << QByteArray("y")
            << "sub 44 6901; neg 251 1";
        QTest::newRow("commands; lone SE ignored")
            << bytes({255, 241, 'a', 255, 240, 255, 249}) << QByteArray("a") << "cmd 241; cmd 249";
    }
    void streamIsTakenApart()
    {
        QFETCH(QByteArray, stream);
        QFETCH(QByteArray, data);
        QFETCH(QString, messages);
        QByteArray decoded;
        QCOMPARE(describe(Decoder().feed(stream, decoded)), messages);
        QCOMPARE(decoded, data);
    }

    // The server's negotiations after our opening, and what we answer to them.
    void negotiationIsAnswered_data()
    {
        QTest::addColumn<QByteArray>("received"); // verb, option pairs
        QTest::addColumn<QByteArray>("answers");
        QTest::addColumn<bool>("comPortAgreed");
        QTest::newRow("server agrees to all we asked")
            << bytes({253, 0, 253, 3, 253, 44, 251, 0, 251, 3}) << QByteArray() << true;
        QTest::newRow("unknown DO refused once")
            << bytes({253, 24, 253, 24}) << bytes({255, 252, 24}) << false;
        QTest::newRow("unknown WILL refused once")
            << bytes({251, 1, 251, 1}) << bytes({255, 254, 1}) << false;
        QTest::newRow("repeated agreement is not answered")
            << bytes({253, 44, 253, 44, 251, 3, 251, 3}) << QByteArray() << true;
        QTest::newRow("server turns off what it agreed to")
            << bytes({251, 0, 252, 0, 253, 0, 254, 0}) << bytes({255, 254, 0, 255, 252, 0})
            << false;
        QTest::newRow("server refuses COM-PORT-OPTION")
            << bytes({254, 44, 254, 44}) << QByteArray() << false;
        QTest::newRow("server asks again after turning off")
            << bytes({253, 3, 254, 3, 253, 3}) << bytes({255, 252, 3, 255, 251, 3}) << false;
    }
    void negotiationIsAnswered()
    {
        QFETCH(QByteArray, received);
        QFETCH(QByteArray, answers);
        QFETCH(bool, comPortAgreed);
        Negotiation negotiation;
        QCOMPARE(negotiation.opening(),
                 bytes({255, 251, 0, 255, 251, 3, 255, 251, 44, 255, 253, 0, 255, 253, 3}));
        QByteArray given;
        for (qsizetype i = 0; i + 1 < received.size(); i += 2)
            given += negotiation.answer(static_cast<quint8>(received[i]),
                                        static_cast<quint8>(received[i + 1]));
        QCOMPARE(given.toHex(' '), answers.toHex(' '));
        QCOMPARE(negotiation.comPortAgreed(), comPortAgreed);
        QCOMPARE(negotiation.comPortRefused(), received.contains(bytes({254, 44})));
    }

    // Toggling an option is answered each time, until the answers show a loop;
    // BINARY turned down either way is a refusal.
    void serverThatChangesItsMindLoops()
    {
        Negotiation negotiation;
        negotiation.opening();
        negotiation.answer(kDo, kBinary);
        negotiation.answer(kWill, kBinary);
        negotiation.answer(kDo, kSuppressGoAhead);
        QVERIFY(negotiation.binaryAgreed() && !negotiation.binaryRefused());
        for (int i = 0; i < Negotiation::kMaxAnswers / 2; ++i) {
            QVERIFY(!negotiation.answer(kDont, kSuppressGoAhead).isEmpty());
            QVERIFY(!negotiation.answer(kDo, kSuppressGoAhead).isEmpty());
        }
        QVERIFY(!negotiation.looping());
        negotiation.answer(kWont, kBinary);
        QVERIFY(negotiation.looping() && negotiation.binaryRefused());
    }

    // The server's answers to the four line settings, 9600 8N1 asked.
    void lineSettingsAnswered_data()
    {
        QTest::addColumn<QList<QByteArray>>("answers"); // parameters of COM-PORT-OPTION
        QTest::addColumn<bool>("allAnswered");
        QTest::addColumn<QString>("mismatch");
        const QList<QByteArray> asked{bytes({101, 0, 0, 0x25, 0x80}), bytes({102, 8}),
                                      bytes({103, 1}), bytes({104, 1})};
        QTest::newRow("all four as asked, with SET-CONTROL's")
            << asked + QList<QByteArray>{bytes({105, 1})} << true << QString();
        QTest::newRow("three, in another order")
            << QList<QByteArray>{asked[3], asked[0], asked[2]} << false << QString();
        QTest::newRow("another baud rate")
            << QList<QByteArray>{bytes({101, 0, 0, 4, 0xB0}), asked[1]} << false
            << "the baud rate: 9600 asked, 1200 answered";
        QTest::newRow("even parity, then none: the first answer counts")
            << QList<QByteArray>{bytes({103, 3}), asked[2]} << false
            << "the parity: none asked, even answered";
        QTest::newRow("two stop bits") << asked.mid(0, 3) + QList<QByteArray>{bytes({104, 2})}
                                       << true << "the stop bits: 1 asked, 2 answered";
    }
    void lineSettingsAnswered()
    {
        QFETCH(QList<QByteArray>, answers);
        comport::LineAgreement agreement{LineSettings{}};
        for (const QByteArray &answer : answers)
            agreement.take({Message::Kind::Subnegotiation, kSb, kComPortOption, answer});
        QTEST(agreement.allAnswered(), "allAnswered");
        QTEST(agreement.mismatch().value_or(QString()), "mismatch");
    }

    void comPortRequestsAreSpelled_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("wire");
        const auto sub = [](std::initializer_list<int> body) {
            return bytes({255, 250, 44}) + bytes(body) + bytes({255, 240});
        };
        QTest::newRow("9600 8N1, no flow control")
            << comport::lineSettingsRequests(LineSettings{})
            << sub({1, 0, 0, 0x25, 0x80}) + sub({2, 8}) + sub({3, 1}) + sub({4, 1}) + sub({5, 1});
        LineSettings odd;
        odd.baudRate = 0x1FF;
        odd.parity = QSerialPort::EvenParity;
        odd.dataBits = QSerialPort::Data7;
        odd.stopBits = QSerialPort::TwoStop;
        QTest::newRow("0xFF in the baud rate doubled, 7E2")
            << comport::lineSettingsRequests(odd)
            << sub({1, 0, 0, 1, 255, 255}) + sub({2, 7}) + sub({3, 3}) + sub({4, 2}) + sub({5, 1});
        QTest::newRow("RTS on") << comport::requestToSendRequest(true) << sub({5, 11});
        QTest::newRow("RTS off") << comport::requestToSendRequest(false) << sub({5, 12});
        QTest::newRow("purge receive buffer") << comport::purgeReceiveRequest() << sub({12, 1});
    }
    void comPortRequestsAreSpelled()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, wire);
        QCOMPARE(request.toHex(' '), wire.toHex(' '));
    }
};

QTEST_GUILESS_MAIN(TelnetTest)
#include "tst_telnet.moc"
