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

}  // namespace kv::test
