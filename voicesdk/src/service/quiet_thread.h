// The simulated service's timer thread stands for the network, which
// never takes a program's signals: it starts with asynchronous signals
// blocked, whichever thread starts it, so that Ctrl-C reaches the thread
// that waits for it.
#ifndef VOICESDK_SRC_SERVICE_QUIET_THREAD_H
#define VOICESDK_SRC_SERVICE_QUIET_THREAD_H

#include <thread>
#include <utility>

#ifndef _WIN32
#  include <pthread.h>
#  include <signal.h>
#endif

namespace voicesdk {
namespace service {

template <class Body>
std::thread start_quiet_thread(Body &&body)
{
#ifdef _WIN32
    return std::thread(std::forward<Body>(body));
#else
    sigset_t all, previous;
    sigfillset(&all);
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS, SIGABRT})
        sigdelset(&all, sig);
    pthread_sigmask(SIG_BLOCK, &all, &previous);
    struct Restore {
        sigset_t *mask;
        ~Restore() { pthread_sigmask(SIG_SETMASK, mask, nullptr); }
    } restore{&previous};
    return std::thread(std::forward<Body>(body));
#endif
}

}  // namespace service
}  // namespace voicesdk

#endif
