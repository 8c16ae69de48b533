/* Preloaded into the program under test so that it can never change this machine's
 * clock: every call that would set or slew the system time is written to the file
 * named by HOROLAN_CLOCKSHIM_LOG and then reported as done. With
 * HOROLAN_CLOCKSHIM_REFUSE=1 the calls fail with EPERM instead, as they do for a user
 * without the right to set the time. With HOROLAN_CLOCKSHIM_MONOTONIC=1 each line also
 * carries the CLOCK_MONOTONIC moment of the call, taken first, so that a benchmark can
 * tell how long after some event the clock would have been set. Read-only adjtimex
 * queries go through. With HOROLAN_CLOCKSHIM_NO_DNS=1 a host name that is not a dotted
 * address has no address, and no query leaves the machine for the name server. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/time.h>
#include <sys/timex.h>
#include <time.h>
#include <unistd.h>

static void Record(const char *call, long long sec, long nsec) {
  struct timespec mono;
  clock_gettime(CLOCK_MONOTONIC, &mono);
  const char *path = getenv("HOROLAN_CLOCKSHIM_LOG");
  if (path == NULL || *path == 0) return;
  int saved = errno;
  int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd >= 0) {
    char line[160];
    const char *withMono = getenv("HOROLAN_CLOCKSHIM_MONOTONIC");
    int n;
    if (withMono != NULL && strcmp(withMono, "1") == 0)
      n = snprintf(line, sizeof line, "%s %lld.%09ld %d %lld.%09ld\n", call, sec, nsec, (int)getpid(),
                   (long long)mono.tv_sec, mono.tv_nsec);
    else
      n = snprintf(line, sizeof line, "%s %lld.%09ld %d\n", call, sec, nsec, (int)getpid());
    /* One write per line, so lines of several processes do not interleave. */
    if (n > 0 && write(fd, line, (size_t)n) < 0) n = 0;
    close(fd);
  }
  errno = saved;
}

static int Answer(void) {
  const char *refuse = getenv("HOROLAN_CLOCKSHIM_REFUSE");
  if (refuse != NULL && strcmp(refuse, "1") == 0) {
    errno = EPERM;
    return -1;
  }
  return 0;
}

/* The harness looks for this line to know the shim was in the process at all. */
__attribute__((constructor)) static void Loaded(void) { Record("loaded", 0, 0); }

int clock_settime(clockid_t clock, const struct timespec *ts) {
  Record(clock == CLOCK_REALTIME ? "clock_settime" : "clock_settime_other", (long long)ts->tv_sec,
         ts->tv_nsec);
  return Answer();
}

int settimeofday(const struct timeval *tv, const struct timezone *tz) {
  (void)tz;
  if (tv != NULL) Record("settimeofday", (long long)tv->tv_sec, (long)tv->tv_usec * 1000L);
  return Answer();
}

int stime(const time_t *t) {
  if (t == NULL) {
    errno = EFAULT;
    return -1;
  }
  Record("stime", (long long)*t, 0);
  return Answer();
}

static int Adjust(const char *call, struct timex *tx, int (*real)(struct timex *)) {
  if (tx != NULL && tx->modes == 0 && real != NULL) return real(tx);
  if (tx != NULL && (tx->modes & ADJ_SETOFFSET))
    Record(call, (long long)tx->time.tv_sec, (long)tx->time.tv_usec);
  else
    Record(call, 0, 0);
  return Answer() == 0 ? TIME_OK : -1;
}

int adjtimex(struct timex *tx) {
  int (*real)(struct timex *) = (int (*)(struct timex *))dlsym(RTLD_NEXT, "adjtimex");
  return Adjust("adjtimex", tx, real);
}

int ntp_adjtime(struct timex *tx) {
  int (*real)(struct timex *) = (int (*)(struct timex *))dlsym(RTLD_NEXT, "ntp_adjtime");
  return Adjust("ntp_adjtime", tx, real);
}

int clock_adjtime(clockid_t clock, struct timex *tx) {
  if (tx->modes == 0) {
    int (*real)(clockid_t, struct timex *) =
        (int (*)(clockid_t, struct timex *))dlsym(RTLD_NEXT, "clock_adjtime");
    if (real != NULL) return real(clock, tx);
  }
  return Adjust("clock_adjtime", tx, NULL);
}

int adjtime(const struct timeval *delta, struct timeval *olddelta) {
  if (olddelta != NULL) memset(olddelta, 0, sizeof *olddelta);
  if (delta == NULL) return 0;
  Record("adjtime", (long long)delta->tv_sec, (long)delta->tv_usec * 1000L);
  return Answer();
}

typedef int (*GetAddrInfo)(const char *, const char *, const struct addrinfo *, struct addrinfo **);

int getaddrinfo(const char *node, const char *service, const struct addrinfo *hints, struct addrinfo **res) {
  const char *none = getenv("HOROLAN_CLOCKSHIM_NO_DNS");
  struct in_addr numeric;
  if (none != NULL && strcmp(none, "1") == 0 && node != NULL && inet_pton(AF_INET, node, &numeric) != 1) {
    Record("getaddrinfo_refused", 0, 0);
    return EAI_NONAME;
  }
  GetAddrInfo real = (GetAddrInfo)dlsym(RTLD_NEXT, "getaddrinfo");
  return real ? real(node, service, hints, res) : EAI_SYSTEM;
}
