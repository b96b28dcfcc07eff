#include "main/signals.h"

#include <csignal>
#include <cstdio>
#include <initializer_list>
#include <pthread.h>
#include <unistd.h>

#include "display/handshake.h"
#include "main/cli.h"
#include "main/run.h"
#include "util/result.h"

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
        fprintf(stderr, "\n%s terminating on signal %d.\n", prgName, sig);
        fflush(stdout);
        fflush(stderr);
        _exit(kResultSignal);
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
        if (sigaddset(&waited, s) != 0) return 1;
    if (pthread_sigmask(SIG_BLOCK, &waited, nullptr) != 0) return 1;
    pthread_t tid;
    return pthread_create(&tid, nullptr, sigThread, nullptr);
}
