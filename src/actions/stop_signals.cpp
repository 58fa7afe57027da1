#include "stop_signals.h"

#include <QSocketNotifier>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace velquist {
namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
volatile sig_atomic_t writeFd = -1;

// Only what is safe in a handler: one byte into the pipe the event loop watches.
void OnStopSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(writeFd, &byte, 1);
}

} // namespace

StopSignals::StopSignals(QObject* parent) : QObject(parent) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        return; // the default actions stay: the run ends without the converter's stop
    }
    readEnd_.Reset(fds[0]);
    writeEnd_.Reset(fds[1]);
    writeFd = fds[1];
    notifier_ = new QSocketNotifier(fds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (::read(readEnd_.Get(), bytes, sizeof bytes) > 0) {
        }
        emit Received();
    });
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    action.sa_flags = SA_RESTART;
    ::sigemptyset(&action.sa_mask);
    for (const int signal : kStopSignals) {
        ::sigaction(signal, &action, nullptr);
    }
}

StopSignals::~StopSignals() {
    if (writeEnd_) {
        for (const int signal : kStopSignals) {
            ::signal(signal, SIG_DFL);
        }
        writeFd = -1;
    }
}

} // namespace velquist
