#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The command line's console: the requests to end the program from outside,
// and standard input and output, neither of which may keep it from ending.
// From its creation on, an end request is held back until the program sleeps:
// in a wait of the serial link, for input or for its output to be taken. There
// it comes through at once, so the port can be closed before the program ends.
// What the requests are, and how the program then ends, is the platform's
// (CompanionConsole_*.cpp).
class CompanionConsole
{
public:
    enum class Stream { Output, Errors };
    enum class Read { Line, TooLong, End, Interrupted };
    // Failed: the stream takes nothing (closed, a full disk); writeFailure() says why.
    enum class Written { Done, EndRequested, Failed };

    // Longer lines are read to their end and dropped, however they arrive.
    static constexpr qsizetype kMaxLineBytes = 65536;

    // `outputWasClosed`: standard output was closed when the program started
    // and now leads nowhere, so nothing written there reaches anyone.
    explicit CompanionConsole(bool outputWasClosed = false);
    CompanionConsole(const CompanionConsole &) = delete;
    CompanionConsole &operator=(const CompanionConsole &) = delete;

    bool endRequested();
    // The next line of standard input, without its line feed; for a line that is
    // too long, its first kMaxLineBytes. Interrupted by an end request.
    Read readLine(QByteArray &line);
    Written write(Stream stream, QByteArrayView bytes);
    const QString &writeFailure() const { return m_writeFailure; }
    // Ends the program as the request asked, the port closed by then.
    [[noreturn]] void endAsRequested();

private:
    enum class Fill { Read, Ended, Interrupted };
    // Sleeps until standard input has more and appends it to m_input; the
    // platform's side. Standard input is not touched before the first call.
    Fill fillInput();
    Written writeOut(Stream stream, QByteArrayView bytes); // the platform's side

    QByteArray m_input; // read past the lines taken
    bool m_inputEnded = false;
    QByteArray m_longLineStart; // of a line too long, while the rest is dropped
    bool m_outputWasClosed;
    QString m_writeFailure;
};
