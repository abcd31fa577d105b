// The command-line conventions both tools share.
#include "cli/command_line.h"

#ifndef GCDISC_VERSION
#error "the build passes the project's version as GCDISC_VERSION"
#endif

namespace {

const OptionForm kHelp = {"--help", 'h', 0};
const OptionForm kVersion = {"--version", 'V', 0};

// The form the argument names (its part before '=' for a long name); null
// when none does.
const OptionForm* find_form(const std::string& name, const OptionForm* forms, size_t count, size_t* index) {
  const bool long_form = name.compare(0, 2, "--") == 0;
  for (size_t i = 0; i < count; ++i) {
    const OptionForm& s = forms[i];
    if (long_form ? name == s.long_name : (s.short_name && name.size() == 2 && name[1] == s.short_name)) {
      *index = i;
      return &s;
    }
  }
  return nullptr;
}

}  // namespace

const std::string* CommandLine::value(size_t form) const {
  for (const GivenOption& o : options) {
    if (o.option == form) return &o.value;
  }
  return nullptr;
}

bool parse_command_line(const std::vector<std::string>& args, const OptionForm* forms, size_t count,
                        CommandLine* line, std::string* error, const char* help_command) {
  *line = CommandLine();
  bool options_ended = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_ended || arg.size() < 2 || arg[0] != '-') {
      line->operands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_ended = true;
      continue;
    }
    const size_t eq = arg.compare(0, 2, "--") == 0 ? arg.find('=') : std::string::npos;
    const std::string name = arg.substr(0, eq);
    size_t index = 0;
    if (name == kHelp.long_name || name == "-h" || name == kVersion.long_name || name == "-V") {
      (name == kHelp.long_name || name == "-h" ? line->help : line->version) = true;
      return true;
    }
    const OptionForm* form = find_form(name, forms, count, &index);
    if (!form) {
      *error = "unknown option '" + arg + "' (see " + help_command + ")";
      return false;
    }
    GivenOption given = {index, "", ""};
    if (!form->values && eq != std::string::npos) {
      *error = "option " + name + " takes no value";
      return false;
    }
    const bool inline_value = eq != std::string::npos;
    if (i + size_t(form->values) - (inline_value ? 1 : 0) >= args.size()) {
      *error = "option " + name + (form->values == 2 ? " needs two values" : " needs a value");
      return false;
    }
    if (form->values) given.value = inline_value ? arg.substr(eq + 1) : args[++i];
    if (form->values == 2) given.second = args[++i];
    if (!form->repeats && line->has(index)) {
      *error = "option " + std::string(form->long_name) + " is given twice";
      return false;
    }
    line->options.push_back(given);
  }
  return true;
}

std::string option_spelling(const OptionForm& form) {
  std::string text = form.short_name ? std::string("-") + form.short_name + ", " : "";
  return text + form.long_name;
}

std::string version_text(const char* tool, const std::vector<std::string>& libraries) {
  std::string text = std::string(tool) + " " + GCDISC_VERSION + "\n";
  for (const std::string& library : libraries) text += "  " + library + "\n";
  return text;
}
