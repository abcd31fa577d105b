// Text conversions through the C library's iconv.
#include <cerrno>
#include <iconv.h>

#include "host/host_text.h"

namespace host {

// Converts the whole text or fails: invalid input, a character the target
// cannot hold and a sequence cut short at the end all refuse the text.
static bool convert(iconv_t cd, const std::string& in, std::string* out) {
  std::string result;
  char* src = const_cast<char*>(in.data());
  size_t src_left = in.size();
  char chunk[1024];
  bool ok = true;
  while (src_left > 0) {
    char* dst = chunk;
    size_t dst_left = sizeof(chunk);
    size_t r = iconv(cd, &src, &src_left, &dst, &dst_left);
    result.append(chunk, sizeof(chunk) - dst_left);
    if (r == size_t(-1)) {
      if (errno == E2BIG) continue;
      ok = false;
      break;
    }
    // iconv counts characters it replaced by a substitute in its result.
    if (r != 0) {
      ok = false;
      break;
    }
  }
  if (ok) {
    char* dst = chunk;
    size_t dst_left = sizeof(chunk);
    if (iconv(cd, nullptr, nullptr, &dst, &dst_left) == size_t(-1)) ok = false;
    result.append(chunk, sizeof(chunk) - dst_left);
  }
  if (!ok) return false;
  *out = std::move(result);
  return true;
}

// Opens a converter under the first of its names the C library knows.
static bool convert(const char* to, const char* from, const char* from_alias,
                    const std::string& in, std::string* out) {
  iconv_t cd = iconv_open(to, from);
  if (cd == iconv_t(-1) && from_alias) cd = iconv_open(to, from_alias);
  if (cd == iconv_t(-1)) return false;
  bool ok = convert(cd, in, out);
  iconv_close(cd);
  return ok;
}

bool utf8_to_cp932(const std::string& utf8, std::string* cp932) {
  std::string converted;
  if (!convert("CP932", "UTF-8", nullptr, utf8, &converted)) return false;
  // The C library maps a few characters to look-alikes (the yen sign to the
  // backslash byte, for one). Only a conversion that comes back unchanged
  // keeps the text as typed.
  std::string back;
  if (!convert("UTF-8", "CP932", nullptr, converted, &back) || back != utf8) return false;
  *cp932 = std::move(converted);
  return true;
}

bool cp932_to_utf8(const std::string& cp932, std::string* utf8) {
  return convert("UTF-8", "CP932", nullptr, cp932, utf8);
}

bool cp1252_to_utf8(const std::string& cp1252, std::string* utf8) {
  return convert("UTF-8", "WINDOWS-1252", "CP1252", cp1252, utf8);
}

}  // namespace host
