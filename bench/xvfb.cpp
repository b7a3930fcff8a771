#include "xvfb.h"

#include "clock.h"

#include <QByteArray>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <vector>

extern char** environ;

namespace bench
{

namespace
{
    constexpr int kXvfbReadyMs = 15'000;
    // The X server's pid, for ending it when the driver is interrupted.
    volatile sig_atomic_t g_xvfbPid = 0;
} // namespace

void Xvfb::endAndExit(int signal)
{
    if (g_xvfbPid > 0)
        kill(pid_t(g_xvfbPid), SIGTERM);
    _exit(128 + signal);
}

void Xvfb::stop()
{
    if (m_pid > 0) {
        g_xvfbPid = 0;
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
        m_pid = 0;
    }
}

bool Xvfb::start(int width, int height)
{
    constexpr int kDisplayFd = 3;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (fds[1] == kDisplayFd)
        fcntl(fds[1], F_SETFD, 0);
    else
        posix_spawn_file_actions_adddup2(&actions, fds[1], kDisplayFd); // the copy is kept across exec
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> args { "Xvfb", "-displayfd", std::to_string(kDisplayFd), "-screen", "0",
        std::to_string(width) + "x" + std::to_string(height) + "x24", "-nolisten", "tcp" };
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const int spawned = posix_spawnp(&m_pid, "Xvfb", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (spawned != 0) {
        m_pid = 0;
        close(fds[0]);
        return false;
    }
    // Xvfb writes its display number once it accepts connections.
    QByteArray number;
    const qint64 deadline = nowNs() + qint64(kXvfbReadyMs) * 1'000'000;
    while (!number.contains('\n')) {
        pollfd p { fds[0], POLLIN, 0 };
        const int left = int((deadline - nowNs()) / 1'000'000);
        if (left <= 0 || poll(&p, 1, left) <= 0)
            break;
        char buffer[32];
        const ssize_t got = read(fds[0], buffer, sizeof buffer);
        if (got <= 0)
            break;
        number.append(buffer, got);
    }
    close(fds[0]);
    g_xvfbPid = m_pid;
    bool ok = false;
    m_display = number.trimmed().toInt(&ok);
    if (!ok) {
        stop();
        return false;
    }
    return true;
}

} // namespace bench
