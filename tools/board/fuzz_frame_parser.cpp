// The board's cutting of the line into frames: FrameSplitter fed a stream in
// pieces of any size gives the bodies an independent scan of the whole stream
// finds, and never holds more than the longest body it keeps.
#include "CommandFrame.h"
#include "FrameParser.h"
#include "FuzzInput.h"

namespace {

// Every STX opens a frame that ends at the next STX or CR; one ended by a CR,
// no longer than the limit, is a body.
QList<QByteArray> bodiesOf(const QByteArray &stream)
{
    QList<QByteArray> bodies;
    qsizetype stx = stream.indexOf(frame::kStx);
    while (stx >= 0) {
        qsizetype end = stx + 1;
        while (end < stream.size() && stream[end] != frame::kStx && stream[end] != frame::kCr)
            ++end;
        if (end == stream.size())
            break;
        const qsizetype length = end - stx - 1;
        if (stream[end] == frame::kCr && length <= frame::FrameSplitter::kMaxBodyBytes)
            bodies << stream.mid(stx + 1, length);
        stx = stream.indexOf(frame::kStx, end);
    }
    return bodies;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input input(data, size);
    const QByteArray stream = input.take(input.byte());
    frame::FrameSplitter splitter;
    QList<QByteArray> bodies;
    for (qsizetype from = 0; from < stream.size();) {
        // The input's next byte is the next piece's size; past its end, the rest.
        const quint8 next = input.byte();
        const qsizetype piece =
            qMin<qsizetype>(next == 0 ? stream.size() : next, stream.size() - from);
        bodies += splitter.feed(QByteArrayView(stream).sliced(from, piece));
        from += piece;
        FUZZ_CHECK(splitter.pendingBytes() <= frame::FrameSplitter::kMaxBodyBytes);
    }
    FUZZ_CHECK(bodies == bodiesOf(stream));
    return 0;
}
