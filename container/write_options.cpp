// The writers' settings as users ask for them: the kind an output's name
// asks for, the names of kinds and methods, which setting applies to which
// kind, and the copy of a whole disc from one container into another.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "container/container_writer.h"
#include "host/host_fs.h"

namespace {

struct Named {
  const char* name;
  unsigned value;
};

const Named kKinds[] = {{"plain", CONTAINER_PLAIN}, {"rvz", CONTAINER_RVZ}, {"wia", CONTAINER_WIA},
                        {"gcz", CONTAINER_GCZ},     {"ciso", CONTAINER_CISO}};
const Named kMethods[] = {{"zstd", METHOD_ZSTD},   {"lzma", METHOD_LZMA}, {"lzma2", METHOD_LZMA2},
                          {"bzip2", METHOD_BZIP2}, {"purge", METHOD_PURGE}, {"none", METHOD_NONE}};

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

template <size_t N>
const Named* find_name(const Named (&table)[N], const std::string& name) {
  for (const Named& n : table) {
    if (name == n.name) return &n;
  }
  return nullptr;
}

const char* method_label(CompressionMethod method) {
  for (const Named& n : kMethods) {
    if (n.value == method) return n.name;
  }
  return "?";
}

// A whole number, optionally signed; false for anything else or one out of
// int's range.
bool parse_int(const std::string& text, long long lowest, long long highest, long long* value) {
  if (text.empty() || text.size() > 12) return false;
  char* end = nullptr;
  const long long v = std::strtoll(text.c_str(), &end, 10);
  if (*end != '\0' || v < lowest || v > highest) return false;
  *value = v;
  return true;
}

// Bytes as digits, optionally followed by K or M (KiB or MiB).
bool parse_size(const std::string& text, uint32_t* size) {
  std::string digits = text;
  long long unit = 1;
  if (!digits.empty()) {
    const char last = ascii_lower(digits.back());
    if (last == 'k' || last == 'm') {
      unit = last == 'k' ? 1024 : 1024 * 1024;
      digits.pop_back();
    }
  }
  long long v = 0;
  if (digits.empty() || digits[0] == '-' || digits[0] == '+' || !parse_int(digits, 0, UINT32_MAX, &v) ||
      v * unit > UINT32_MAX) {
    return false;
  }
  *size = uint32_t(v * unit);
  return true;
}

// The kinds that take each setting, for the refusal's text.
bool refuse_setting(ContainerKind kind, bool taken, const char* setting, const char* takers, std::string* error) {
  if (taken) return true;
  *error = std::string(setting) + " applies to " + takers + " only, not to " +
           (kind == CONTAINER_PLAIN ? "a plain image" : container_kind_name(kind));
  return false;
}

}  // namespace

ContainerKind container_kind_for_path(const char* path) {
  const char* dot = std::strrchr(path, '.');
  if (!dot || std::strpbrk(dot, "/\\")) return CONTAINER_PLAIN;
  std::string extension;
  for (const char* p = dot + 1; *p; ++p) extension += ascii_lower(*p);
  const Named* n = find_name(kKinds, extension);
  return n ? ContainerKind(n->value) : CONTAINER_PLAIN;
}

bool container_write_options_for(const char* path, const ContainerWriteRequest& request,
                                 ContainerWriteOptions* options, std::string* error) {
  ContainerKind kind = container_kind_for_path(path);
  if (!request.format.empty()) {
    const Named* n = find_name(kKinds, request.format);
    if (!n) {
      *error = "unknown format '" + request.format + "' (plain, rvz, wia, gcz or ciso)";
      return false;
    }
    kind = ContainerKind(n->value);
  }
  ContainerWriteOptions o = container_write_defaults(kind);
  const bool compressing = kind == CONTAINER_RVZ || kind == CONTAINER_WIA;
  if (!request.compression.empty()) {
    if (!refuse_setting(kind, compressing, "a compression method", "RVZ and WIA", error)) return false;
    const Named* n = find_name(kMethods, request.compression);
    if (!n) {
      *error = "unknown compression '" + request.compression + "' (zstd, lzma, lzma2, bzip2, purge or none)";
      return false;
    }
    o.method = CompressionMethod(n->value);
    if (o.method == METHOD_NONE || o.method == METHOD_PURGE) o.level = 0;
  }
  if (!request.level.empty()) {
    if (!refuse_setting(kind, compressing || kind == CONTAINER_GCZ, "a compression level", "RVZ, WIA and GCZ",
                        error)) {
      return false;
    }
    long long level = 0;
    if (!parse_int(request.level, INT32_MIN, INT32_MAX, &level)) {
      *error = "the level '" + request.level + "' is not a whole number";
      return false;
    }
    o.level = int(level);
  }
  if (!request.block_size.empty()) {
    if (!refuse_setting(kind, kind != CONTAINER_PLAIN, "a block size", "RVZ, WIA, GCZ and CISO", error)) return false;
    if (!parse_size(request.block_size, &o.block_size)) {
      *error = "the block size '" + request.block_size + "' is not a number of bytes (such as 131072 or 128K)";
      return false;
    }
  }
  if (request.scrub) {
    if (!refuse_setting(kind, kind == CONTAINER_CISO, "scrubbing", "CISO", error)) return false;
    o.scrub = true;
  }
  // The ranges, for any disc: a CISO's block count is checked with the disc.
  if (!container_write_check(o, 0, nullptr, error)) return false;
  *options = o;
  return true;
}

std::string container_write_summary(const ContainerWriteOptions& o) {
  if (o.kind == CONTAINER_PLAIN) return "plain image";
  std::string text = container_kind_name(o.kind);
  if (o.kind == CONTAINER_RVZ || o.kind == CONTAINER_WIA) {
    text += std::string(", ") + method_label(o.method);
    if (o.method != METHOD_NONE && o.method != METHOD_PURGE) text += " level " + std::to_string(o.level);
  } else if (o.kind == CONTAINER_GCZ) {
    text += ", zlib level " + std::to_string(o.level);
  }
  const uint32_t kib = o.block_size >> 10;
  text += ", " + (o.block_size % (1u << 20) == 0 ? std::to_string(kib >> 10) + " MiB"
                  : o.block_size % 1024 == 0     ? std::to_string(kib) + " KiB"
                                                 : std::to_string(o.block_size) + " bytes");
  text += o.kind == CONTAINER_RVZ || o.kind == CONTAINER_WIA ? " chunks" : " blocks";
  if (o.scrub) text += ", scrubbed";
  return text;
}

bool container_convert(Container* c, const char* path, const ContainerWriteOptions& options,
                       ContainerProgressFn progress, ContainerError* error, std::string* detail,
                       std::string* kept_path) {
  const uint64_t size = container_disc_size(c);
  host::FileId input;
  const bool known = container_file_identity(c, &input);
  ContainerWriter* w = container_writer_open(path, size, options, known ? &input : nullptr, error, detail);
  if (!w) return false;
  std::vector<uint8_t> buffer;
  try {
    buffer.resize(1u << 20);
  } catch (...) {
    container_writer_abandon(w);
    if (error) *error = CONTAINER_ERR_NO_MEMORY;
    if (detail) *detail = "cannot allocate a buffer";
    return false;
  }
  for (uint64_t at = 0; at < size;) {
    size_t got = 0;
    if (!container_read(c, at, buffer.data(), size_t(std::min<uint64_t>(buffer.size(), size - at)), &got) ||
        got == 0) {
      if (error) *error = got == 0 && container_error(c) == CONTAINER_OK ? CONTAINER_ERR_READ : container_error(c);
      if (detail) {
        *detail = container_error_detail(c);
        if (detail->empty()) *detail = "the image ended at byte " + std::to_string(at);
      }
      container_writer_abandon(w);
      return false;
    }
    if (!container_writer_write(w, buffer.data(), got)) {
      if (error) *error = container_writer_error(w);
      if (detail) *detail = container_writer_error_detail(w);
      container_writer_abandon(w);
      return false;
    }
    at += got;
    if (progress) progress(at, size);
  }
  return container_writer_finish(w, error, detail, kept_path);
}
