// tq905's console on Windows. The requests to end are the console's control
// events: Ctrl+C, Ctrl+Break and the console closed. Logging off and shutting
// down end it as any program, without an event: a process that loads
// user32.dll (Qt Core does) is never sent CTRL_LOGOFF_EVENT or
// CTRL_SHUTDOWN_EVENT.
// The system runs the handler on a thread of its own; the handler records the
// request and queues an asynchronous procedure call to the main thread, which
// ends the main thread's alertable wait (the serial device's, or the wait for
// input here) at once, or the next one if none is on, as a held-back signal
// does on Unix. The program then closes the port and ends with the status the
// system's own handler gives, STATUS_CONTROL_C_EXIT. A reader of the output that
// has gone ends it the same way, with STATUS_PIPE_BROKEN. A Ctrl+C that the
// program was started to ignore stays ignored: the system does not pass it on.
//
// Standard input is read on a thread of its own, a block at a time as the main
// thread asks for it: a read on the main thread could not be interrupted, since
// CancelSynchronousIo does not reach a pipe's read everywhere.
#include "CompanionConsole.h"

#include <QString>

#include <windows.h>

#include <atomic>

namespace {

constexpr UINT kEndedFromConsole = 0xC000013A; // STATUS_CONTROL_C_EXIT
constexpr UINT kReaderGone = 0xC000014B;       // STATUS_PIPE_BROKEN
// How long the handler holds its thread for the port to be closed. A main thread
// stuck writing to a reader that does not read is then left to the system.
constexpr DWORD kEndGraceMs = 2000;

std::atomic<UINT> g_endStatus = 0;
HANDLE g_mainThread = nullptr;

void CALLBACK wakeUp(ULONG_PTR)
{
}

void requestEnd(UINT status)
{
    UINT none = 0;
    g_endStatus.compare_exchange_strong(none, status);
    ::QueueUserAPC(wakeUp, g_mainThread, 0);
}

// Returning ends the process at once on some events, so the main thread is
// given the time to close the port and end it first.
BOOL WINAPI onConsoleControl(DWORD)
{
    requestEnd(kEndedFromConsole);
    ::Sleep(kEndGraceMs);
    return FALSE;
}

// Standard input in blocks: the reader thread's between `wanted` and `ready`,
// the main thread's otherwise.
struct InputBlocks {
    HANDLE wanted = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE ready = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    QByteArray block;
    bool ended = false;
    bool started = false; // the main thread's
    bool asked = false;   // the main thread's
};
InputBlocks g_input;

// The next block of standard input; false at its end. A console gives UTF-16,
// so no typed character is lost to its code page, and Ctrl+Z at the start of a
// line ends the input; a console read cut short by Ctrl+C is read again.
bool readBlock(HANDLE input, QByteArray &block)
{
    block.clear();
    DWORD count = 0;
    DWORD mode = 0;
    if (!::GetConsoleMode(input, &mode)) {
        char bytes[4096];
        if (!::ReadFile(input, bytes, sizeof bytes, &count, nullptr) || count == 0)
            return false;
        block = QByteArray(bytes, count);
        return true;
    }
    wchar_t text[1024];
    do {
        if (!::ReadConsoleW(input, text, 1024, &count, nullptr)
            && ::GetLastError() != ERROR_OPERATION_ABORTED)
            return false;
    } while (count == 0);
    if (text[0] == L'\x1A')
        return false;
    block = QString::fromWCharArray(text, static_cast<int>(count)).toUtf8();
    return true;
}

DWORD WINAPI readInputBlocks(void *)
{
    const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    while (!g_input.ended) {
        ::WaitForSingleObject(g_input.wanted, INFINITE);
        g_input.ended = !readBlock(input, g_input.block);
        ::SetEvent(g_input.ready);
    }
    return 0;
}

} // namespace

CompanionConsole::CompanionConsole(bool outputWasClosed)
    : m_outputWasClosed(outputWasClosed)
{
    ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(), ::GetCurrentProcess(),
                      &g_mainThread, 0, FALSE, DUPLICATE_SAME_ACCESS);
    ::SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

bool CompanionConsole::endRequested()
{
    return g_endStatus != 0;
}

// Only end requests queue calls to the main thread, so a wait cut short is one.
CompanionConsole::Fill CompanionConsole::fillInput()
{
    if (!g_input.started) {
        g_input.started = true;
        ::CloseHandle(::CreateThread(nullptr, 0, readInputBlocks, nullptr, 0, nullptr));
    }
    if (!g_input.asked) {
        g_input.asked = true;
        ::SetEvent(g_input.wanted);
    }
    if (::WaitForSingleObjectEx(g_input.ready, INFINITE, TRUE) != WAIT_OBJECT_0)
        return Fill::Interrupted;
    g_input.asked = false;
    m_input.append(g_input.block);
    return g_input.ended ? Fill::Ended : Fill::Read;
}

// A console shows UTF-16 whatever its code page; elsewhere the bytes go as
// they are, lines ending in a line feed as on Unix.
CompanionConsole::Written CompanionConsole::writeOut(Stream stream, QByteArrayView bytes)
{
    const HANDLE output =
        ::GetStdHandle(stream == Stream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (::GetConsoleMode(output, &mode)) {
        const QString text = QString::fromUtf8(bytes);
        DWORD written = 0;
        ::WriteConsoleW(output, text.utf16(), static_cast<DWORD>(text.size()), &written, nullptr);
        return endRequested() ? Written::EndRequested : Written::Done;
    }
    while (!bytes.isEmpty()) {
        DWORD written = 0;
        if (!::WriteFile(output, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                         nullptr)) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE) {
                requestEnd(kReaderGone);
                break;
            }
            m_writeFailure = QStringLiteral("Windows error %1").arg(error);
            return endRequested() ? Written::EndRequested : Written::Failed;
        }
        if (written == 0)
            break; // a full pipe in no-wait mode, which would be tried forever
        bytes = bytes.sliced(written);
    }
    return endRequested() ? Written::EndRequested : Written::Done;
}

void CompanionConsole::endAsRequested()
{
    ::ExitProcess(g_endStatus);
}
