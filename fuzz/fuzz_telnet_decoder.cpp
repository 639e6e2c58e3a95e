// The telnet decoder fed an arbitrary stream in arbitrary pieces: the pieces
// decode to what the whole stream decodes to (each message where it stood among
// the data), no parameter outgrows its bound,
// data never holds more than the stream, and escaped data comes back unchanged
// with no message.
#include "FuzzInput.h"
#include "Telnet.h"

namespace {

bool sameMessages(const QList<telnet::Message> &a, const QList<telnet::Message> &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (a[i].kind != b[i].kind || a[i].verb != b[i].verb || a[i].option != b[i].option
            || a[i].parameter != b[i].parameter || a[i].dataBefore != b[i].dataBefore)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input input(data, size);
    QList<qsizetype> pieceSizes;
    for (int pieces = input.byte() % 16; pieces > 0; --pieces)
        pieceSizes << input.byte() % 32;
    const QByteArray stream = input.take(static_cast<qsizetype>(size));

    QByteArray whole;
    const QList<telnet::Message> wholeMessages = telnet::Decoder().feed(stream, whole);
    telnet::Decoder decoder;
    QByteArray pieced;
    QList<telnet::Message> piecedMessages;
    qsizetype next = 0;
    for (const qsizetype piece : pieceSizes) {
        piecedMessages += decoder.feed(stream.mid(next, piece), pieced);
        next += piece;
    }
    piecedMessages += decoder.feed(stream.mid(next), pieced);

    FUZZ_CHECK(pieced == whole && sameMessages(piecedMessages, wholeMessages));
    FUZZ_CHECK(whole.size() <= stream.size());
    for (const telnet::Message &message : wholeMessages)
        FUZZ_CHECK(message.parameter.size() <= telnet::Decoder::kMaxParameterBytes);

    QByteArray unescaped;
    FUZZ_CHECK(telnet::Decoder().feed(telnet::escaped(stream), unescaped).isEmpty());
    FUZZ_CHECK(unescaped == stream);
    return 0;
}
