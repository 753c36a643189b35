// Runs one command and prints what it cost: "wall_ms cpu_ms peak_kb status" (wall time from the
// spawn to the end, user + system CPU time of the command and every process it waited for, its
// peak resident memory). A small program of its own, so that the launcher's memory and start-up
// are not counted: a process forked from a script interpreter carries the interpreter's memory
// into the peak and its start-up into the times.
//
//   vt_bench_run_once [-o FILE] COMMAND [ARGS...]    (-o: standard output to FILE, else /dev/null)
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>

extern char** environ;

int main(int argc, char** argv) {
  int first = 1;
  const char* out = "/dev/null";
  if (argc > 2 && std::strcmp(argv[1], "-o") == 0) {
    out = argv[2];
    first = 3;
  }
  if (first >= argc) {
    std::fprintf(stderr, "usage: vt_bench_run_once [-o FILE] COMMAND [ARGS...]\n");
    return 2;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[first], &actions, nullptr, argv + first, environ) != 0) {
    std::perror(argv[first]);
    return 2;
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  const double wall = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  const double cpu = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                     (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-3;
  std::printf("%.2f %.2f %ld %d\n", wall, cpu, usage.ru_maxrss,
              WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
  return 0;
}
