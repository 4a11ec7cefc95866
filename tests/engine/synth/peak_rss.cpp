// peak_rss PROGRAM [ARGS...]: runs the program, waits for it and prints its
// peak resident size in KiB (getrusage's ru_maxrss, from wait4) and its exit
// status, "<kib> <status>". Exit status 0 when it ran, 1 when it could not.
//
// A test cannot take this figure for a child of its own: the kernel counts
// into a child's peak the memory of the process that started it, up to its
// exec, and a test process may hold a lot. Started anew, this program is
// small, so the figure it prints is the program's own.

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cstdio>

extern char** environ;

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: peak_rss PROGRAM [ARGS...]\n");
    return 1;
  }
  pid_t child = 0;
  if (posix_spawn(&child, argv[1], nullptr, nullptr, argv + 1, environ) != 0) {
    std::perror("peak_rss: spawn");
    return 1;
  }
  int status = 0;
  struct rusage usage {};
  if (wait4(child, &status, 0, &usage) != child) {
    std::perror("peak_rss: wait4");
    return 1;
  }
  std::printf("%ld %d\n", usage.ru_maxrss, WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  return 0;
}
