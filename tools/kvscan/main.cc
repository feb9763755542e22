// kvscan: the command-line scanner. It drives the engine only through
// include/kvserver.h and the library's exports, as any host would.
#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "kvserver.h"
#include "output.h"
#include "report_format.h"
#include "scan_session.h"
#include "terminal.h"

#ifndef KVSCAN_VERSION
#define KVSCAN_VERSION "0.0.0"
#endif

namespace kv::kvscan {
namespace {

#if defined(_WIN32)
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

constexpr int kExitClean = 0;
constexpr int kExitFound = 1;
constexpr int kExitError = 2;
constexpr int kExitInterrupted = 130;

struct Options {
  std::vector<std::string> paths;
  std::string database;
  std::string mode = "size";
  std::optional<std::string> masks;
  bool infected_only = false;
  bool no_summary = false;
  bool json = false;
  bool quiet = false;
  bool verbose = false;
  std::optional<std::string> info;
  std::vector<std::string> exclude_add;
  std::vector<std::string> exclude_remove;
  bool exclude_list = false;
  std::vector<std::string> is_excluded;
  std::vector<uint32_t> pids;
  std::vector<std::string> verify;
};

constexpr const char* kDescription =
    "kvscan - scan files and folders for known pests with the kvserver engine.\n"
    "\n"
    "Prints one line per examined file, \"PATH: NAME FOUND\" or \"PATH: OK\" (members\n"
    "of ZIP archives as \"ARCHIVE|MEMBER\"), then a scan summary. Exit status: 1 when a\n"
    "pest was found, else 2 after any error (engine start, bad option, missing path,\n"
    "failed command), else 0; 130 when stopped with Ctrl-C.";

constexpr const char* kFooter =
    "Data files: without --database the engine looks for KVFILE.DAT in the folder of\n"
    "the registry value KVLocation, then KVCLLocation, then kvscan's own folder (on\n"
    "POSIX the registry is /etc/trovalen/registry or the file named by\n"
    "TROVALEN_REGISTRY). --info reads KVINFO.DAT by the engine's own rules, the same\n"
    "three folders, and never from --database. excluded.dat is looked for in\n"
    "kvscan's own folder, then KVCLLocation, then KVLocation.\n"
    "\n"
    "--json writes one JSON object per line, each with a \"type\":\n"
    "  report   path, path_raw_hex, detected, pest_id, name, pvt, size_match\n"
    "  summary  scanned_files, detections, errors, data_file, data_file_raw_hex,\n"
    "           data_file_modified, data_folder, data_folder_raw_hex,\n"
    "           elapsed_seconds, interrupted, exit_code\n"
    "  error    path, path_raw_hex, message\n"
    "  and for the commands: verify, exclude_add, exclude_remove, exclusion,\n"
    "  is_excluded, process, info.\n"
    "A path that is not valid UTF-8 has U+FFFD in \"path\" and its bytes in hex in\n"
    "\"path_raw_hex\" (null otherwise); fields that do not apply are null.\n"
    "\n"
    "On a terminal a status line shows the progress on standard error; press p to\n"
    "pause and resume, Ctrl-C to stop (the summary so far is printed).";

std::string JoinFolder(const std::string& folder, const char* name) {
  std::string path = folder;
  if (!path.empty() && path.back() != '/' && path.back() != kSeparator) path += kSeparator;
  return path + name;
}

class Kvscan {
 public:
  Kvscan(const Options& options, Output& output) : options_(options), output_(output) {}

  int Run();

 private:
  void Fail(const std::optional<std::string>& path, const std::string& message) {
    ++errors_;
    output_.Error(path, message);
  }
  void Verify();
  // What an edit of excluded.dat is called in the output.
  struct ExclusionEdit {
    const char* type;
    const char* field;
    const char* done;
    const char* failure;
  };
  void ReportEdit(const ExclusionEdit& edit, const std::string& text, bool done);
  void ChangeExclusions();
  void ListExclusions();
  bool StartEngine();
  void ScanProcesses();
  void ScanAll();
  void ShowInfo();
  int ExitCode() const;

  const Options& options_;
  Output& output_;
  uint64_t errors_ = 0;
  bool engine_started_ = false;
  std::string data_folder_;
};

void Kvscan::Verify() {
  for (const std::string& file : options_.verify) {
    const int32_t status = kvVerifyDAT(file.c_str());
    const std::string meaning = StatusMeaning(status);
    output_.Text(file + ": status " + std::to_string(status) + " (" + meaning + ")");
    Json object = {{"type", "verify"}};
    AddPath(object, "path", file);
    object["status"] = status;
    object["meaning"] = meaning;
    output_.Object(object);
    if (status != KV_STATUS_OK) ++errors_;
  }
}

// One edit of excluded.dat, reported as a JSON object, then as a line of
// text or an error.
void Kvscan::ReportEdit(const ExclusionEdit& edit, const std::string& text, bool done) {
  Json object = {{"type", edit.type}};
  AddPath(object, edit.field, text);
  object["ok"] = done;
  output_.Object(object);
  if (done) {
    output_.Text(text + edit.done);
  } else {
    Fail(text, edit.failure);
  }
}

void Kvscan::ChangeExclusions() {
  static const ExclusionEdit kAdd = {
      "exclude_add", "path", ": excluded",
      "cannot add the exclusion (excluded.dat cannot be written, or the path is "
      "empty or longer than 259 characters)"};
  static const ExclusionEdit kRemove = {
      "exclude_remove", "entry", ": exclusion removed",
      "no such exclusion entry (or excluded.dat cannot be written)"};
  for (const std::string& path : options_.exclude_add) {
    ReportEdit(kAdd, path, kvAddExclusion(path.c_str()) == 1);
  }
  // Removal works on the list as last loaded: load it from excluded.dat.
  if (!options_.exclude_remove.empty()) kvFindFirstExclusion();
  for (const std::string& entry : options_.exclude_remove) {
    ReportEdit(kRemove, entry, kvRemoveExclusion(entry.c_str()) == 1);
  }
}

void Kvscan::ListExclusions() {
  if (options_.exclude_list) {
    for (const char* entry = kvFindFirstExclusion(); entry != nullptr;
         entry = kvFindNextExclusion()) {
      output_.Text(entry);
      Json object = {{"type", "exclusion"}};
      AddPath(object, "entry", entry);
      output_.Object(object);
    }
  }
  if (!options_.is_excluded.empty()) {
    kvFindFirstExclusion();  // reloads the list from excluded.dat
    for (const std::string& path : options_.is_excluded) {
      const bool excluded = kvIsFileExcluded(path.c_str()) == 1;
      output_.Text(path + (excluded ? ": excluded" : ": not excluded"));
      Json object = {{"type", "is_excluded"}};
      AddPath(object, "path", path);
      object["excluded"] = excluded;
      output_.Object(object);
    }
  }
}

bool Kvscan::StartEngine() {
  if (!options_.database.empty()) {
    const std::string file = JoinFolder(options_.database, "KVFILE.DAT");
    if (!PathExists(file)) {
      Fail(options_.database, "no KVFILE.DAT in this folder");
      return false;
    }
    kvSetDATFolder(options_.database.c_str());
  }
  const int32_t status = kvServerInitialize();
  std::vector<char> folder(4097, '\0');
  if (kvGetDATFolder(folder.data(), 4096) == 1) data_folder_ = folder.data();
  if (status != KV_STATUS_OK) {
    Fail(std::nullopt, "cannot start the engine with " + JoinFolder(data_folder_, "KVFILE.DAT") +
                           ": status " + std::to_string(status) + " (" + StatusMeaning(status) +
                           ")");
    return false;
  }
  engine_started_ = true;
  kvSetScanMode(options_.mode == "full" ? 1 : 0);
  if (options_.masks) kvSetFileMasks(options_.masks->c_str());
  return true;
}

// A process's executable, identified by kvScanSingleFile: the file masks
// of a walk would pass over the many executables without a dot in the name.
void Kvscan::ScanProcesses() {
  for (uint32_t pid : options_.pids) {
    if (scan_state.interrupted) return;
    std::vector<char> buffer(4097, '\0');
    const int32_t length = kvGetProcessFilename(pid, buffer.data(), 4096);
    if (length <= 0) {
      Fail(std::nullopt,
           "process " + std::to_string(pid) +
               (length == 0 ? ": no such process" : ": its executable path cannot be read"));
      continue;
    }
    const std::string path(buffer.data(), static_cast<size_t>(length));
    if (!options_.quiet) {
      if (!options_.infected_only) output_.Text("process " + std::to_string(pid) + ": " + path);
      Json object = {{"type", "process"}, {"pid", pid}};
      AddPath(object, "path", path);
      output_.Object(object);
    }
    _PEST_INFORMATION* info = kvScanSingleFile(path.c_str());
    std::vector<char> report_path(path.begin(), path.end());
    report_path.push_back('\0');
    OnReport(report_path.data(), info != nullptr ? 1 : 0, info, 0);
  }
}

void Kvscan::ScanAll() {
  scan_state.output = &output_;
  scan_state.infected_only = options_.infected_only;
  scan_state.quiet = options_.quiet;
  const bool progress = !options_.quiet && StandardErrorIsTerminal();
  KeyReader keys;
  const bool interactive = progress && keys.Start();

  const auto start = std::chrono::steady_clock::now();
  InteractiveScan interactive_scan(output_, progress, interactive ? &keys : nullptr, start);
  ScanProcesses();
  for (const std::string& target : options_.paths) {
    if (scan_state.interrupted) break;
    if (!PathExists(target)) {
      Fail(target, "no such file or folder");
      continue;
    }
    std::string path = target;  // the engine takes a writable text
    if (progress) {
      if (!interactive_scan.Run(path)) Fail(target, "the scan thread could not start");
    } else if (kvScanFileOrDirectory(path.data(), OnReport, 0) < 0) {
      Fail(target, "the engine is not initialized");
    }
  }
  interactive_scan.Finish();
  keys.Stop();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  if (options_.quiet || options_.no_summary) return;
  Summary summary;
  summary.scanned_files = scan_state.reports;
  summary.detections = scan_state.detections;
  summary.errors = errors_;
  summary.data_file = JoinFolder(data_folder_, "KVFILE.DAT");
  summary.data_file_modified = ModificationTime(summary.data_file);
  summary.data_folder = data_folder_;
  summary.elapsed_seconds = seconds;
  summary.interrupted = scan_state.interrupted;
  summary.exit_code = ExitCode();
  if (output_.json()) {
    output_.Object(SummaryObject(summary));
  } else {
    if (summary.scanned_files > 0 || errors_ > 0) output_.Text("");
    std::string text = SummaryText(summary);
    text.pop_back();
    output_.Text(text);
  }
}

void Kvscan::ShowInfo() {
  const std::string& name = *options_.info;
  _DETAILED_PEST_INFORMATION* info = nullptr;
  int32_t status = kvGetDetailedPestInformationFromName(name.c_str(), &info);
  std::optional<std::string> pest_name;
  if (status == KV_STATUS_PEST_NOT_FOUND && !name.empty() &&
      name.find_first_not_of("0123456789") == std::string::npos && name.size() < 10) {
    status = kvGetDetailedPestInformation(static_cast<uint32_t>(std::stoul(name)), &info);
  }
  if (status != KV_STATUS_OK || info == nullptr) {
    if (status == KV_STATUS_PEST_NOT_FOUND) {
      Fail(std::nullopt, "--info " + name + ": no pest of that name or id in the database");
    } else {
      Fail(std::nullopt, "--info " + name + ": cannot load KVINFO.DAT: status " +
                             std::to_string(status) + " (" + StatusMeaning(status) + ")");
    }
    return;
  }
  // The pest's own spelling of its name, from the signature table.
  if (_PEST_INFORMATION* found = kvFindPestByName(name.c_str())) {
    if (found->dwPestID == info->dwPestID && found->lpszPestName != nullptr) {
      pest_name = found->lpszPestName;
    }
    kvDeallocatePestInformation(found);
  }
  static constexpr const char* kLabels[5] = {"Category", "Description", "Symptoms", "Removal",
                                             "Notes"};
  static constexpr const char* kKeys[5] = {"category", "description", "symptoms", "removal",
                                           "notes"};
  const char* texts[5] = {info->lpszText1, info->lpszText2, info->lpszText3, info->lpszText4,
                          info->lpszText5};
  const std::string id = "pest " + std::to_string(info->dwPestID);
  output_.Text(pest_name ? *pest_name + " (" + id + ")" : id);
  Json object = {{"type", "info"}, {"pest_id", info->dwPestID}};
  object["name"] = pest_name ? Json(ToUtf8Lossy(*pest_name)) : nullptr;
  for (int t = 0; t < 5; ++t) {
    const std::string text = texts[t] != nullptr ? texts[t] : "";
    std::string line = "  " + std::string(kLabels[t]) + ":";
    if (!text.empty()) {
      line.resize(15, ' ');  // the texts in one column
      line += text;
    }
    output_.Text(line);
    object[kKeys[t]] = ToUtf8Lossy(text);
  }
  output_.Object(object);
  kvDeallocateDetailedPestInformation(info);
}

int Kvscan::ExitCode() const {
  if (scan_state.interrupted) return kExitInterrupted;
  if (scan_state.detections > 0) return kExitFound;
  if (errors_ > 0) return kExitError;
  return kExitClean;
}

int Kvscan::Run() {
  const bool scans = !options_.paths.empty() || !options_.pids.empty();
  if (options_.info && !options_.database.empty()) {
    output_.Note(
        "warning: --info reads KVINFO.DAT from the KVLocation or KVCLLocation folder or "
        "kvscan's own folder, never from --database");
  }
  Verify();
  ChangeExclusions();
  ListExclusions();
  if (scans || options_.info) {
    if (!StartEngine()) {
      output_.Flush();
      return kExitError;
    }
  }
  if (scans) ScanAll();
  // Last: loading KVINFO.DAT replaces the engine's data folder.
  if (options_.info && !scan_state.interrupted) ShowInfo();
  if (engine_started_) kvServerDeinitialize();
  output_.Flush();
  return ExitCode();
}

int Main(int argc, char** argv) {
  Options options;
  CLI::App app{kDescription, "kvscan"};
  app.footer(kFooter);
  app.set_version_flag("--version", std::string("kvscan ") + KVSCAN_VERSION);
  app.get_formatter()->column_width(26);
  app.add_option("PATH", options.paths, "Files and folders to scan");
  app.add_option("--database", options.database,
                 "Folder of KVFILE.DAT to use (kvSetDATFolder); KVINFO.DAT is not read "
                 "from it")
      ->type_name("DIR");
  app.add_option("--mode", options.mode,
                 "size: read only files whose size a signature has (default); full: "
                 "fingerprint every file")
      ->check(CLI::IsMember({"size", "full"}));
  app.add_option("--masks", options.masks,
                 "File masks separated by ';', e.g. \"*.EXE;*.DLL;!*.GIF\" (default "
                 "\"*.*;!*.GIF;!*.ICO;!*.JAVA;!*.CLASS;!*.JAR;!*.BMP\")")
      ->type_name("LIST");
  app.add_flag("-i,--infected", options.infected_only, "Print only the files with a pest");
  app.add_flag("--no-summary", options.no_summary, "Leave out the scan summary");
  app.add_flag("--json", options.json, "One JSON object per line (schema below)");
  app.add_flag("-q,--quiet", options.quiet,
               "Print nothing but errors; the exit status tells the result");
  app.add_flag("-v,--verbose", options.verbose,
               "Show the engine's own messages (signature statistics) on standard error");
  app.add_option("--info", options.info,
                 "Show the five texts of a pest (by name or id) from KVINFO.DAT, after any scan")
      ->type_name("NAME");
  app.add_option("--exclude-add", options.exclude_add, "Add a file or folder to excluded.dat")
      ->type_name("PATH")
      ->allow_extra_args(false);
  app.add_option("--exclude-remove", options.exclude_remove,
                 "Remove an entry of excluded.dat, as --exclude-list shows it")
      ->type_name("TEXT")
      ->allow_extra_args(false);
  app.add_flag("--exclude-list", options.exclude_list, "List the entries of excluded.dat");
  app.add_option("--is-excluded", options.is_excluded, "Tell whether a path is excluded")
      ->type_name("PATH")
      ->allow_extra_args(false);
  app.add_option("--pid", options.pids, "Scan the executable of a running process")
      ->type_name("PID")
      ->allow_extra_args(false);
  app.add_option("--verify", options.verify,
                 "Check a data file (KVFILE.DAT or KVINFO.DAT) and print its status")
      ->type_name("FILE")
      ->allow_extra_args(false);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& help) {
    return app.exit(help);
  } catch (const CLI::CallForAllHelp& help) {
    return app.exit(help);
  } catch (const CLI::Success& success) {  // --version
    return app.exit(success);
  } catch (const CLI::ParseError& error) {
    app.exit(error);
    return kExitError;
  }
  const bool commands = options.info || !options.exclude_add.empty() ||
                        !options.exclude_remove.empty() || options.exclude_list ||
                        !options.is_excluded.empty() || !options.verify.empty();
  if (options.paths.empty() && options.pids.empty() && !commands) {
    std::fprintf(stderr, "kvscan: nothing to do: give a PATH to scan or a command\n%s",
                 "Run with --help for more information.\n");
    return kExitError;
  }

  // Before the engine starts any thread: Ctrl-C stops the walks.
  HandleInterrupts([] {
    scan_state.interrupted = true;
    kvStopScan();
  });
  std::FILE* results = TakeStandardOutput(options.verbose);
  if (results == nullptr) {
    std::fprintf(stderr, "kvscan: standard output is closed\n");
    return kExitError;
  }
  Output output(results, options.json);
  Kvscan kvscan(options, output);
  const int code = kvscan.Run();
  std::fflush(results);
  return code;
}

}  // namespace
}  // namespace kv::kvscan

int main(int argc, char** argv) { return kv::kvscan::Main(argc, argv); }
