// Runs a program and tells how long it took, when its first byte of output
// came, how much memory it held at most and what it printed, in one line:
//   WALL_MS FIRST_BYTE_MS PEAK_RSS_KB OUTPUT_BYTES OUTPUT_HASH
// The output is read through a pipe as a reader of the list would, and
// hashed (FNV-1a, 64 bits) so that outputs can be compared byte for byte.
// Usage: bench_time PROGRAM [ARGUMENTS...]

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_time PROGRAM [ARGUMENTS...]\n");
        return 2;
    }
    int out[2];
    if (pipe(out) != 0)
        return 1;
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const pid_t child = fork();
    if (child < 0)
        return 1;
    if (child == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        execvp(argv[1], argv + 1);
        std::perror(argv[1]);
        _exit(127);
    }
    close(out[1]);
    std::uint64_t hash = 0xcbf29ce484222325ull;
    std::uint64_t bytes = 0;
    double firstMs = -1;
    static unsigned char buffer[1 << 16];
    for (;;) {
        const ssize_t n = read(out[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        if (firstMs < 0)
            firstMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        for (ssize_t i = 0; i < n; ++i)
            hash = (hash ^ buffer[i]) * 0x100000001b3ull;
        bytes += std::uint64_t(n);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    const double wallMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    std::printf("%.1f %.1f %ld %llu %016llx\n", wallMs, firstMs, usage.ru_maxrss,
                static_cast<unsigned long long>(bytes), static_cast<unsigned long long>(hash));
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
