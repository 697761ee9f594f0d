#include "cli/QuitOnSignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int g_signalFd[2] = {-1, -1}; // written by the handler, read in the event loop
std::atomic_bool g_requested{false};
static_assert(std::atomic_bool::is_always_lock_free, "set from a signal handler");

std::atomic_int g_count{0};

void onSignal(int signal)
{
    const int savedErrno = errno; // the interrupted code may be about to read it
    g_requested.store(true, std::memory_order_relaxed);
    // The first two let the run write its record and log line; a third ends the process at once.
    if (g_count.fetch_add(1, std::memory_order_relaxed) >= 2) {
        ::signal(signal, SIG_DFL);
        ::raise(signal);
    }
    const char byte = char(signal);
    [[maybe_unused]] const ssize_t written = ::write(g_signalFd[0], &byte, 1);
    errno = savedErrno;
}
} // namespace

namespace QuitOnSignals {

const std::atomic_bool* requested() { return &g_requested; }

bool install(QObject* parent)
{
    // Non-blocking: the handler never waits on a full socket.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_signalFd) != 0)
        return false;
    auto* notifier = new QSocketNotifier(g_signalFd[1], QSocketNotifier::Read, parent);
    QObject::connect(notifier, &QSocketNotifier::activated, parent, [] {
        char byte = 0;
        // exit() rather than quit(): it also ends the nested loops of a reply wait, and
        // runs when no main loop does (program mode).
        if (::read(g_signalFd[1], &byte, 1) == 1)
            QCoreApplication::exit(128 + byte);
    });
    std::signal(SIGPIPE, SIG_IGN);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction action {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(s, &action, nullptr);
    }
    return true;
}

} // namespace QuitOnSignals
