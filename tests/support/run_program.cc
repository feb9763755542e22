// Process start for tests: CreateProcessA on Windows, posix_spawn on POSIX.
#include "support/run_program.h"

#include "support/test_files.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace kv::test {

#if defined(_WIN32)
uint32_t OwnProcessId() { return ::GetCurrentProcessId(); }

int RunProgram(const std::string& program, const std::vector<std::string>& arguments) {
  std::string command = "\"" + program + "\"";
  for (const std::string& argument : arguments) command += " \"" + argument + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process)) {
    return -1;
  }
  ::WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  ::GetExitCodeProcess(process.hProcess, &code);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return static_cast<int>(code);
}
namespace {

// One argument as the C run-time splits a command line: quotes around, and
// backslashes doubled only where they precede a quote.
std::string QuoteArgument(const std::string& argument) {
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      quoted.append(backslashes * 2 + 1, '\\');
    } else {
      quoted.append(backslashes, '\\');
    }
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  return quoted + "\"";
}

HANDLE InheritableFile(const std::string& path, bool write) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return ::CreateFileA(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

ProgramOutput RunProgramCaptured(const std::string& program,
                                 const std::vector<std::string>& arguments) {
  TempFolder capture;
  const std::string out_path = capture.File("out"), err_path = capture.File("err");
  ProgramOutput result;
  {
    std::string command = QuoteArgument(program);
    for (const std::string& argument : arguments) {
      command += ' ';
      command += QuoteArgument(argument);
    }
    HANDLE input = InheritableFile("NUL", false);
    HANDLE out = InheritableFile(out_path, true);
    HANDLE err = InheritableFile(err_path, true);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    const BOOL started = ::CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, TRUE,
                                          0, nullptr, nullptr, &startup, &process);
    ::CloseHandle(input);
    ::CloseHandle(out);
    ::CloseHandle(err);
    if (!started) return result;
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    result.exit_code = static_cast<int>(code);
  }
  const Bytes out = ReadFileBytes(out_path), err = ReadFileBytes(err_path);
  result.out.assign(out.begin(), out.end());
  result.err.assign(err.begin(), err.end());
  return result;
}
#else
uint32_t OwnProcessId() { return static_cast<uint32_t>(::getpid()); }

int RunProgram(const std::string& program, const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t child = 0;
  if (::posix_spawn(&child, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
    return -1;
  }
  int status = 0;
  if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

ProgramOutput RunProgramCaptured(const std::string& program,
                                 const std::vector<std::string>& arguments) {
  TempFolder capture;
  const std::string out_path = capture.File("out"), err_path = capture.File("err");
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
  ::posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
  ProgramOutput result;
  pid_t child = 0;
  const int spawned =
      ::posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return result;
  int status = 0;
  if (::waitpid(child, &status, 0) == child && WIFEXITED(status)) {
    result.exit_code = WEXITSTATUS(status);
  }
  const Bytes out = ReadFileBytes(out_path), err = ReadFileBytes(err_path);
  result.out.assign(out.begin(), out.end());
  result.err.assign(err.begin(), err.end());
  return result;
}
#endif

}  // namespace kv::test
