/* Preloaded into a process, makes it see MANY_PROCESSORS processors (16 by default) wherever
 * it counts them, so that its libraries start as many threads as on a machine that size.
 * Both programs of a comparison run under it: the CPU time of their busiest thread then shows
 * what bounds their wall time on that machine, which this one cannot show directly. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <sched.h>
#include <stdlib.h>
#include <sys/sysinfo.h>
#include <unistd.h>

static int processors(void) {
    const char* text = getenv("MANY_PROCESSORS");
    int count = text ? atoi(text) : 16;
    return count > 0 && count <= CPU_SETSIZE ? count : 16;
}

int sched_getaffinity(pid_t pid, size_t size, cpu_set_t* mask) {
    (void)pid;
    if (mask == NULL || size < sizeof(cpu_set_t))
        return -1;
    CPU_ZERO_S(size, mask);
    for (int i = 0; i < processors(); ++i)
        CPU_SET_S(i, size, mask);
    return 0;
}

int get_nprocs(void) { return processors(); }
int get_nprocs_conf(void) { return processors(); }

long sysconf(int name) {
    static long (*real)(int) = NULL;
    if (name == _SC_NPROCESSORS_ONLN || name == _SC_NPROCESSORS_CONF)
        return processors();
    if (real == NULL)
        real = (long (*)(int))dlsym(RTLD_NEXT, "sysconf");
    return real(name);
}
