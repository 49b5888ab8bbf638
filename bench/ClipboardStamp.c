/* Stands in for xclip in the Get Path benchmark: takes the whole text from stdin, then writes the
   monotonic time at which it held it to the FIFO named by PRESTO_BENCH_FIFO. Plain C, so that
   what is measured is the daemon and the spawn, not a language runtime starting up. */
#include <fcntl.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

int main(void) {
    char buffer[65536];
    ssize_t n;
    while ((n = read(STDIN_FILENO, buffer, sizeof buffer)) > 0) {
    }
    if (n < 0)
        return 1;
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    double micros = (double)ts.tv_sec * 1e6 + (double)ts.tv_nsec / 1e3;
    const char* fifo = getenv("PRESTO_BENCH_FIFO");
    if (!fifo)
        return 1;
    int fd = open(fifo, O_WRONLY);
    if (fd < 0)
        return 1;
    if (write(fd, &micros, sizeof micros) != sizeof micros)
        return 1;
    close(fd);
    return 0;
}
