#include "main/signals.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <initializer_list>
#include <pthread.h>
#include <unistd.h>

#include "display/handshake.h"
#include "main/run.h"

namespace {

// The termination signals, the terminal's change of size, and the end a
// limit calls for.
sigset_t waited;
pthread_t sigTid;
std::atomic<bool> limitEnds{false};

void* sigThread(void* /*arg*/) {
    for (;;) {
        int sig = 0;
        if (sigwait(&waited, &sig) != 0) continue;
        if (sig == SIGWINCH) {
            dspRequestRedraw();
            continue;
        }
        // Only the guard's own request ends the run as a limit; a stray
        // SIGUSR2 from outside is ignored.
        if (sig == SIGUSR2 && !limitEnds.load()) continue;
        if (sig == SIGUSR2) {
            if (runCleanup()) runLimited();
            continue;
        }
        // The clean-up of quit is already under way: it ends the run itself.
        if (!runCleanup()) continue;
        runSignalled(sig);
    }
}

} // namespace

void sigIgnoreWriteFaults() {
    // A log past the file-size limit or a closed output pipe is a failed
    // write, shown and survived, not a reason to die; from the first write on.
    signal(SIGXFSZ, SIG_IGN);
    signal(SIGPIPE, SIG_IGN);
}

int sigStart() {
    sigemptyset(&waited);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGWINCH, SIGUSR2})
        if (sigaddset(&waited, s) != 0) return EINVAL;
    if (int rc = pthread_sigmask(SIG_BLOCK, &waited, nullptr); rc != 0) return rc;
    return pthread_create(&sigTid, nullptr, sigThread, nullptr);
}

void sigLimitEnds() {
    limitEnds.store(true);
    pthread_kill(sigTid, SIGUSR2);
}
