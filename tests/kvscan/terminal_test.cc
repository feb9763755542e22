// kvscan on a terminal (POSIX, a pseudo-terminal): the status line on
// standard error, the p key pausing and resuming the walk, Ctrl-C stopping
// it with the summary so far; standard output, a pipe here, gets results
// only.
#if !defined(_WIN32)
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "kvscan/kvscan_fixture.h"

namespace kv::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kFolders = 40;
constexpr int kFilesPerFolder = 250;

class KvscanTerminal : public KvscanTest {
 protected:
  KvscanTerminal() : big_(scratch() / "big") {
    // Enough files that the walk is still running when the test presses p.
    for (int f = 0; f < kFolders; ++f) {
      const fs::path folder = big_ / ("folder" + std::to_string(f));
      fs::create_directories(folder);
      for (int i = 0; i < kFilesPerFolder; ++i) {
        WriteFileBytes(folder / ("file" + std::to_string(i) + ".txt"), Bytes(i % 7, 'x'));
      }
    }
  }

  ~KvscanTerminal() override {
    if (child_ > 0) {
      ::kill(child_, SIGKILL);
      ::waitpid(child_, nullptr, 0);
    }
    if (master_ >= 0) ::close(master_);
    if (out_pipe_ >= 0) ::close(out_pipe_);
  }

  // kvscan with standard input and error on a new pseudo-terminal of 200
  // columns, and standard output on a pipe.
  void Start(const std::vector<std::string>& arguments) {
    int pipe_ends[2];
    ASSERT_EQ(::pipe(pipe_ends), 0);
    struct winsize size {};
    size.ws_row = 24;
    size.ws_col = 200;
    const std::string program = kvscan();
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments)
      argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    child_ = ::forkpty(&master_, nullptr, nullptr, &size);
    ASSERT_GE(child_, 0);
    if (child_ == 0) {
      ::dup2(pipe_ends[1], STDOUT_FILENO);
      ::close(pipe_ends[0]);
      ::close(pipe_ends[1]);
      ::execv(program.c_str(), argv.data());
      ::_exit(127);
    }
    ::close(pipe_ends[1]);
    out_pipe_ = pipe_ends[0];
  }

  // Reads what is ready within `milliseconds`; false once both ends closed.
  bool Pump(int milliseconds) {
    std::vector<pollfd> fds;
    if (master_ >= 0) fds.push_back({master_, POLLIN, 0});
    if (out_pipe_ >= 0) fds.push_back({out_pipe_, POLLIN, 0});
    if (fds.empty()) return false;
    if (::poll(fds.data(), fds.size(), milliseconds) <= 0) return true;
    for (const pollfd& fd : fds) {
      if (fd.revents == 0) continue;
      char buffer[4096];
      const ssize_t got = ::read(fd.fd, buffer, sizeof buffer);
      std::string& into = fd.fd == master_ ? terminal_ : out_;
      if (got > 0) {
        into.append(buffer, static_cast<size_t>(got));
      } else {
        // The end (a pseudo-terminal reports EIO when its other side closed).
        if (fd.fd == master_) {
          terminal_closed_ = true;
        } else {
          ::close(out_pipe_);
          out_pipe_ = -1;
        }
      }
    }
    return !(terminal_closed_ && out_pipe_ < 0);
  }

  // Reads until the terminal shows `text` after position `from`.
  bool WaitFor(const std::string& text, size_t from = 0, int seconds = 20) {
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    while (terminal_.find(text, from) == std::string::npos) {
      if (Clock::now() > end || terminal_closed_) return false;
      Pump(50);
    }
    return true;
  }

  // Reads for a while, without waiting for anything.
  void ReadFor(int milliseconds) {
    const auto end = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (Clock::now() < end && !terminal_closed_) Pump(20);
  }

  void Press(const std::string& keys) {
    ASSERT_EQ(::write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }

  bool Running() { return ::waitpid(child_, nullptr, WNOHANG) == 0; }

  // Reads to the end and returns the exit code.
  int Finish() {
    const auto end = Clock::now() + std::chrono::seconds(60);
    while (Clock::now() < end && Pump(50)) {
    }
    int status = 0;
    if (::waitpid(child_, &status, 0) != child_) return -1;
    child_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // The file count of the last status line drawn.
  long LastStatusCount() const {
    const size_t files = terminal_.rfind(" files, ");
    if (files == std::string::npos) return -1;
    size_t start = files;
    while (start > 0 && std::isdigit(static_cast<unsigned char>(terminal_[start - 1]))) --start;
    return std::stol(terminal_.substr(start, files - start));
  }

  fs::path big_;
  pid_t child_ = -1;
  int master_ = -1;
  int out_pipe_ = -1;
  bool terminal_closed_ = false;
  std::string terminal_;
  std::string out_;
};

constexpr int kBigFiles = kFolders * kFilesPerFolder;

TEST_F(KvscanTerminal, PKeyPausesAndResumesAndStandardOutputGetsResultsOnly) {
  Start({"-i", Path(big_), Path(tree())});
  ASSERT_TRUE(WaitFor(" files/s")) << terminal_;
  Press("p");
  ASSERT_TRUE(WaitFor("[paused: p resumes]")) << terminal_;
  ReadFor(300);
  const long paused_at = LastStatusCount();
  ReadFor(500);
  EXPECT_TRUE(Running());
  EXPECT_EQ(LastStatusCount(), paused_at) << "the walk went on while paused";
  EXPECT_LT(paused_at, kBigFiles + 4) << "the walk ended before the pause";
  const size_t resumed_from = terminal_.size();
  Press("p");
  ASSERT_EQ(Finish(), 1) << terminal_ << out_;

  // The status line went to the terminal, redrawn over itself with CRs; it
  // stopped saying paused after the second p (lines drawn before the key
  // was read may still arrive after it was pressed).
  EXPECT_NE(terminal_.find('\r'), std::string::npos);
  const size_t last_running = terminal_.rfind(" files/s  ");
  ASSERT_NE(last_running, std::string::npos) << terminal_;
  EXPECT_GT(last_running, resumed_from);
  EXPECT_GT(last_running, terminal_.rfind("[paused"));
  // Results only on standard output.
  EXPECT_EQ(out_.find('\r'), std::string::npos) << out_;
  EXPECT_EQ(out_.find("files/s"), std::string::npos) << out_;
  EXPECT_EQ(out_.find("collisions"), std::string::npos) << out_;
  const ScanOutput output = ParseScanOutput(out_);
  EXPECT_EQ(output.reports,
            (std::map<std::string, std::string>{
                {TreePath("pests/eicar.com"), "EICAR-Test-File"},
                {TreePath("pests/basalt-keylogger.exe"), "Sample.Keylogger.Basalt"}}));
  EXPECT_EQ(SummaryValue(output, "Scanned files"), std::to_string(kBigFiles + 4));
  EXPECT_EQ(SummaryValue(output, "Interrupted"), "");
}

TEST_F(KvscanTerminal, CtrlCStopsTheWalkPrintsTheSummarySoFarAndExits130) {
  Start({Path(big_), Path(tree())});
  ASSERT_TRUE(WaitFor(" files/s")) << terminal_;
  Press("p");
  ASSERT_TRUE(WaitFor("[paused: p resumes]")) << terminal_;
  Press("\x03");  // the terminal's interrupt character: SIGINT
  ASSERT_EQ(Finish(), 130) << terminal_ << out_;
  const ScanOutput output = ParseScanOutput(out_);
  ASSERT_FALSE(output.summary.empty()) << out_;
  const long scanned = std::stol(SummaryValue(output, "Scanned files"));
  EXPECT_GT(scanned, 0);
  EXPECT_LT(scanned, kBigFiles + 4);
  EXPECT_EQ(static_cast<long>(output.reports.size()), scanned);
  EXPECT_EQ(output.reports.count(TreePath("pests/eicar.com")), 0u) << "the second path ran";
  EXPECT_NE(SummaryValue(output, "Interrupted"), "");
}

}  // namespace
}  // namespace kv::test
#endif
