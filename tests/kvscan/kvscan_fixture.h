// kvscan end to end: a copy of the built kvscan in a host folder of its own
// (with the sample database and, on Windows, the DLLs beside it), a
// generated tree of clean files and sample pests, and no registry values.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/run_program.h"
#include "support/settings.h"
#include "support/test_files.h"

namespace kv::test {

// kvscan's text output split into the report lines (path to "OK" or the
// pest name) and the summary lines after the heading.
struct ScanOutput {
  std::map<std::string, std::string> reports;
  std::vector<std::string> other_lines;  // neither reports nor summary
  std::vector<std::string> summary;      // from the heading on
};

// The lines of `text`, without line ends (a CR before the LF included).
std::vector<std::string> Lines(const std::string& text);
ScanOutput ParseScanOutput(const std::string& text);
// The value of the summary line "NAME: VALUE", or "" when missing.
std::string SummaryValue(const ScanOutput& output, const std::string& name);

class KvscanTest : public testing::Test {
 protected:
  KvscanTest();

  // The build folder: the parent of the test executable's folder.
  static std::filesystem::path BuildFolder();
  // The bytes of a sample file the build wrote (build/samples/NAME).
  static Bytes Sample(const std::string& name);

  ProgramOutput Run(const std::vector<std::string>& arguments);
  std::string Path(const std::filesystem::path& path) const { return path.string(); }
  std::string TreePath(const std::string& relative) const;
  std::string kvscan() const;

  const std::filesystem::path& host() const { return host_; }
  const std::filesystem::path& tree() const { return tree_; }
  const std::filesystem::path& scratch() const { return folder_.path(); }

 private:
  ScopedSettings settings_;
  TempFolder folder_;
  std::filesystem::path host_;
  std::filesystem::path tree_;
};

}  // namespace kv::test
