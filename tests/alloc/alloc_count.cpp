// Preloaded into quorvel by alloc_test: counts the heap calls (early ones in
// early) in a word of the file QUORVEL_ALLOC_COUNT_FILE, mapped shared, so the
// test reads it as it stands. Each hands over to glibc's own, not to itself.
#include <atomic>
#include <cstdlib>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

extern "C" void* __libc_malloc(size_t size);
extern "C" void* __libc_calloc(size_t n, size_t size);
extern "C" void* __libc_realloc(void* p, size_t size);
extern "C" void __libc_free(void* p);

static std::atomic<unsigned long> early{0}, *calls = &early;

__attribute__((constructor)) static void mapCount() {
    const char* path = getenv("QUORVEL_ALLOC_COUNT_FILE");
    int fd = path == nullptr ? -1 : open(path, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ftruncate(fd, sizeof *calls) != 0) return;
    void* p = mmap(nullptr, sizeof *calls, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    if (p != MAP_FAILED) calls = static_cast<std::atomic<unsigned long>*>(p);
}

extern "C" void* malloc(size_t size) {
    return ++*calls, __libc_malloc(size);
}
extern "C" void* calloc(size_t n, size_t size) {
    return ++*calls, __libc_calloc(n, size);
}
extern "C" void* realloc(void* p, size_t size) {
    return ++*calls, __libc_realloc(p, size);
}
extern "C" void free(void* p) {
    ++*calls, __libc_free(p);
}
