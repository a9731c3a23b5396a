#include "runner.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "target.h"

namespace {

int tempFile() {
  char name[] = "/tmp/tarvin-e2e-out-XXXXXX";
  int fd = mkstemp(name);
  if (fd < 0) throw std::runtime_error("mkstemp");
  unlink(name);
  return fd;
}

std::string slurp(int fd) {
  std::string data;
  lseek(fd, 0, SEEK_SET);
  char buffer[1 << 16];
  for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) data.append(buffer, static_cast<size_t>(n));
  return data;
}

[[noreturn]] void startChild(const std::vector<std::string>& arguments, const runOptions& options, int out,
                             int err) {
  if (!options.directory.empty() && chdir(options.directory.c_str()) != 0) _exit(126);
  int in = open("/dev/null", O_RDONLY);
  dup2(in, 0);
  if (options.closeStdout) {
    close(1);
  } else if (!options.stdoutPath.empty()) {
    int file = open(options.stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(file, 1);
  } else {
    dup2(out, 1);
  }
  dup2(err, 2);
  if (options.memoryLimitMb > 0) {
    rlimit limit{static_cast<rlim_t>(options.memoryLimitMb) << 20, static_cast<rlim_t>(options.memoryLimitMb) << 20};
    setrlimit(RLIMIT_AS, &limit);
  }
  if (options.dropPrivileges) {
    setgroups(0, nullptr);
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(125);
  }
  execProgram(arguments);
}

}  // namespace

void execProgram(const std::vector<std::string>& arguments) {
  std::vector<std::string> all = program.runner;
  all.push_back(program.binary);
  all.insert(all.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  execvp(argv[0], argv.data());
  _exit(127);
}

outcome run(const std::vector<std::string>& arguments, const runOptions& options) {
  int out = tempFile(), err = tempFile();
  pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork");
  if (child == 0) startChild(arguments, options, out, err);

  outcome result;
  int status = 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.timeoutSeconds);
  for (;;) {
    pid_t done = waitpid(child, &status, WNOHANG);
    if (done == child) break;
    if (std::chrono::steady_clock::now() > deadline) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      result.crashed = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (WIFEXITED(status))
    result.exitCode = WEXITSTATUS(status);
  else
    result.crashed = true;
  result.out = slurp(out);
  result.err = slurp(err);
  close(out);
  close(err);
  return result;
}
