#pragma once

// A private X server on a display it picks itself (-displayfd), ended by
// its pid, also when the driver is interrupted.

#include <QString>

#include <sys/types.h>

namespace bench
{

class Xvfb
{
public:
    Xvfb() = default;
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;
    ~Xvfb() { stop(); }

    // A screen of width × height at 24 bits; false when it did not start.
    bool start(int width, int height);
    QString display() const { return QStringLiteral(":%1").arg(m_display); }
    void stop();

    // Ends the server started last and exits; for SIGINT and SIGTERM.
    static void endAndExit(int signal);

private:
    pid_t m_pid = 0;
    int m_display = -1;
};

} // namespace bench
