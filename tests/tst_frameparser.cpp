#include "CommandFrame.h"
#include "FrameParser.h"

#include <QTest>

using frame::Command;
using frame::FrameSplitter;
namespace cmd = frame::cmd;

Q_DECLARE_METATYPE(frame::Command)

namespace frame::cmd {
// Found by QCOMPARE through the variant's alternatives.
char *toString(const Command &command)
{
    return qstrdup(qPrintable(describeCommand(command)));
}
} // namespace frame::cmd

namespace {

QByteArray framed(const QByteArray &body)
{
    return '\x02' + body + '\r';
}

QList<QByteArray> feedInPieces(const QByteArray &stream, const QList<qsizetype> &cuts)
{
    FrameSplitter splitter;
    QList<QByteArray> bodies;
    qsizetype from = 0;
    for (const qsizetype cut : cuts) {
        bodies += splitter.feed(QByteArrayView(stream).sliced(from, cut - from));
        from = cut;
    }
    bodies += splitter.feed(QByteArrayView(stream).sliced(from));
    return bodies;
}

} // namespace

// The board's reading of the line: frames out of a byte stream, commands out of bodies.
class FrameParserTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void splitterYieldsTheBodiesOfTheStream_data();
    void splitterYieldsTheBodiesOfTheStream();
    void pendingFrameStaysBoundedUnderEndlessNoise();

    void everyCommandIsRead_data();
    void everyCommandIsRead();
    void malformedBodiesAreNoCommand_data();
    void malformedBodiesAreNoCommand();
    void everyFrameThePanelBuildsIsReadBack();
};

void FrameParserTest::splitterYieldsTheBodiesOfTheStream_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QList<QByteArray>>("bodies");

    const QByteArray oversized(FrameSplitter::kMaxBodyBytes + 1, 'x');
    const QByteArray longest(FrameSplitter::kMaxBodyBytes, 'x');

    QTest::newRow("one frame") << framed("B31") << QList<QByteArray>{"B31"};
    QTest::newRow("frames back to back")
        << framed("O5A") + framed("I") + framed("A3") << QList<QByteArray>{"O5A", "I", "A3"};
    QTest::newRow("garbage before STX") << "x\xFFq\n" + framed("I") << QList<QByteArray>{"I"};
    QTest::newRow("garbage between frames")
        << framed("I") + "zz" + framed("A0") << QList<QByteArray>{"I", "A0"};
    QTest::newRow("new STX before CR restarts the frame")
        << QByteArray("\x02P01") + framed("A1") << QList<QByteArray>{"A1"};
    QTest::newRow("CR without STX is dropped")
        << QByteArray("I\r\r") + framed("I") << QList<QByteArray>{"I"};
    QTest::newRow("frame without CR yet yields nothing")
        << QByteArray("\x02Z64") << QList<QByteArray>{};
    QTest::newRow("empty frame") << framed("") << QList<QByteArray>{""};
    QTest::newRow("control bytes inside a body are kept")
        << framed(QByteArray("O\x00\n", 3)) << QList<QByteArray>{QByteArray("O\x00\n", 3)};
    QTest::newRow("longest pending frame still yields")
        << framed(longest) << QList<QByteArray>{longest};
    QTest::newRow("oversized frame is dropped, its CR too, and the next one read")
        << framed(oversized) + framed("I") << QList<QByteArray>{"I"};
}

// Whatever pieces the stream comes in, the same bodies come out.
void FrameParserTest::splitterYieldsTheBodiesOfTheStream()
{
    QFETCH(QByteArray, stream);
    QFETCH(QList<QByteArray>, bodies);

    QCOMPARE(feedInPieces(stream, {}), bodies);
    QList<qsizetype> everyByte;
    for (qsizetype i = 1; i < stream.size(); ++i)
        everyByte << i;
    QCOMPARE(feedInPieces(stream, everyByte), bodies);
    for (qsizetype cut = 1; cut < stream.size(); ++cut)
        QCOMPARE(feedInPieces(stream, {cut}), bodies);
}

void FrameParserTest::pendingFrameStaysBoundedUnderEndlessNoise()
{
    FrameSplitter splitter;
    const QByteArray noise(4096, 'n');
    QVERIFY(splitter.feed("\x02").isEmpty());
    for (int i = 0; i < 256; ++i) {
        QVERIFY(splitter.feed(noise).isEmpty());
        QVERIFY(splitter.pendingBytes() <= FrameSplitter::kMaxBodyBytes);
    }
    QCOMPARE(splitter.feed(framed("A2")), QList<QByteArray>{"A2"});
}

void FrameParserTest::everyCommandIsRead_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<Command>("command");

    for (int bit = 0; bit < 8; ++bit) {
        for (const bool on : {false, true}) {
            const QByteArray body = 'B' + QByteArray::number(bit) + (on ? '1' : '0');
            QTest::newRow(body.constData()) << body << Command(cmd::SetBit{bit, on});
        }
    }
    QTest::newRow("O00") << QByteArray("O00") << Command(cmd::WritePortB{0x00});
    QTest::newRow("O5A") << QByteArray("O5A") << Command(cmd::WritePortB{0x5A});
    QTest::newRow("Off, lower case as typed")
        << QByteArray("Off") << Command(cmd::WritePortB{0xFF});
    QTest::newRow("T00") << QByteArray("T00") << Command(cmd::WriteDirection{0x00});
    QTest::newRow("TF3") << QByteArray("TF3") << Command(cmd::WriteDirection{0xF3});
    QTest::newRow("Z6490, the panel's initial boxes")
        << QByteArray("Z6490") << Command(cmd::SoundBuzzer{0x64, 0x90});
    QTest::newRow("Z2307, length comes first")
        << QByteArray("Z2307") << Command(cmd::SoundBuzzer{0x23, 0x07});
    QTest::newRow("P0000") << QByteArray("P0000") << Command(cmd::SetPwm{0, 0});
    QTest::newRow("P01F4") << QByteArray("P01F4") << Command(cmd::SetPwm{0, 500});
    QTest::newRow("P03FF") << QByteArray("P03FF") << Command(cmd::SetPwm{0, 1023});
    QTest::newRow("P10FF") << QByteArray("P10FF") << Command(cmd::SetPwm{1, 255});
    QTest::newRow("I") << QByteArray("I") << Command(cmd::ReadPorts{});
    for (int channel = 0; channel < 4; ++channel) {
        const QByteArray body = 'A' + QByteArray::number(channel);
        QTest::newRow(body.constData()) << body << Command(cmd::ReadChannel{channel});
    }
}

void FrameParserTest::everyCommandIsRead()
{
    QFETCH(QByteArray, body);
    QFETCH(Command, command);

    const std::optional<Command> parsed = frame::parseCommand(body);
    QVERIFY(parsed);
    QCOMPARE(*parsed, command);
}

void FrameParserTest::malformedBodiesAreNoCommand_data()
{
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("empty") << QByteArray();
    QTest::newRow("unknown letter") << QByteArray("X");
    QTest::newRow("lower-case command letter") << QByteArray("i");
    QTest::newRow("leading blank") << QByteArray(" I");
    QTest::newRow("bit 8") << QByteArray("B81");
    QTest::newRow("bit state 2") << QByteArray("B32");
    QTest::newRow("bit without state") << QByteArray("B3");
    QTest::newRow("bit with an extra character") << QByteArray("B311");
    QTest::newRow("port byte of one character (empty OUT box)") << QByteArray("O0");
    QTest::newRow("port byte not hexadecimal") << QByteArray("O5G");
    QTest::newRow("port byte with a blank") << QByteArray("O 5");
    QTest::newRow("port byte of three characters") << QByteArray("O123");
    QTest::newRow("direction without byte") << QByteArray("T");
    QTest::newRow("buzzer one short (empty Long box)") << QByteArray("Z090");
    QTest::newRow("buzzer one long") << QByteArray("Z64900");
    QTest::newRow("buzzer not hexadecimal") << QByteArray("Z6G90");
    QTest::newRow("PWM channel 2") << QByteArray("P2000");
    QTest::newRow("PWM duty 400") << QByteArray("P0400");
    QTest::newRow("PWM duty of two digits") << QByteArray("P03F");
    QTest::newRow("PWM duty not hexadecimal") << QByteArray("P1-01");
    QTest::newRow("port query with an argument") << QByteArray("I0");
    QTest::newRow("channel 4") << QByteArray("A4");
    QTest::newRow("channel query without channel") << QByteArray("A");
    QTest::newRow("channel of two digits") << QByteArray("A00");
    QTest::newRow("NUL") << QByteArray(1, '\0');
}

void FrameParserTest::malformedBodiesAreNoCommand()
{
    QFETCH(QByteArray, body);

    const std::optional<Command> parsed = frame::parseCommand(body);
    QVERIFY2(!parsed, qPrintable(parsed ? frame::describeCommand(*parsed) : QString()));
}

// Whatever the panel's frame builders produce from well-formed boxes, the board
// reads as one command.
void FrameParserTest::everyFrameThePanelBuildsIsReadBack()
{
    FrameSplitter splitter;
    QByteArray stream;
    for (int value = 0; value <= 0x3FF; ++value)
        stream += framed("P1" + frame::hexField(value));
    for (int value = 0; value <= 0xFF; ++value)
        stream += framed('O' + frame::textField(QString::number(value, 16)));

    const QList<QByteArray> bodies = splitter.feed(stream);
    QCOMPARE(bodies.size(), 0x400 + 0x100);
    for (int value = 0; value <= 0x3FF; ++value) {
        const std::optional<Command> parsed = frame::parseCommand(bodies[value]);
        QVERIFY2(parsed, bodies[value].constData());
        QCOMPARE(*parsed, Command(cmd::SetPwm{1, value}));
    }
    for (int value = 0; value <= 0xFF; ++value) {
        const std::optional<Command> parsed = frame::parseCommand(bodies[0x400 + value]);
        QVERIFY2(parsed, bodies[0x400 + value].constData());
        QCOMPARE(*parsed, Command(cmd::WritePortB{static_cast<quint8>(value)}));
    }
}

QTEST_APPLESS_MAIN(FrameParserTest)
#include "tst_frameparser.moc"
