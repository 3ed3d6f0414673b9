// SPDX-License-Identifier: MIT

#include "app/quit_on_signals.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include <QCoreApplication>

namespace glidewheel {

namespace {

// The handler's only state: the socket pair's write end, or -1.
volatile std::sig_atomic_t signalWriteFd = -1;

extern "C" void onQuitSignal(int) {
    const int savedErrno = errno;
    const char byte = 'q';
    // Non-blocking: with a byte already pending, a full buffer only drops a duplicate request.
    [[maybe_unused]] const ssize_t written = ::write(signalWriteFd, &byte, 1);
    errno = savedErrno;
}

}  // namespace

QuitOnSignals::QuitOnSignals(std::initializer_list<int> signalNumbers, QObject* parent)
    : QObject(parent) {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends) != 0) return;
    readEnd_ = platform::linuxdesktop::adoptFd(ends[0]);
    writeEnd_ = platform::linuxdesktop::adoptFd(ends[1]);
    signalWriteFd = writeEnd_.get().fd;

    notifier_ = std::make_unique<QSocketNotifier>(readEnd_.get().fd, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (::read(readEnd_.get().fd, bytes, sizeof bytes) > 0) {
        }
        QCoreApplication::quit();
    });

    for (const int signalNumber : signalNumbers) {
        struct sigaction action {};
        action.sa_handler = &onQuitSignal;
        sigemptyset(&action.sa_mask);
        // SA_RESETHAND: the next such signal takes its default course.
        action.sa_flags = SA_RESTART | SA_RESETHAND;
        Previous previous{signalNumber, {}};
        if (::sigaction(signalNumber, &action, &previous.action) == 0) {
            previous_.push_back(previous);
        }
    }
}

QuitOnSignals::~QuitOnSignals() {
    for (const Previous& previous : previous_) {
        ::sigaction(previous.signalNumber, &previous.action, nullptr);
    }
    signalWriteFd = -1;
}

}  // namespace glidewheel
