// The kvscan fixture: host folder, tree, runs and output parsing.
#include "kvscan/kvscan_fixture.h"

namespace kv::test {
namespace fs = std::filesystem;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

ScanOutput ParseScanOutput(const std::string& text) {
  ScanOutput output;
  bool in_summary = false;
  for (const std::string& line : Lines(text)) {
    if (line == "----------- SCAN SUMMARY -----------") in_summary = true;
    if (in_summary) {
      output.summary.push_back(line);
      continue;
    }
    const size_t colon = line.rfind(": ");
    const std::string found = " FOUND";
    if (colon != std::string::npos && line.substr(colon + 2) == "OK") {
      output.reports[line.substr(0, colon)] = "OK";
    } else if (colon != std::string::npos && line.size() > found.size() &&
               line.compare(line.size() - found.size(), found.size(), found) == 0) {
      output.reports[line.substr(0, colon)] =
          line.substr(colon + 2, line.size() - found.size() - colon - 2);
    } else {
      output.other_lines.push_back(line);
    }
  }
  return output;
}

std::string SummaryValue(const ScanOutput& output, const std::string& name) {
  for (const std::string& line : output.summary) {
    if (line.rfind(name + ": ", 0) == 0) return line.substr(name.size() + 2);
  }
  return "";
}

fs::path KvscanTest::BuildFolder() { return TestExecutableFolder().parent_path(); }

Bytes KvscanTest::Sample(const std::string& name) {
  return ReadFileBytes(BuildFolder() / "samples" / name);
}

KvscanTest::KvscanTest() : host_(folder_.path() / "host"), tree_(folder_.path() / "tree") {
  fs::create_directories(host_);
  for (const char* name : {
         KV_KVSCAN_FILE_NAME, "KVFILE.DAT", "KVINFO.DAT"
#if defined(_WIN32)
             ,
             KV_LIBRARY_FILE_NAME, KV_UNZIP32_FILE_NAME
#endif
       }) {
    fs::copy_file(BuildFolder() / name, host_ / name);
  }
  fs::create_directories(tree_ / "clean");
  fs::create_directories(tree_ / "pests");
  const std::string hello = "hello, world\n";
  WriteFileBytes(tree_ / "clean" / "readme.txt", Bytes(hello.begin(), hello.end()));
  // The size of a pest (Sample.Backdoor.Quill), not its content.
  WriteFileBytes(tree_ / "clean" / "lookalike.exe", Bytes(4097, 'A'));
  WriteFileBytes(tree_ / "pests" / "eicar.com", Sample("eicar.com"));
  WriteFileBytes(tree_ / "pests" / "basalt-keylogger.exe", Sample("basalt-keylogger.exe"));
  // The default masks skip pictures, pests or not.
  WriteFileBytes(tree_ / "pests" / "picture.gif", Sample("eicar.com"));
}

std::string KvscanTest::kvscan() const { return (host_ / KV_KVSCAN_FILE_NAME).string(); }

std::string KvscanTest::TreePath(const std::string& relative) const {
  return (tree_ / fs::path(relative).make_preferred()).string();
}

ProgramOutput KvscanTest::Run(const std::vector<std::string>& arguments) {
  ProgramOutput result = RunProgramCaptured(kvscan(), arguments);
  // Never a status line when standard error is not a terminal.
  EXPECT_EQ(result.err.find("files/s"), std::string::npos) << result.err;
  for (size_t cr = result.err.find('\r'); cr != std::string::npos;
       cr = result.err.find('\r', cr + 1)) {
    EXPECT_EQ(result.err.compare(cr, 2, "\r\n"), 0) << "a status line: " << result.err;
  }
  return result;
}

}  // namespace kv::test
