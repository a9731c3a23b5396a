#include "runner.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
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

// A pipe that holds `bytes` and whose writing end is closed: a reader gets
// them, then the end of the stream.
int pipeOf(const std::string& bytes) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  const bool written = fcntl(ends[1], F_GETPIPE_SZ) >= static_cast<int>(bytes.size()) &&
                       write(ends[1], bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  close(ends[1]);
  if (!written) {
    close(ends[0]);
    throw std::runtime_error("standard input larger than a pipe holds");
  }
  return ends[0];
}

[[noreturn]] void startChild(const std::vector<std::string>& arguments, const runOptions& options, int in, int out,
                             int err) {
  if (!options.directory.empty() && chdir(options.directory.c_str()) != 0) _exit(126);
  if (!options.locale.empty() && !program.windows) {  // the locale that LANG alone gives
    for (const char* name : {"LC_ALL", "LC_CTYPE"}) unsetenv(name);
    setenv("LANG", options.locale.c_str(), 1);
  }
  // As an interactive shell starts it, also from the background of a script, where interruptions are ignored.
  for (int number : {SIGPIPE, SIGINT, SIGTERM}) signal(number, SIG_DFL);
  dup2(in, 0);
  fcntl(0, F_SETFD, 0);  // open in the program, also when `in` was 0 already
  if (options.closeStdin) close(0);
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
  if (options.openFilesLimit > 0) {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = static_cast<rlim_t>(options.openFilesLimit);
    setrlimit(RLIMIT_NOFILE, &limit);
  }
  if (options.fileSizeLimit >= 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{static_cast<rlim_t>(options.fileSizeLimit), static_cast<rlim_t>(options.fileSizeLimit)};
    setrlimit(RLIMIT_FSIZE, &limit);
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

namespace {

typedef std::chrono::steady_clock::time_point timePoint;

// The piped stream of a run: filled by the program, acted on, then read.
class pipedStream {
 public:
  pipedStream(pid_t child, const timePoint& deadline) : child_(child), deadline_(deadline) {}
  // Whether the child has ended (its status is then kept).
  bool ended() {
    if (!ended_ && waitpid(child_, &status_, WNOHANG) == child_) ended_ = true;
    return ended_;
  }
  bool late() const { return std::chrono::steady_clock::now() > deadline_; }
  // Waits until the program cannot write more without blocking: the pipe
  // holds all but the room of one small write.
  void waitUntilFull(int fd) {
    const int capacity = fcntl(fd, F_GETPIPE_SZ);
    for (int queued = 0; !ended() && !late(); pause()) {
      if (ioctl(fd, FIONREAD, &queued) == 0 && queued >= capacity - 4096) return;
    }
  }
  // Reads until `limit` bytes (0: the end of the stream).
  void read(int fd, std::string& data, std::size_t limit) {
    char buffer[1 << 16];
    while (!late() && (limit == 0 || data.size() < limit)) {
      pollfd ready{fd, POLLIN, 0};
      bool endedBefore = ended();  // all it wrote is in the pipe once it has ended
      if (poll(&ready, 1, 10) <= 0) {
        if (endedBefore) return;
        continue;
      }
      std::size_t want = limit == 0 ? sizeof buffer : std::min(sizeof buffer, limit - data.size());
      ssize_t n = ::read(fd, buffer, want);
      if (n <= 0) return;
      data.append(buffer, static_cast<size_t>(n));
    }
  }
  int status() const { return status_; }

 private:
  static void pause() { std::this_thread::sleep_for(std::chrono::milliseconds(2)); }
  pid_t child_;
  timePoint deadline_;
  int status_ = 0;
  bool ended_ = false;
};

}  // namespace

outcome run(const std::vector<std::string>& arguments, const runOptions& options) {
  int pipeEnds[2] = {-1, -1};
  if (options.pipedStream != 0 && pipe(pipeEnds) != 0) throw std::runtime_error("pipe");
  int out = options.pipedStream == 1 ? pipeEnds[1] : tempFile();
  int err = options.pipedStream == 2 ? pipeEnds[1] : tempFile();
  int in = options.input.empty() ? open("/dev/null", O_RDONLY | O_CLOEXEC) : pipeOf(options.input);
  pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork");
  if (child == 0) {
    if (pipeEnds[0] >= 0) close(pipeEnds[0]);
    startChild(arguments, options, in, out, err);
  }
  close(in);

  outcome result;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.timeoutSeconds);
  pipedStream piped(child, deadline);
  std::string pipedBytes;
  if (options.pipedStream != 0) {
    close(pipeEnds[1]);
    if (options.whileBlocked || options.signalWhenBlocked) {
      piped.waitUntilFull(pipeEnds[0]);
      if (options.whileBlocked) options.whileBlocked();
      if (options.signalWhenBlocked) kill(child, options.signalWhenBlocked);
    }
    piped.read(pipeEnds[0], pipedBytes, options.closeAfter);
    close(pipeEnds[0]);
  }
  while (!piped.ended() && !piped.late()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  int status = piped.status();
  if (!piped.ended()) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
  }
  if (WIFEXITED(status)) {
    result.exitCode = WEXITSTATUS(status);
  } else {
    result.crashed = true;
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  }
  result.out = options.pipedStream == 1 ? pipedBytes : slurp(out);
  result.err = options.pipedStream == 2 ? pipedBytes : slurp(err);
  if (options.pipedStream != 1) close(out);
  if (options.pipedStream != 2) close(err);
  return result;
}
