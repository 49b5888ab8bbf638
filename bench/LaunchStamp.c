/* Launched by the daemon in the launch benchmark: writes the monotonic time at which its main
   began to the FIFO named by PRESTO_BENCH_FIFO, then ends. Plain C, so that what is measured is
   the daemon and the spawn, not a language runtime starting up. */
#include <fcntl.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

int main(void) {
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
