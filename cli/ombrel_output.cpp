// Listing lines, the information block and display texts for ombrel-cli.
#include "cli/ombrel_output.h"

#include <cstdio>
#include <cstring>

#include "cli/console_text.h"
#include "cli/ombrel_options.h"
#include "disc/disc_format.h"
#include "host/host_text.h"
#include "reader/fst_walk.h"

// ---------------------------------------------------------------------------
// Texts
// ---------------------------------------------------------------------------

std::string escape_controls(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    if (c >= 0x20 && c != 0x7F) {
      out += char(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out;
}

std::string shift_jis_for_display(const std::string& bytes) {
  std::string utf8;
  if (!host::cp932_to_utf8(bytes, &utf8)) utf8 = bytes;
  return escape_controls(utf8);
}

std::string windows1252_for_display(const std::string& bytes) {
  std::string utf8;
  if (!host::cp1252_to_utf8(bytes, &utf8)) utf8 = bytes;
  return escape_controls(utf8);
}

namespace {

std::string display_name(const std::string& name) {
  std::string utf8;
  return escape_controls(host::cp932_to_utf8(name, &utf8) ? utf8 : name);
}

}  // namespace

std::string image_path_for_display(const std::string& image_path) {
  return map_path_names(image_path, '/', display_name);
}

std::string system_text_utf8(const char* cp932) {
  std::string utf8;
  if (!cp932) return utf8;
  if (!host::cp932_to_utf8(cp932, &utf8)) utf8 = cp932;
  return utf8;
}

// ---------------------------------------------------------------------------
// Listing
// ---------------------------------------------------------------------------

std::string child_image_path(const std::string& folder_path, const std::string& name) {
  if (folder_path.empty() || folder_path == "/") return "/" + name;
  return folder_path + "/" + name;
}

namespace {

// Appends n in decimal.
void append_decimal(std::string* out, uint32_t n) {
  char digits[10];
  int count = 0;
  do {
    digits[count++] = char('0' + n % 10);
    n /= 10;
  } while (n);
  while (count) *out += digits[--count];
}

// One listing line: the path is prefix (already in display form) followed
// by name, an in-image path decoded here. Lines are appended in place.
void append_entry_line(std::string* out, const FstNode& node, const std::string& prefix,
                       const std::string& name) {
  *out += node.isDirectory ? 'd' : 'f';
  *out += '\t';
  append_decimal(out, node.isDirectory ? 0 : node.size);
  *out += '\t';
  append_decimal(out, node.isDirectory ? 0 : node.offset);
  *out += '\t';
  *out += prefix;
  *out += image_path_for_display(name);
  *out += '\n';
}

}  // namespace

std::string entry_line(const FstNode& node, const std::string& image_path) {
  std::string line;
  append_entry_line(&line, node, "", image_path);
  return line;
}

void walk_entries(const FstNode* first,
                  const std::function<void(const FstNode&, const std::string&)>& visit) {
  // lengths.back() is the length of the path of the folder being walked.
  std::vector<size_t> lengths(1, 0);
  std::string path;
  walk_fst_nodes(
      first, false,
      [&](const FstNode& node) {
        path.resize(lengths.back());
        if (!path.empty()) path += '/';
        path += node.name ? node.name : "";
        visit(node, path);
        if (node.isDirectory) lengths.push_back(path.size());
        return true;
      },
      [&lengths](const FstNode& node) {
        if (node.isDirectory) lengths.pop_back();
      });
}

bool write_entries(const FstNode* first_child, const std::string& folder_path, bool recursive,
                   const std::function<bool(const std::string& line)>& emit) {
  // Every entry's path is the folder's path and "/" followed by its names.
  const std::string prefix = image_path_for_display(
      folder_path == "/" || folder_path.empty() ? "/" : folder_path + "/");
  std::string line;
  bool ok = true;
  if (!recursive) {
    for (const FstNode* node = first_child; node && ok; node = node->next) {
      line.clear();
      append_entry_line(&line, *node, prefix, node->name ? node->name : "");
      ok = emit(line);
    }
    return ok;
  }
  walk_entries(first_child, [&](const FstNode& node, const std::string& relative) {
    if (!ok) return;
    line.clear();
    append_entry_line(&line, node, prefix, relative);
    ok = emit(line);
  });
  return ok;
}

std::string list_entries(const FstNode* first_child, const std::string& folder_path,
                         bool recursive) {
  std::string out;
  write_entries(first_child, folder_path, recursive, [&](const std::string& line) {
    out += line;
    return true;
  });
  return out;
}

// ---------------------------------------------------------------------------
// Information
// ---------------------------------------------------------------------------

namespace {

// Text buffers as large as the properties dialog's.
constexpr int TEXT_CAPACITY = 260;

const char* const kLanguageNames[BANNER_LANGUAGE_COUNT] = {"English", "German",  "French",
                                                           "Spanish", "Italian", "Dutch"};

void add_line(std::string* out, const char* label, const std::string& value) {
  char padded[32];
  std::snprintf(padded, sizeof padded, "%-15s", label);
  *out += padded;
  *out += value;
  *out += "\n";
}

}  // namespace

DiscInfo read_disc_info() {
  DiscInfo info;
  const char* path = IsoGetImagePath();
  info.image_path = path ? path : "";
  info.directory_count = IsoGetDirectoryCount();
  info.file_count = IsoGetFileCount();
  char buffer[TEXT_CAPACITY];
  info.game_name = IsoGetGameName(buffer, sizeof buffer);
  const char* maker = IsoGetMakerName();
  info.maker_name = maker ? maker : "";
  info.product_code = IsoGetProductCode(buffer, sizeof buffer);
  const char* video = IsoVideoFormatText(buffer);
  info.video_format = video ? video : "";

  const uint8_t* boot = IsoGetBootBlock();
  info.id6.assign(reinterpret_cast<const char*>(boot), 6);
  info.disc_number = boot[DISC_NUMBER_OFFSET];
  info.revision = boot[DISC_REVISION_OFFSET];
  info.audio_streaming = boot[AUDIO_STREAMING_OFFSET] != 0;
  info.stream_buffer_size = boot[STREAM_BUFFER_SIZE_OFFSET];
  info.bi2_region = read_be32(boot + BI2_OFFSET + BI2_REGION_OFFSET);
  info.max_fst_size = read_be32(boot + offsetof(DiscHeader, max_fst_size));
  const IsoAreaRange apploader = IsoGetBootArea(IsoAreaApploader);
  const IsoAreaRange main_program = IsoGetBootArea(IsoAreaMainDol);
  const IsoAreaRange fst = IsoGetBootArea(IsoAreaFst);
  info.apploader_offset = apploader.offset;
  info.apploader_size = apploader.length;
  info.has_main_program = main_program.present != 0;
  info.main_program_offset = main_program.offset;
  info.main_program_size = main_program.length;
  info.fst_offset = fst.offset;
  info.fst_size = fst.length;
  info.image_size = IsoGetImageSize();
  const char* date = reinterpret_cast<const char*>(IsoGetApploaderHeader());
  info.apploader_date.assign(date, strnlen(date, APPLOADER_DATE_SIZE));

  // The banner state says nothing of a missing file: look it up as the mount does.
  uint32_t offset = 0, size = 0;
  if (!IsoFindFile(BANNER_PATH, &offset, &size, 0)) return info;
  if (IsoGetBannerKind() == BANNER_KIND_SIX_LANGUAGE) {
    info.banner = BannerState::SixLanguage;
    for (uint16_t language = 0; language < BANNER_LANGUAGE_COUNT; ++language) {
      info.records.push_back(banner_texts(language));
    }
  } else {
    info.banner = BannerState::SingleRecord;
    info.records.push_back(banner_texts(0));
  }
  return info;
}

std::string counts_text_utf8(int directory_count, int file_count) {
  return system_text_utf8(counts_text(directory_count, file_count).c_str());
}

const char* bi2_region_name(uint32_t region) {
  switch (region) {
    case BI2_REGION_JAPAN: return "Japan";
    case BI2_REGION_USA: return "USA";
    case BI2_REGION_EUROPE: return "Europe";
  }
  return "unknown";
}

namespace {

std::string hex(uint32_t n) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", n);
  return text;
}

std::string bytes_at(uint32_t size, uint32_t offset) {
  return std::to_string(size) + " bytes at " + hex(offset);
}

}  // namespace

std::string format_disc_info(const DiscInfo& info) {
  std::string out;
  add_line(&out, "Image:", host_path_for_display(info.image_path));
  add_line(&out, "Entries:", counts_text_utf8(info.directory_count, info.file_count));
  add_line(&out, "Game name:", shift_jis_for_display(info.game_name));
  add_line(&out, "Maker:", shift_jis_for_display(info.maker_name));
  add_line(&out, "Product code:", shift_jis_for_display(info.product_code));
  add_line(&out, "Video format:", info.video_format);
  add_line(&out, "Game ID:", escape_controls(info.id6.c_str()));
  add_line(&out, "Disc number:",
           std::to_string(info.disc_number) + (info.disc_number == 0 ? " (the first disc)" : ""));
  add_line(&out, "Revision:", std::to_string(info.revision));
  add_line(&out, "Streaming:", std::string(info.audio_streaming ? "on" : "off") + " (buffer size " +
                                    std::to_string(info.stream_buffer_size) + ")");
  add_line(&out, "BI2 region:",
           std::to_string(info.bi2_region) + " (" + bi2_region_name(info.bi2_region) + ")");
  add_line(&out, "Apploader:", shift_jis_for_display(info.apploader_date) + ", " +
                                   bytes_at(info.apploader_size, info.apploader_offset));
  add_line(&out, "Main program:",
           info.has_main_program ? bytes_at(info.main_program_size, info.main_program_offset) : "none");
  add_line(&out, "File table:", bytes_at(info.fst_size, info.fst_offset) + " (max " +
                                    std::to_string(info.max_fst_size) + ")");
  add_line(&out, "Image size:", std::to_string(info.image_size) + " bytes");

  const bool six = info.banner == BannerState::SixLanguage;
  switch (info.banner) {
    case BannerState::None: add_line(&out, "Banner:", "none (no /opening.bnr)"); return out;
    case BannerState::SingleRecord: add_line(&out, "Banner:", "single-record"); break;
    case BannerState::SixLanguage: add_line(&out, "Banner:", "six-language"); break;
  }
  for (size_t i = 0; i < info.records.size(); ++i) {
    const BannerRecordTexts& r = info.records[i];
    auto shown = [six](const std::string& bytes) {
      return six ? windows1252_for_display(bytes) : shift_jis_for_display(bytes);
    };
    out += six && i < BANNER_LANGUAGE_COUNT ? kLanguageNames[i] : SINGLE_RECORD_LANGUAGE;
    out += ":\n";
    add_line(&out, "  Short name:", shown(r.short_name));
    add_line(&out, "  Short maker:", shown(r.short_maker));
    add_line(&out, "  Long name:", shown(r.long_name));
    add_line(&out, "  Long maker:", shown(r.long_maker));
    add_line(&out, "  Description:", shown(r.description));
  }
  return out;
}

namespace {

// A JSON string from UTF-8 (json_text turns anything else into UTF-8 first).
std::string json_string(const std::string& utf8) {
  std::string out = "\"";
  for (unsigned char c : utf8) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += char(c);
    } else if (c < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04X", c);
      out += escaped;
    } else {
      out += char(c);
    }
  }
  return out + "\"";
}

// Bytes of a code page as a JSON string: decoded, else each byte as Latin-1.
std::string json_text(const std::string& bytes, bool (*decode)(const std::string&, std::string*)) {
  std::string utf8;
  if (!decode(bytes, &utf8)) {
    utf8.clear();
    for (unsigned char c : bytes) {
      if (c < 0x80) {
        utf8 += char(c);
      } else {
        utf8 += char(0xC0 | (c >> 6));
        utf8 += char(0x80 | (c & 0x3F));
      }
    }
  }
  return json_string(utf8);
}

// The bytes themselves when they are well-formed UTF-8.
bool as_utf8(const std::string& bytes, std::string* utf8) {
  for (size_t i = 0; i < bytes.size();) {
    const unsigned char c = bytes[i];
    const size_t length = c < 0x80 ? 1 : c >= 0xC2 && c < 0xE0 ? 2 : c >= 0xE0 && c < 0xF0 ? 3 : c >= 0xF0 && c < 0xF5 ? 4 : 0;
    if (length == 0 || length > bytes.size() - i) return false;
    for (size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  *utf8 = bytes;
  return true;
}

// A host path: on Linux and macOS its bytes, which need not be UTF-8.
std::string json_path(const std::string& path) { return json_text(host_path_for_display(path), as_utf8); }

std::string json_sjis(const std::string& bytes) { return json_text(bytes, host::cp932_to_utf8); }
std::string json_1252(const std::string& bytes) { return json_text(bytes, host::cp1252_to_utf8); }

std::string json_range(uint32_t offset, uint32_t size) {
  return "{\"offset\": " + std::to_string(offset) + ", \"size\": " + std::to_string(size) + "}";
}

}  // namespace

std::string format_disc_info_json(const DiscInfo& info) {
  std::string out = "{\n";
  auto field = [&out](const char* name, const std::string& value, bool last = false) {
    out += "  \"";
    out += name;
    out += "\": " + value + (last ? "\n" : ",\n");
  };
  field("image", json_path(info.image_path));
  field("image_size", std::to_string(info.image_size));
  field("game_id", json_sjis(info.id6));
  field("game_name", json_sjis(info.game_name));
  field("maker", json_sjis(info.maker_name));
  field("product_code", json_sjis(info.product_code));
  field("video_format", json_string(info.video_format));
  field("disc_number", std::to_string(info.disc_number));
  field("revision", std::to_string(info.revision));
  field("audio_streaming", info.audio_streaming ? "true" : "false");
  field("stream_buffer_size", std::to_string(info.stream_buffer_size));
  field("bi2_region", std::to_string(info.bi2_region));
  field("bi2_region_name", json_string(bi2_region_name(info.bi2_region)));
  field("apploader_date", json_sjis(info.apploader_date));
  field("apploader", json_range(info.apploader_offset, info.apploader_size));
  field("main_program",
        info.has_main_program ? json_range(info.main_program_offset, info.main_program_size) : "null");
  field("fst", "{\"offset\": " + std::to_string(info.fst_offset) + ", \"size\": " +
                   std::to_string(info.fst_size) + ", \"max_size\": " +
                   std::to_string(info.max_fst_size) + "}");
  field("directories", std::to_string(info.directory_count));
  field("files", std::to_string(info.file_count));
  std::string banner = "null";
  if (info.banner != BannerState::None) {
    const bool six = info.banner == BannerState::SixLanguage;
    auto text = [six](const std::string& bytes) { return six ? json_1252(bytes) : json_sjis(bytes); };
    banner = std::string("{\"kind\": \"") + (six ? "six-language" : "single-record") +
             "\", \"records\": [";
    for (size_t i = 0; i < info.records.size(); ++i) {
      const BannerRecordTexts& r = info.records[i];
      banner += std::string(i ? ", " : "") + "{\"language\": " +
                json_string(six && i < BANNER_LANGUAGE_COUNT ? kLanguageNames[i] : SINGLE_RECORD_LANGUAGE) +
                ", \"short_name\": " + text(r.short_name) + ", \"short_maker\": " +
                text(r.short_maker) + ", \"long_name\": " + text(r.long_name) +
                ", \"long_maker\": " + text(r.long_maker) + ", \"description\": " +
                text(r.description) + "}";
    }
    banner += "]}";
  }
  field("banner", banner, true);
  return out + "}\n";
}

std::string format_disc_hashes(const std::string& image_path, uint64_t disc_size, const DiscHashes& sums) {
  std::string out;
  add_line(&out, "Image:", host_path_for_display(image_path));
  add_line(&out, "Size:", std::to_string(disc_size) + " bytes");
  add_line(&out, "CRC32:", crc32_hex(sums.crc32));
  add_line(&out, "MD5:", hex(sums.md5, sizeof sums.md5));
  add_line(&out, "SHA-1:", hex(sums.sha1, sizeof sums.sha1));
  return out;
}

std::string format_disc_hashes_json(const std::string& image_path, uint64_t disc_size, const DiscHashes& sums) {
  return "{\n  \"image\": " + json_path(image_path) + ",\n  \"size\": " +
         std::to_string(disc_size) + ",\n  \"crc32\": \"" + crc32_hex(sums.crc32) + "\",\n  \"md5\": \"" +
         hex(sums.md5, sizeof sums.md5) + "\",\n  \"sha1\": \"" + hex(sums.sha1, sizeof sums.sha1) + "\"\n}\n";
}
