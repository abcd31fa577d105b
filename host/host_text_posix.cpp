// Text conversions through the C library's iconv.
#include <cerrno>
#include <cstring>
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


bool cp1252_to_utf8(const std::string& cp1252, std::string* utf8) {
  return convert("UTF-8", "WINDOWS-1252", "CP1252", cp1252, utf8);
}

// ---------------------------------------------------------------------------
// File and folder names
// ---------------------------------------------------------------------------

// Converters opened once and kept for the run: a build or an extraction
// converts every name of a tree.
static iconv_t name_converter(const char* to, const char* from, iconv_t* slot, bool* tried) {
  if (!*tried) {
    *tried = true;
    *slot = iconv_open(to, from);
  }
  return *slot;
}

static iconv_t g_to_cp932, g_from_cp932;
static bool g_to_cp932_tried = false, g_from_cp932_tried = false;

static iconv_t to_cp932() { return name_converter("CP932", "UTF-8", &g_to_cp932, &g_to_cp932_tried); }
static iconv_t from_cp932() {
  return name_converter("UTF-8", "CP932", &g_from_cp932, &g_from_cp932_tried);
}

// Feeds in through cd in small pieces, handing each piece of output to sink.
// False when the input does not convert whole and exactly, or sink refuses.
template <typename Sink>
static bool convert_in_pieces(iconv_t cd, const char* in, size_t in_length, Sink sink) {
  if (cd == iconv_t(-1)) return false;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
  char* src = const_cast<char*>(in);
  size_t src_left = in_length;
  char piece[256];
  for (;;) {
    char* dst = piece;
    size_t dst_left = sizeof piece;
    size_t r = src_left > 0 ? iconv(cd, &src, &src_left, &dst, &dst_left)
                            : iconv(cd, nullptr, nullptr, &dst, &dst_left);
    bool more = r == size_t(-1) && errno == E2BIG;
    if (!sink(piece, sizeof piece - dst_left)) return false;
    if (more) continue;
    // Failures, and characters replaced by a substitute, refuse the input.
    if (r != 0) return false;
    if (src_left == 0 && dst == piece) return true;  // flushed with nothing left
  }
}

// Length of in converted through cd; false when it does not convert.
static bool converted_length(iconv_t cd, const char* in, size_t in_length, size_t* length) {
  *length = 0;
  return convert_in_pieces(cd, in, in_length, [length](const char*, size_t n) {
    *length += n;
    return true;
  });
}

// Converts in through cd into out, which holds the result and its NUL.
static void convert_into(iconv_t cd, const char* in, size_t in_length, char* out) {
  size_t at = 0;
  convert_in_pieces(cd, in, in_length, [out, &at](const char* piece, size_t n) {
    std::memcpy(out + at, piece, n);
    at += n;
    return true;
  });
  out[at] = '\0';
}

// True when text converts back through cd to exactly original.
static bool converts_back_to(iconv_t cd, const char* text, size_t length, const char* original,
                             size_t original_length) {
  size_t at = 0;
  bool same = convert_in_pieces(cd, text, length, [&](const char* piece, size_t n) {
    if (n > original_length - at || std::memcmp(original + at, piece, n) != 0) return false;
    at += n;
    return true;
  });
  return same && at == original_length;
}

static bool copy_unchanged(const char* name, size_t length, char* out, size_t capacity,
                           bool* converted) {
  *converted = false;
  if (length + 1 > capacity) return false;
  std::memcpy(out, name, length + 1);
  return true;
}

bool disc_name_from_host_name(const char* host_name, char* out, size_t capacity, bool* converted) {
  size_t length = std::strlen(host_name);
  size_t needed = 0;
  if (!converted_length(to_cp932(), host_name, length, &needed))
    return copy_unchanged(host_name, length, out, capacity, converted);
  if (needed + 1 > capacity) {
    *converted = false;
    return false;
  }
  convert_into(to_cp932(), host_name, length, out);
  // Characters the C library maps to look-alikes (the yen sign to the
  // backslash byte, a separator on Windows) do not come back unchanged: such
  // a name is kept as it is.
  if (!converts_back_to(from_cp932(), out, needed, host_name, length))
    return copy_unchanged(host_name, length, out, capacity, converted);
  *converted = true;
  return true;
}

bool cp932_to_utf8(const std::string& cp932, std::string* utf8) {
  // Listings decode every name of an image: the kept converter saves opening
  // one per name.
  iconv_t cd = from_cp932();
  if (cd == iconv_t(-1)) return false;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  return convert(cd, cp932, utf8);
}

bool host_name_from_disc_name(const char* disc_name, char* out, size_t capacity, bool* converted) {
  size_t length = std::strlen(disc_name);
  size_t needed = 0;
  if (!converted_length(from_cp932(), disc_name, length, &needed))
    return copy_unchanged(disc_name, length, out, capacity, converted);
  *converted = needed + 1 <= capacity;
  if (!*converted) return false;
  convert_into(from_cp932(), disc_name, length, out);
  return true;
}

}  // namespace host
