// The string forms of the name conversions, for either host.
#include "host/host_text.h"

#include <vector>

namespace host {

std::string disc_name_from_host_name(const std::string& host_name, bool* converted) {
  // A disc name is never longer than its host name.
  std::vector<char> out(host_name.size() + 1);
  bool done = false;
  disc_name_from_host_name(host_name.c_str(), out.data(), out.size(), &done);
  if (converted) *converted = done;
  return out.data();
}

std::string host_name_from_disc_name(const std::string& disc_name, bool* converted) {
  // Up to three host bytes a disc byte.
  std::vector<char> out(3 * disc_name.size() + 1);
  bool done = false;
  host_name_from_disc_name(disc_name.c_str(), out.data(), out.size(), &done);
  if (converted) *converted = done;
  return out.data();
}

}  // namespace host
