// ombrel-cli's command line: the command and its operands parsed into one
// record, and the --help text.
#pragma once

#include <string>
#include <vector>

#include "container/container_writer.h"
#include "explorer/core/extraction_logic.h"

enum class OmbrelCommand { None, Info, List, Extract, System, Banner, Unpack, Convert, Hash, Check };

struct OmbrelOptions {
  OmbrelCommand command = OmbrelCommand::None;
  std::string image;
  std::string image_path = "/";          // ls: the path inside the image
  std::vector<std::string> image_paths;  // extract: paths and patterns inside the image
  std::string destination;  // extract, sys and unpack: a folder; banner, convert: the file
  std::string dat;          // check: a dat file to find the disc in
  ExtractKind area = ExtractKind::BootData;  // sys: one of the four system areas
  bool recursive = false;    // ls -R
  bool overwrite = false;    // replace files, merge into folders
  bool dry_run = false;      // say what would be written, write nothing
  bool json = false;         // info, hash and check: one JSON object
  bool strict_size = false;  // mount only full-size images
  bool quiet = false;        // no progress bar, no notes
  ContainerWriteRequest write;  // convert: the output's settings as given
  ContainerWriteOptions write_options;  // and as the writer takes them
  bool help = false;
  bool version = false;
};

const char* ombrel_usage();

// Parses the arguments after the program name (see cli/command_line.h): a
// command, its operands, and the options that apply to it. False with a
// one-line reason for an unknown command or option, an option the command
// does not take, or a wrong number of operands.
bool parse_ombrel_args(const std::vector<std::string>& args, OmbrelOptions* options,
                       std::string* error);

// "boot", "fst", "apploader" or "dol": the explorer's extraction of that
// system area (its file name is system_area_file_name's).
bool parse_system_area(const std::string& name, ExtractKind* area);
