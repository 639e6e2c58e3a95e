// The floor for a query round trip: a bare termios client with no event loop.
// Writes STX "I" CR, then poll()s and reads until the 7-byte reply is in. Given
// socket://IPV4:PORT instead of a device, the same over a plain TCP connection
// (a port that ser2net serves): the floor for a network port. Given
// rfc2217://IPV4:PORT, the same over an RFC 2217 port, with the one round trip
// to the server that an exact discard costs there: PURGE-DATA, and the frame
// once the server has confirmed it.
//
//   bench_termios DEVICE|socket://IPV4:PORT|rfc2217://IPV4:PORT COUNT WARMUP GAP_MS
//       One line per query: nanoseconds from discarding stale input to the last
//       byte of the reply read. The board must report port A 5A; port B is set
//       to 3C here.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "bench_termios: %s: %s\n", what, std::strerror(errno));
    std::exit(1);
}

int openLine(const char *device)
{
    const int fd = ::open(device, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        fail(device);
    termios line{};
    if (::tcgetattr(fd, &line) != 0)
        fail("tcgetattr");
    ::cfmakeraw(&line);
    ::cfsetspeed(&line, B9600);
    line.c_cflag |= CLOCAL | CREAD;
    line.c_cflag &= ~(PARENB | CSTOPB | CRTSCTS);
    line.c_cc[VMIN] = 0;
    line.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &line) != 0)
        fail("tcsetattr");
    return fd;
}

int connectTo(const std::string &address)
{
    const std::size_t colon = address.rfind(':');
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(static_cast<uint16_t>(std::atoi(address.c_str() + colon + 1)));
    if (::inet_pton(AF_INET, address.substr(0, colon).c_str(), &server.sin_addr) != 1)
        fail("not an IPv4 address");
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr *>(&server), sizeof server) != 0)
        fail("connect");
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

enum class Line { Serial, Socket, Rfc2217 };

void writeAll(int fd, const std::string &bytes);
std::string readUntil(int fd, const std::string &end);

// Telnet's IAC SB COM-PORT-OPTION ... IAC SE around a request or its answer.
std::string comPortOption(const std::string &request)
{
    return "\xFF\xFA\x2C" + request + "\xFF\xF0";
}

// What has arrived and not been read: flushed on a line, read away on a
// socket; over RFC 2217 the server's own buffer too, once it says so.
void discardInput(int fd, Line line)
{
    if (line == Line::Serial) {
        ::tcflush(fd, TCIFLUSH);
        return;
    }
    char buffer[256];
    while (::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT) > 0) { }
    if (line == Line::Rfc2217) {
        writeAll(fd, comPortOption("\x0C\x01")); // PURGE-DATA, the receive buffer
        readUntil(fd, comPortOption("\x70\x01"));
    }
}

// Agrees to COM-PORT-OPTION and BINARY both ways, whatever the server asks.
void openTelnet(int fd)
{
    using namespace std::string_literals; // BINARY is option 0
    writeAll(fd, "\xFF\xFB\x2C\xFF\xFB\x00\xFF\xFD\x00"s);
    readUntil(fd, "\xFF\xFD\x2C");
}

void writeAll(int fd, const std::string &bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno != EINTR)
            fail("write");
        if (n > 0)
            done += static_cast<std::size_t>(n);
    }
}

// Reads until `done` says what came is enough, giving up after three seconds as
// the panel does.
template <typename Done>
std::string readWhile(int fd, std::size_t most, Done done)
{
    std::string got;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(3);
    while (!done(got)) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            break;
        pollfd waiting{fd, POLLIN, 0};
        const int ready = ::poll(&waiting, 1, static_cast<int>(left.count()) + 1);
        if (ready < 0 && errno != EINTR)
            fail("poll");
        if (ready <= 0)
            continue;
        char buffer[256];
        const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, most - got.size()));
        if (n < 0 && errno != EINTR && errno != EAGAIN)
            fail("read");
        if (n > 0)
            got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
}

std::string readCount(int fd, std::size_t count)
{
    return readWhile(fd, count, [count](const std::string &got) { return got.size() >= count; });
}

// The telnet commands that come before a reply are not data: what follows
// `end`, and `end` itself, are dropped with them.
std::string readUntil(int fd, const std::string &end)
{
    return readWhile(fd, std::string::npos,
                     [&end](const std::string &got) { return got.find(end) != std::string::npos; });
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 5) {
        std::fputs("usage: bench_termios DEVICE|socket://IPV4:PORT|rfc2217://IPV4:PORT COUNT "
                   "WARMUP GAP_MS\n",
                   stderr);
        return 2;
    }
    const int count = std::atoi(argv[2]);
    const int warmup = std::atoi(argv[3]);
    const std::chrono::milliseconds gap(std::atoi(argv[4]));
    const std::string target(argv[1]);
    const std::size_t scheme = target.find("://");
    const Line line = scheme == std::string::npos                ? Line::Serial
                      : target.compare(0, scheme, "socket") == 0 ? Line::Socket
                                                                 : Line::Rfc2217;
    const int fd = line == Line::Serial ? openLine(argv[1]) : connectTo(target.substr(scheme + 3));
    if (line == Line::Rfc2217)
        openTelnet(fd);

    const std::string query("\x02"
                            "I\r");
    const std::string expected("\x02"
                               "I5A3C\r");
    writeAll(fd, "\x02"
                 "O3C\r");
    std::this_thread::sleep_for(gap);
    for (int i = 0; i < warmup + count; ++i) {
        const Clock::time_point start = Clock::now();
        discardInput(fd, line);
        writeAll(fd, query);
        const std::string reply = readCount(fd, expected.size());
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start);
        if (reply != expected) {
            std::fprintf(stderr, "bench_termios: query %d got %zu bytes, not the expected reply\n",
                         i, reply.size());
            return 1;
        }
        if (i >= warmup)
            std::printf("%lld\n", static_cast<long long>(elapsed.count()));
        std::this_thread::sleep_for(gap);
    }
    ::close(fd);
    return 0;
}
