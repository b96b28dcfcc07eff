// Preloaded into the real quorvel by alloc_test: counts the calls of the C
// heap functions in a word of the file QUORVEL_ALLOC_COUNT_FILE, mapped
// shared, so that the test reads the count as it stands. Each one hands over
// to glibc's own, or the count would count itself.
#include <atomic>
#include <cstdlib>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

extern "C" void* __libc_malloc(size_t size);
extern "C" void* __libc_calloc(size_t n, size_t size);
extern "C" void* __libc_realloc(void* p, size_t size);
extern "C" void __libc_free(void* p);

using Count = std::atomic<unsigned long>;
static Count early{0}; // calls before the file is mapped
static Count* calls = &early;

__attribute__((constructor)) static void mapCount() {
    const char* path = getenv("QUORVEL_ALLOC_COUNT_FILE");
    int fd = path == nullptr ? -1 : open(path, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ftruncate(fd, sizeof(Count)) != 0) return;
    void* p = mmap(nullptr, sizeof(Count), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    if (p != MAP_FAILED) calls = static_cast<Count*>(p);
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
