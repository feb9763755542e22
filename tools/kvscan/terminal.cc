// kvscan's system dealings: POSIX descriptors, termios and sigwait; on
// Windows the C run-time's descriptors, conio and the console handler.
#include "terminal.h"

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#if defined(_WIN32)
#include <conio.h>
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace kv::kvscan {

namespace {
std::function<void()>& InterruptAction() {
  static std::function<void()> action;
  return action;
}
std::atomic<int> interrupt_count{0};

void Interrupted() {
  if (interrupt_count.fetch_add(1) == 0) {
    if (InterruptAction()) InterruptAction()();
    return;
  }
  RestoreTerminal();
#if defined(_WIN32)
  ::ExitProcess(130);
#else
  ::_exit(130);
#endif
}
}  // namespace

void SleepMilliseconds(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::optional<std::time_t> ModificationTime(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return std::nullopt;
  return static_cast<std::time_t>(status.st_mtime);
}

#if defined(_WIN32)

std::FILE* TakeStandardOutput(bool engine_output_to_stderr) {
  const int keep = ::_dup(1);
  if (keep < 0) return nullptr;
  int target = engine_output_to_stderr ? ::_dup(2) : ::_open("NUL", _O_WRONLY);
  if (target >= 0) {
    ::_dup2(target, 1);
    ::_close(target);
    ::SetStdHandle(STD_OUTPUT_HANDLE, reinterpret_cast<HANDLE>(::_get_osfhandle(1)));
  }
  // Binary: lines end in LF alone, the same bytes as on POSIX.
  ::_setmode(keep, _O_BINARY);
  std::FILE* out = ::_fdopen(keep, "wb");
  if (out != nullptr) std::setvbuf(out, nullptr, ::_isatty(keep) ? _IONBF : _IOFBF, 1 << 16);
  return out;
}

bool StandardErrorIsTerminal() { return ::_isatty(2) != 0; }
bool StandardInputIsTerminal() { return ::_isatty(0) != 0; }

int TerminalColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (::GetConsoleScreenBufferInfo(::GetStdHandle(STD_ERROR_HANDLE), &info)) {
    return info.srWindow.Right - info.srWindow.Left + 1;
  }
  return 80;
}

bool KeyReader::Start() {
  started_ = StandardInputIsTerminal();
  return started_;
}

void KeyReader::Stop() { started_ = false; }

int KeyReader::Wait(int milliseconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  do {
    if (started_ && ::_kbhit()) return ::_getch();
    SleepMilliseconds(10);
  } while (std::chrono::steady_clock::now() < end);
  return -1;
}

void RestoreTerminal() {}

namespace {
BOOL WINAPI ConsoleControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  Interrupted();  // the system runs this handler on a thread of its own
  return TRUE;
}
}  // namespace

void HandleInterrupts(std::function<void()> on_interrupt) {
  InterruptAction() = std::move(on_interrupt);
  ::SetConsoleCtrlHandler(ConsoleControl, TRUE);
}

bool PathExists(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

#else

std::FILE* TakeStandardOutput(bool engine_output_to_stderr) {
  const int keep = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
  if (keep < 0) return nullptr;
  const int target =
      engine_output_to_stderr ? ::dup(STDERR_FILENO) : ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (target >= 0) {
    ::dup2(target, STDOUT_FILENO);
    ::close(target);
  }
  std::FILE* out = ::fdopen(keep, "w");
  if (out != nullptr) std::setvbuf(out, nullptr, ::isatty(keep) ? _IOLBF : _IOFBF, 1 << 16);
  return out;
}

bool StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) != 0; }
bool StandardInputIsTerminal() { return ::isatty(STDIN_FILENO) != 0; }

int TerminalColumns() {
  struct winsize size {};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

namespace {
struct termios saved_terminal;
std::atomic<bool> terminal_changed{false};
}  // namespace

bool KeyReader::Start() {
  if (started_) return true;
  if (!StandardInputIsTerminal() || ::tcgetattr(STDIN_FILENO, &saved_terminal) != 0) return false;
  struct termios raw = saved_terminal;
  raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  if (::tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) return false;
  terminal_changed = true;
  started_ = true;
  std::atexit(RestoreTerminal);
  return true;
}

void KeyReader::Stop() {
  if (!started_) return;
  RestoreTerminal();
  started_ = false;
}

int KeyReader::Wait(int milliseconds) {
  if (!started_) {
    SleepMilliseconds(milliseconds);
    return -1;
  }
  struct pollfd input {
    STDIN_FILENO, POLLIN, 0
  };
  if (::poll(&input, 1, milliseconds) <= 0 || (input.revents & POLLIN) == 0) {
    if (input.revents & (POLLHUP | POLLERR | POLLNVAL)) {
      // The terminal went away: stop listening, keep the pace.
      started_ = false;
      SleepMilliseconds(milliseconds);
    }
    return -1;
  }
  unsigned char key = 0;
  if (::read(STDIN_FILENO, &key, 1) != 1) return -1;
  return key;
}

void RestoreTerminal() {
  if (terminal_changed.exchange(false)) ::tcsetattr(STDIN_FILENO, TCSANOW, &saved_terminal);
}

void HandleInterrupts(std::function<void()> on_interrupt) {
  InterruptAction() = std::move(on_interrupt);
  // Blocked here, before any other thread exists, so that every thread
  // inherits the mask and only the waiting thread below receives them.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  ::pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::thread([signals] {
    for (;;) {
      int signal = 0;
      if (::sigwait(&signals, &signal) == 0) Interrupted();
    }
  }).detach();
}

bool PathExists(const std::string& path) {
  struct stat status {};
  return ::lstat(path.c_str(), &status) == 0;
}

#endif

}  // namespace kv::kvscan
