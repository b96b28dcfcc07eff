#include "main/signals.h"

#include <cerrno>
#include <csignal>
#include <initializer_list>
#include <pthread.h>
#include <unistd.h>

#include "display/handshake.h"
#include "main/run.h"

namespace {

// The termination signals, and the terminal's change of size.
sigset_t waited;

void* sigThread(void* /*arg*/) {
    for (;;) {
        int sig = 0;
        if (sigwait(&waited, &sig) != 0) continue;
        if (sig == SIGWINCH) {
            dspRequestRedraw();
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
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGWINCH})
        if (sigaddset(&waited, s) != 0) return EINVAL;
    if (int rc = pthread_sigmask(SIG_BLOCK, &waited, nullptr); rc != 0) return rc;
    pthread_t tid;
    return pthread_create(&tid, nullptr, sigThread, nullptr);
}
