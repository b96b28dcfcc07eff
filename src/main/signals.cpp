#include "main/signals.h"

#include <cerrno>
#include <csignal>
#include <initializer_list>
#include <pthread.h>
#include <unistd.h>

#include "main/run.h"

namespace {

sigset_t termSignals;

void* sigThread(void* /*arg*/) {
    for (;;) {
        int sig = 0;
        if (sigwait(&termSignals, &sig) != 0) continue;
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
    sigemptyset(&termSignals);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
        if (sigaddset(&termSignals, s) != 0) return EINVAL;
    if (int rc = pthread_sigmask(SIG_BLOCK, &termSignals, nullptr); rc != 0) return rc;
    pthread_t tid;
    return pthread_create(&tid, nullptr, sigThread, nullptr);
}
