// The test process's own id, and starting a program of the tests (the test host) and waiting for
// it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kv::test {

// Runs `program` with `arguments`, waits, and returns its exit code (-1 when
// it could not be started).
uint32_t OwnProcessId();

int RunProgram(const std::string& program, const std::vector<std::string>& arguments);

// What a program wrote and how it ended.
struct ProgramOutput {
  int exit_code = -1;  // -1 when it could not be started or did not exit
  std::string out;     // standard output
  std::string err;     // standard error
};

// Runs `program` with `arguments` and an empty standard input, captures its
// standard output and error (through files, so any amount is fine), and
// waits for it. On Windows the arguments are quoted by the C run-time's
// rules, so that any text arrives unchanged.
ProgramOutput RunProgramCaptured(const std::string& program,
                                 const std::vector<std::string>& arguments);

}  // namespace kv::test
