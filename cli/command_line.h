// What both command-line tools share on their command lines: one way of
// parsing options, one exit-status rule, and the --version text.
//
// Options: "--name VALUE", "--name=VALUE" or "-x VALUE" for an option with
// a value (the next argument is taken as it stands, even when it begins
// with "-"; an option of two values takes the next two), "--name" or "-x"
// for a flag; options and operands may come in any order; "--" ends the
// options; a lone "-" is an operand. An unknown option, a missing value, a
// value given to a flag and an option given twice (unless it repeats) are
// wrong command lines. --help (-h) and --version (-V) stop the checks.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Exit statuses of both tools. 2 is for what the command line alone shows to
// be wrong; anything found by looking at files (a missing input, an output
// that is an input) is a failed work, 1.
constexpr int EXIT_TOOL_OK = 0;      // the work was done
constexpr int EXIT_TOOL_FAILED = 1;  // the work failed, a missing or unreadable input included
constexpr int EXIT_TOOL_USAGE = 2;   // a wrong command line

struct OptionForm {
  const char* long_name;  // "--overwrite"
  char short_name;        // 'o', or 0 for none
  int values;             // 0 for a flag, 1 or 2
  bool repeats = false;   // may be given more than once
};

struct GivenOption {
  size_t option;       // index into the option forms
  std::string value;   // "" for a flag
  std::string second;  // the second value of a two-value option
};

struct CommandLine {
  std::vector<GivenOption> options;  // in the order given
  std::vector<std::string> operands;
  bool help = false;
  bool version = false;

  // The option's value, or null when it was not given.
  const std::string* value(size_t form) const;
  bool has(size_t form) const { return value(form) != nullptr; }
};

// Parses the arguments after the program name against forms (--help, -h,
// --version and -V are known without being listed). False with a one-line
// reason for a wrong command line; an unknown option's points to help_command
// ("--help", or "trelvik-cli edit --help").
bool parse_command_line(const std::vector<std::string>& args, const OptionForm* forms, size_t count,
                        CommandLine* line, std::string* error, const char* help_command = "--help");

// How an option is spelled in messages and help: "-o, --overwrite" or
// "--json".
std::string option_spelling(const OptionForm& form);

// The --version text: the tool's name and the project's version on the first
// line, then the libraries it was built with ("zlib 1.2.13"), one a line.
std::string version_text(const char* tool, const std::vector<std::string>& libraries);
