// kvdat: builds, inspects and verifies the engine's data files, and packs
// any file into a bare compressed block and back.
#include <CLI/CLI.hpp>
#include <exception>
#include <iostream>

#include "block_compressor.h"
#include "commands.h"

int main(int argc, char** argv) {
  using namespace kv::kvdat;
  CLI::App app{"kvdat - build and inspect KVFILE.DAT and KVINFO.DAT", "kvdat"};
  app.require_subcommand(1);

  BuildArguments build;
  CLI::App* build_command =
      app.add_subcommand("build", "Compile a JSON source into KVFILE.DAT (and KVINFO.DAT)");
  build_command->add_option("SOURCE", build.source, "JSON source")->required();
  build_command->add_option("-o,--output", build.signatures_out, "KVFILE.DAT to write")->required();
  build_command->add_option("--info", build.info_out, "KVINFO.DAT to write");
  build_command->add_option("--samples", build.samples,
                            "Folder of the sample files (default: the source's folder)");
  build_command->add_option("--level", build.level, "Compression level 1-9")
      ->check(CLI::Range(kv::compressor::kFastestLevel, kv::compressor::kBestLevel));

  DumpArguments dump;
  CLI::App* dump_command =
      app.add_subcommand("dump", "Print a data file's header, status and records");
  dump_command->add_option("FILE", dump.file, "Data file")->required();
  dump_command->add_flag("--json", dump.json, "Machine-readable output");
  dump_command->add_flag("--source", dump.source, "Print a JSON source that builds the same files");
  dump_command->add_option("--info", dump.info, "With --source: KVINFO.DAT to merge");

  std::filesystem::path verify_file;
  CLI::App* verify_command =
      app.add_subcommand("verify", "Check a data file as the engine does; exit 0 if sound");
  verify_command->add_option("FILE", verify_file, "Data file")->required();

  std::vector<std::filesystem::path> sig_files;
  CLI::App* sig_command =
      app.add_subcommand("sig", "Print size and PVT of sample files, ready for a source");
  sig_command->add_option("FILE", sig_files, "Sample files")->required();

  std::filesystem::path pack_in, pack_out;
  int pack_level = 0;
  CLI::App* pack_command = app.add_subcommand("pack", "Compress any file into one bare block");
  pack_command->add_option("IN", pack_in, "Input file")->required();
  pack_command->add_option("OUT", pack_out, "Block to write")->required();
  pack_command->add_option("--level", pack_level, "Compression level 1-9")
      ->check(CLI::Range(kv::compressor::kFastestLevel, kv::compressor::kBestLevel));

  std::filesystem::path unpack_in, unpack_out;
  CLI::App* unpack_command = app.add_subcommand("unpack", "Expand a bare block");
  unpack_command->add_option("IN", unpack_in, "Block file")->required();
  unpack_command->add_option("OUT", unpack_out, "File to write")->required();

  std::filesystem::path samples_folder;
  CLI::App* samples_command = app.add_subcommand(
      "samples", "Write the sample files of the demo database (EICAR and synthetic pests)");
  samples_command->add_option("FOLDER", samples_folder, "Folder to write into")->required();

  CLI11_PARSE(app, argc, argv);

  try {
    if (*build_command) return Build(build, std::cout);
    if (*dump_command) return Dump(dump, std::cout);
    if (*verify_command) return Verify(verify_file, std::cout);
    if (*sig_command) return Sig(sig_files, std::cout);
    if (*pack_command) return Pack(pack_in, pack_out, pack_level, std::cout);
    if (*unpack_command) return Unpack(unpack_in, unpack_out, std::cout);
    if (*samples_command) return Samples(samples_folder, std::cout);
  } catch (const std::exception& error) {
    std::cerr << "kvdat: " << error.what() << "\n";
    return 1;
  }
  return 2;
}
