// The rules of network ports without a socket: which addresses are accepted,
// what telnet's messages say when taken apart, what the client answers
// to negotiations, and RFC 2217's requests byte for byte (0xFF doubled).
#include "ComPortOption.h"
#include "NetAddress.h"
#include "Telnet.h"

#include <QTest>

using namespace telnet;

Q_DECLARE_METATYPE(NetAddress::Scheme)

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

} // namespace

class TelnetTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void addressIsTakenApart_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<NetAddress::Scheme>("scheme");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        const auto rfc = NetAddress::Scheme::Rfc2217;
        const auto raw = NetAddress::Scheme::RawTcp;
        QTest::newRow("name") << "rfc2217://lab-host.example:2217" << rfc << "lab-host.example"
                              << 2217;
        QTest::newRow("IPv4") << "socket://127.0.0.1:7000" << raw << "127.0.0.1" << 7000;
        QTest::newRow("IPv6") << "rfc2217://[::1]:1" << rfc << "::1" << 1;
        QTest::newRow("highest port") << "socket://h:65535" << raw << "h" << 65535;
    }
    void addressIsTakenApart()
    {
        QFETCH(QString, text);
        QFETCH(NetAddress::Scheme, scheme);
        QFETCH(QString, host);
        QFETCH(int, port);
        const std::optional<NetAddress> address = parseNetAddress(text);
        QVERIFY(address);
        QCOMPARE(address->scheme, scheme);
        QCOMPARE(address->host, host);
        QCOMPARE(int(address->port), port);
    }

    void malformedAddressIsRefused_data()
    {
        QTest::addColumn<QString>("text");
        for (const char *text :
             {"rfc2217://host", "rfc2217://:2217", "telnet://host:23", "RFC2217://host:1",
              "socket://host:0", "socket://host:65536", "socket://host:12a", "socket://::1:80",
              "socket://[127.0.0.1]:80", "socket://[::1%eth0]:80", "socket://256.1.1.1:80",
              "socket://1.2.3:80", "socket://-host:80", "socket://a_b:80", "rfc2217://host:2217/",
              "rfc2217://host:2217?ign_set_control", "rfc2217://user@host:2217",
              " socket://host:80"})
            QTest::newRow(text) << QString::fromLatin1(text);
    }
    void malformedAddressIsRefused()
    {
        QFETCH(QString, text);
        QVERIFY(looksLikeNetAddress(text));
        QVERIFY(!parseNetAddress(text));
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
