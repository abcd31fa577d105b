// Text conversions through the C library's iconv.
#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <locale.h>
#include <wctype.h>

#include <algorithm>

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

// The code page 932 converters, opened once and kept for the run: a build,
// an extraction or a listing converts every name of a tree.
static iconv_t to_cp932() {
  static const iconv_t cd = iconv_open("CP932", "UTF-8");
  return cd;
}

static iconv_t from_cp932() {
  static const iconv_t cd = iconv_open("UTF-8", "CP932");
  return cd;
}

// Converts in whole through a kept converter, from its initial state.
static bool convert_kept(iconv_t cd, const std::string& in, std::string* out) {
  if (cd == iconv_t(-1)) return false;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  return convert(cd, in, out);
}

bool is_host_lead_byte(unsigned char c) { return is_cp932_lead_byte(c); }

// ASCII is itself in code page 932 and in UTF-8; most names on a disc are
// ASCII, and iconv costs a listing more than everything else per name.
static bool is_ascii(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool utf8_to_cp932(const std::string& utf8, std::string* cp932) {
  if (is_ascii(utf8)) {
    *cp932 = utf8;
    return true;
  }
  std::string converted;
  if (!convert_kept(to_cp932(), utf8, &converted)) return false;
  // The C library maps a few characters to look-alikes (the yen sign to the
  // backslash byte, for one). Only a conversion that comes back unchanged
  // keeps the text as typed.
  std::string back;
  if (!convert_kept(from_cp932(), converted, &back) || back != utf8) return false;
  *cp932 = std::move(converted);
  return true;
}

bool cp932_to_utf8(const std::string& cp932, std::string* utf8) {
  if (is_ascii(cp932)) {
    *utf8 = cp932;
    return true;
  }
  return convert_kept(from_cp932(), cp932, utf8);
}

bool cp1252_to_utf8(const std::string& cp1252, std::string* utf8) {
  return convert("UTF-8", "WINDOWS-1252", "CP1252", cp1252, utf8);
}

// ---------------------------------------------------------------------------
// File and folder names
// ---------------------------------------------------------------------------

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

// Converts in through cd into out (capacity bytes). False when in does not
// convert. *length is the converted length; *fits tells whether the result
// and its NUL fitted, and only then does out hold them.
static bool convert_into(iconv_t cd, const char* in, size_t in_length, char* out, size_t capacity,
                         size_t* length, bool* fits) {
  size_t at = 0;
  // Past the capacity the conversion goes on, only counting, to tell a name
  // too long from one that does not convert.
  bool ok = convert_in_pieces(cd, in, in_length, [&](const char* piece, size_t n) {
    if (at + n < capacity) std::memcpy(out + at, piece, n);
    at += n;
    return true;
  });
  *length = at;
  *fits = at < capacity;
  if (ok && *fits) out[at] = '\0';
  return ok;
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
  bool fits = false;
  if (!convert_into(to_cp932(), host_name, length, out, capacity, &needed, &fits))
    return copy_unchanged(host_name, length, out, capacity, converted);
  if (!fits) {
    *converted = false;
    return false;
  }
  // Characters the C library maps to look-alikes (the yen sign to the
  // backslash byte, a separator on Windows) do not come back unchanged: such
  // a name is kept as it is.
  if (!converts_back_to(from_cp932(), out, needed, host_name, length))
    return copy_unchanged(host_name, length, out, capacity, converted);
  *converted = true;
  return true;
}

bool host_name_from_disc_name(const char* disc_name, char* out, size_t capacity, bool* converted) {
  size_t length = std::strlen(disc_name);
  size_t needed = 0;
  bool fits = false;
  if (!convert_into(from_cp932(), disc_name, length, out, capacity, &needed, &fits))
    return copy_unchanged(disc_name, length, out, capacity, converted);
  *converted = fits;
  return fits;
}

}  // namespace host

namespace host {

bool latin1_bytes_of_host_name(const std::string& host_name, std::string* bytes) {
  // Host names are UTF-8: U+0080..U+00FF are the two-byte sequences C2 xx and C3 xx.
  std::string out;
  bool beyond_ascii = false;
  for (size_t i = 0; i < host_name.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(host_name[i]);
    if (c < 0x80) {
      out += char(c);
      continue;
    }
    if ((c != 0xC2 && c != 0xC3) || i + 1 == host_name.size()) return false;
    const unsigned char next = static_cast<unsigned char>(host_name[++i]);
    if ((next & 0xC0) != 0x80) return false;
    out += char(((c & 0x03) << 6) | (next & 0x3F));
    beyond_ascii = true;
  }
  if (!beyond_ascii) return false;
  *bytes = std::move(out);
  return true;
}

std::string host_text_to_utf8(const std::string& host_text) { return host_text; }

std::vector<std::string> utf8_arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

std::string host_name_key(const std::string& host_name) {
#ifdef __APPLE__
  std::string key = host_name;
  for (char& c : key) c = (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
  return key;
#else
  return host_name;
#endif
}

}  // namespace host

namespace host {

namespace {

// UTF-16 code units of a UTF-8 name; a byte that is not part of valid UTF-8
// stands for itself as U+DC80..U+DCFF, so every name has a place.
std::u16string utf16_units(const std::string& utf8) {
  std::u16string out;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(utf8.data());
  const size_t n = utf8.size();
  for (size_t i = 0; i < n;) {
    unsigned c = p[i];
    size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    uint32_t code = length == 1 ? c : length == 2 ? (c & 0x1F) : length == 3 ? (c & 0x0F) : (c & 0x07);
    bool valid = length > 0 && i + length <= n;
    for (size_t k = 1; valid && k < length; ++k) {
      valid = (p[i + k] & 0xC0) == 0x80;
      code = (code << 6) | (p[i + k] & 0x3F);
    }
    static const uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    valid = valid && code >= smallest[length] && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
    if (!valid) {
      out += char16_t(0xDC00 | c);
      ++i;
      continue;
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      out += char16_t(0xD800 | (code >> 10));
      out += char16_t(0xDC00 | (code & 0x3FF));
    } else {
      out += char16_t(code);
    }
    i += length;
  }
  return out;
}

// Simple upper-casing of each unit, as NTFS's table maps them; surrogates stay.
std::u16string upper_units(const std::u16string& units) {
  static const locale_t utf8_locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
  std::u16string out = units;
  for (char16_t& u : out) {
    if (u < 0x80) {
      if (u >= 'a' && u <= 'z') u = char16_t(u - 'a' + 'A');
    } else if ((u < 0xD800 || u > 0xDFFF) && utf8_locale) {
      wint_t upper = towupper_l(wint_t(u), utf8_locale);
      if (upper <= 0xFFFF) u = char16_t(upper);
    }
  }
  return out;
}

}  // namespace

void sort_names_as_windows_lists(std::vector<std::string>* names) {
  struct Keyed {
    std::u16string upper, units;
    std::string name;
  };
  std::vector<Keyed> keyed;
  keyed.reserve(names->size());
  for (std::string& name : *names) {
    std::u16string units = utf16_units(name);
    keyed.push_back({upper_units(units), units, std::move(name)});
  }
  std::sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
    return a.upper != b.upper ? a.upper < b.upper : a.units < b.units;
  });
  for (size_t i = 0; i < keyed.size(); ++i) (*names)[i] = std::move(keyed[i].name);
}

}  // namespace host
