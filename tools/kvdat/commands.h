// The kvdat subcommands, each a function from parsed arguments to an exit
// code; messages go to the given streams so that tests can read them.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace kv::kvdat {

struct BuildArguments {
  std::filesystem::path source;
  std::filesystem::path signatures_out;
  std::filesystem::path info_out;  // empty: no KVINFO.DAT
  std::filesystem::path samples;   // empty: the source's folder
  int level = 0;                   // 0: the compressor's default
};
int Build(const BuildArguments& arguments, std::ostream& out);

struct DumpArguments {
  std::filesystem::path file;
  std::filesystem::path info;  // with --source: the KVINFO.DAT to merge
  bool json = false;
  bool source = false;
};
int Dump(const DumpArguments& arguments, std::ostream& out);

int Verify(const std::filesystem::path& file, std::ostream& out);
int Sig(const std::vector<std::filesystem::path>& files, std::ostream& out);
int Pack(const std::filesystem::path& in, const std::filesystem::path& out_path, int level,
         std::ostream& out);
int Unpack(const std::filesystem::path& in, const std::filesystem::path& out_path,
           std::ostream& out);
int Samples(const std::filesystem::path& folder, std::ostream& out);

}  // namespace kv::kvdat
