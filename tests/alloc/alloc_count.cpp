// Preloaded into the real quorvel (LD_PRELOAD) by alloc_test: counts every
// call of the C heap functions and, when QUORVEL_ALLOC_COUNT_FILE names a
// file, a thread of its own rewrites "<calls> <tick>" there every 100 ms.
// The heap functions do nothing but count and hand over to glibc's own: no
// stdio and no allocation inside them, or the count would count itself.
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t n, size_t size);
void* __libc_realloc(void* p, size_t size);
void __libc_free(void* p);
void* __libc_memalign(size_t align, size_t size);
}

namespace {

std::atomic<unsigned long> heapCalls{0};
int countFd = -1;

void counted() {
    heapCalls.fetch_add(1, std::memory_order_relaxed);
}

// Right-aligned decimal in a fixed field, so every rewrite covers the last.
void putNumber(char* field, size_t width, unsigned long v) {
    for (size_t i = width; i > 0; i--) {
        field[i - 1] = v != 0 || i == width ? static_cast<char>('0' + v % 10) : ' ';
        v /= 10;
    }
}

void* reporter(void*) {
    constexpr size_t kWidth = 20;
    char line[2 * kWidth + 2];
    line[kWidth] = ' ';
    line[sizeof line - 1] = '\n';
    timespec next{};
    clock_gettime(CLOCK_MONOTONIC, &next);
    for (unsigned long tick = 1;; tick++) {
        putNumber(line, kWidth, heapCalls.load(std::memory_order_relaxed));
        putNumber(line + kWidth + 1, kWidth, tick);
        if (pwrite(countFd, line, sizeof line, 0) < 0) return nullptr;
        next.tv_nsec += 100000000L;
        if (next.tv_nsec >= 1000000000L) {
            next.tv_nsec -= 1000000000L;
            next.tv_sec++;
        }
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr) == EINTR) {
        }
    }
}

__attribute__((constructor)) void startReporter() {
    const char* path = getenv("QUORVEL_ALLOC_COUNT_FILE");
    if (path == nullptr || *path == '\0') return;
    countFd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (countFd < 0) return;
    // The program routes its termination signals to a thread of its own; this
    // one must never be the thread they land on.
    sigset_t all;
    sigset_t old;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &old);
    pthread_t tid;
    if (pthread_create(&tid, nullptr, reporter, nullptr) == 0) pthread_detach(tid);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

} // namespace

extern "C" {

void* malloc(size_t size) {
    counted();
    return __libc_malloc(size);
}

void* calloc(size_t n, size_t size) {
    counted();
    return __libc_calloc(n, size);
}

void* realloc(void* p, size_t size) {
    counted();
    return __libc_realloc(p, size);
}

void free(void* p) {
    counted();
    __libc_free(p);
}

void* reallocarray(void* p, size_t n, size_t size) {
    if (size != 0 && n > SIZE_MAX / size) {
        errno = ENOMEM;
        return nullptr;
    }
    return realloc(p, n * size);
}

void* memalign(size_t align, size_t size) {
    counted();
    return __libc_memalign(align, size);
}

void* aligned_alloc(size_t align, size_t size) {
    return memalign(align, size);
}

int posix_memalign(void** out, size_t align, size_t size) {
    if (align < sizeof(void*) || (align & (align - 1)) != 0) return EINVAL;
    void* p = memalign(align, size);
    if (p == nullptr) return ENOMEM;
    *out = p;
    return 0;
}

} // extern "C"
