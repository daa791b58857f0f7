/* peak_rss PROGRAM [ARGS...]: runs PROGRAM and prints its peak resident memory in KiB.
 *
 * A forked child starts with its parent's resident pages counted as its own, so a large
 * benchmark process cannot measure a small program it starts; this launcher is small enough
 * not to matter. The program's standard output goes to /dev/null. */
#include <fcntl.h>
#include <stdio.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc < 2) return 64;
  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    execv(argv[1], argv + 1);
    _exit(127);
  }
  int status = 0;
  struct rusage ru;
  if (wait4(pid, &status, 0, &ru) < 0) return 1;
  printf("%ld\n", ru.ru_maxrss);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
