// Runs one command with its output on /dev/null and prints what it cost:
//   bow_misura COMANDO [ARG...]   ->   "wall_ms cpu_ms rss_kb status"
// cpu is user + system time, rss the peak resident memory (getrusage of the
// child, which covers the children it waited for, as a shell's pipeline).
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

namespace {

double ms(const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; }

double adesso_ms() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::printf("Uso: bow_misura COMANDO [ARG...]\n");
    return 1;
  }
  const double inizio = adesso_ms();
  const pid_t pid = fork();
  if (pid < 0) return 1;
  if (pid == 0) {
    const int nulla = open("/dev/null", O_WRONLY);
    if (nulla >= 0) dup2(nulla, 1);
    execvp(argv[1], argv + 1);
    _exit(127);
  }
  int stato = 0;
  rusage uso{};
  if (wait4(pid, &stato, 0, &uso) != pid) return 1;
  const double fine = adesso_ms();
  std::printf("%.1f %.1f %ld %d\n", fine - inizio, ms(uso.ru_utime) + ms(uso.ru_stime), uso.ru_maxrss,
              WIFEXITED(stato) ? WEXITSTATUS(stato) : 128 + WTERMSIG(stato));
  return 0;
}
