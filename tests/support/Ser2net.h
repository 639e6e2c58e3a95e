#pragma once

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

// ser2net serving a device (the virtual board's pseudo-terminal) on 127.0.0.1
// and a free port, from a configuration file of its own, for as long as this
// object lives. Skip a test when available() is false.
class Ser2net
{
public:
    enum class Accepter { Rfc2217, RawTcp };

    static bool available() { return !QStandardPaths::findExecutable("ser2net").isEmpty(); }

    Ser2net(const QString &device, Accepter accepter, bool charDelay = true)
        : m_accepter(accepter)
        , m_port(freePort())
    {
        const QString config = m_dir.filePath("ser2net.yaml");
        QFile file(config);
        file.open(QIODevice::WriteOnly);
        const QString accepterText = accepter == Accepter::Rfc2217
                                         ? QStringLiteral("telnet(rfc2217),tcp,127.0.0.1,%1")
                                         : QStringLiteral("tcp,127.0.0.1,%1");
        file.write(QStringLiteral("connection: &board\n"
                                  "    accepter: %1\n"
                                  "    connector: serialdev,%2,%4,local\n"
                                  "    options:\n"
                                  "      kickolduser: false\n"
                                  "      chardelay: %3\n")
                       .arg(accepterText.arg(m_port), device,
                            charDelay ? QStringLiteral("true") : QStringLiteral("false"),
                            // Other than the panel's, so that only an RFC 2217
                            // client's requests can put 9600 8N1 on the line.
                            accepter == Accepter::Rfc2217 ? QStringLiteral("1200e72")
                                                          : QStringLiteral("9600n81"))
                       .toUtf8());
        file.close();
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.setStandardErrorFile(QProcess::nullDevice());
        m_process.start("ser2net", {"-n", "-d", "-c", config});
        waitUntilListening();
    }
    ~Ser2net() { kill(); }
    Ser2net(const Ser2net &) = delete;
    Ser2net &operator=(const Ser2net &) = delete;

    quint16 port() const { return m_port; }
    QString url() const
    {
        return QStringLiteral("%1://127.0.0.1:%2")
            .arg(m_accepter == Accepter::Rfc2217 ? "rfc2217" : "socket")
            .arg(m_port);
    }

    void kill()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.kill();
        m_process.waitForFinished(5000);
    }

    // A port that nothing listens on just now.
    static quint16 freePort()
    {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost, 0);
        return server.serverPort();
    }

private:
    // Connecting to find out would open the device; the kernel's table of
    // listening sockets says it without a client.
    void waitUntilListening()
    {
        const QByteArray local = QStringLiteral("0100007F:%1 00000000:0000 0A")
                                     .arg(m_port, 4, 16, QLatin1Char('0'))
                                     .toUpper()
                                     .toLatin1();
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 5000 && m_process.state() != QProcess::NotRunning) {
            QFile table("/proc/net/tcp");
            table.open(QIODevice::ReadOnly);
            if (table.readAll().contains(local))
                return;
            QThread::msleep(20);
        }
    }

    QTemporaryDir m_dir;
    Accepter m_accepter;
    quint16 m_port;
    QProcess m_process;
};
