// Listing lines, the information block and display texts for ombrel-cli.
#include "cli/ombrel_output.h"

#include <charconv>
#include <cstdio>
#include <cstring>

#include "cli/console_text.h"
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

std::string shift_jis_for_display(const std::string& bytes) { return escape_controls(cp932_for_display(bytes)); }

std::string windows1252_for_display(const std::string& bytes) {
  std::string utf8;
  if (!host::cp1252_to_utf8(bytes, &utf8)) utf8 = bytes;
  return escape_controls(utf8);
}

std::string image_path_for_display(const std::string& image_path) {
  return IsoMapPathNames(image_path, '/', shift_jis_for_display);
}


// ---------------------------------------------------------------------------
// Listing
// ---------------------------------------------------------------------------

namespace {

// Appends n in decimal.
void append_decimal(std::string* out, uint32_t n) {
  char digits[10];
  out->append(digits, std::to_chars(digits, digits + sizeof digits, n).ptr);
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
  // lengths.back() is the length of the path of the folder being walked.
  std::vector<size_t> lengths(1, 0);
  std::string relative;
  return walk_fst_nodes(
      first_child, false,
      [&](const FstNode& node) {
        relative.resize(lengths.back());
        if (!relative.empty()) relative += '/';
        relative += node.name ? node.name : "";
        if (node.isDirectory) lengths.push_back(relative.size());
        line.clear();
        append_entry_line(&line, node, prefix, relative);
        return emit(line);
      },
      [&lengths](const FstNode& node) {
        if (node.isDirectory) lengths.pop_back();
      });
}

// ---------------------------------------------------------------------------
// Information
// ---------------------------------------------------------------------------

namespace {

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
  const ImageProperties p = read_image_properties();  // as the properties dialog reads them
  info.image_path = p.image_path;
  info.directory_count = IsoGetDirectoryCount();
  info.file_count = IsoGetFileCount();
  info.game_name = p.game_name;
  info.maker_name = p.maker_name;
  info.product_code = p.product_code;
  info.video_format = p.video_type;
  IsoGetDiscInfo(&info.disc);
  // The banner state says nothing of a missing file.
  if (!image_has_banner()) return info;
  const bool six = banner_languages_selectable();
  info.banner = six ? BannerState::SixLanguage : BannerState::SingleRecord;
  for (uint16_t language = 0; language < (six ? BANNER_LANGUAGE_COUNT : 1); ++language)
    info.records.push_back(banner_texts(language));
  return info;
}

std::string entry_counts_text(int directory_count, int file_count) {
  return counted(uint64_t(directory_count), "folder", "folders") + ", " + counted(uint64_t(file_count), "file", "files");
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
  add_line(&out, "Entries:", entry_counts_text(info.directory_count, info.file_count));
  add_line(&out, "Game name:", shift_jis_for_display(info.game_name));
  add_line(&out, "Maker:", shift_jis_for_display(info.maker_name));
  add_line(&out, "Product code:", shift_jis_for_display(info.product_code));
  add_line(&out, "Video format:", info.video_format);
  const IsoDiscInfo& d = info.disc;
  add_line(&out, "Game ID:", escape_controls(d.id6));
  add_line(&out, "Disc number:",
           std::to_string(d.disc_number) + (d.disc_number == 0 ? " (the first disc)" : ""));
  add_line(&out, "Revision:", std::to_string(d.revision));
  add_line(&out, "Streaming:", std::string(d.audio_streaming ? "on" : "off") + " (buffer size " +
                                    std::to_string(d.stream_buffer_size) + ")");
  add_line(&out, "BI2 region:", std::to_string(d.bi2_region) + " (" + bi2_region_name(d.bi2_region) + ")");
  add_line(&out, "Apploader:", shift_jis_for_display(d.apploader_date) + ", " +
                                   bytes_at(d.apploader.length, d.apploader.offset));
  add_line(&out, "Main program:",
           d.main_program.present ? bytes_at(d.main_program.length, d.main_program.offset) : "none");
  add_line(&out, "File table:", bytes_at(d.fst.length, d.fst.offset) + " (max " +
                                    std::to_string(d.max_fst_size) + ")");
  add_line(&out, "Image size:", std::to_string(d.image_size) + " bytes");

  const bool six = info.banner == BannerState::SixLanguage;
  switch (info.banner) {
    case BannerState::None: add_line(&out, "Banner:", "none (no /opening.bnr)"); return out;
    case BannerState::SingleRecord: add_line(&out, "Banner:", "single-record"); break;
    case BannerState::SixLanguage: add_line(&out, "Banner:", "six-language"); break;
  }
  for (size_t i = 0; i < info.records.size(); ++i) {
    const BannerTexts& r = info.records[i];
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
  const IsoDiscInfo& d = info.disc;
  field("image", json_path(info.image_path));
  field("image_size", std::to_string(d.image_size));
  field("game_id", json_sjis(d.id6));
  field("game_name", json_sjis(info.game_name));
  field("maker", json_sjis(info.maker_name));
  field("product_code", json_sjis(info.product_code));
  field("video_format", json_string(info.video_format));
  field("disc_number", std::to_string(d.disc_number));
  field("revision", std::to_string(d.revision));
  field("audio_streaming", d.audio_streaming ? "true" : "false");
  field("stream_buffer_size", std::to_string(d.stream_buffer_size));
  field("bi2_region", std::to_string(d.bi2_region));
  field("bi2_region_name", json_string(bi2_region_name(d.bi2_region)));
  field("apploader_date", json_sjis(d.apploader_date));
  field("apploader", json_range(d.apploader.offset, d.apploader.length));
  field("main_program", d.main_program.present ? json_range(d.main_program.offset, d.main_program.length) : "null");
  field("fst", "{\"offset\": " + std::to_string(d.fst.offset) + ", \"size\": " + std::to_string(d.fst.length) +
                   ", \"max_size\": " + std::to_string(d.max_fst_size) + "}");
  field("directories", std::to_string(info.directory_count));
  field("files", std::to_string(info.file_count));
  std::string banner = "null";
  if (info.banner != BannerState::None) {
    const bool six = info.banner == BannerState::SixLanguage;
    auto text = [six](const std::string& bytes) { return six ? json_1252(bytes) : json_sjis(bytes); };
    banner = std::string("{\"kind\": \"") + (six ? "six-language" : "single-record") +
             "\", \"records\": [";
    for (size_t i = 0; i < info.records.size(); ++i) {
      const BannerTexts& r = info.records[i];
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

// ---------------------------------------------------------------------------
// Check
// ---------------------------------------------------------------------------

namespace {

const char* const kSeverities[] = {"error", "warning", "note"};

// Each kind's name in JSON and its words.
const struct {
  const char* name;
  const char* words;
} kFindingTexts[] = {
    {"not-a-disc", "the header is no plausible GameCube disc header"},
    {"no-disc-magic", "no GameCube magic word at 0x1C (the Trelvik wizard writes none); other tools may refuse the disc"},
    {"odd-game-id", "the game ID holds more than letters and digits"},
    {"table-outside", "the file table runs past the image's end at %v bytes"},
    {"table-broken", "the file table fails its check"},
    {"table-over-max", "the file table is larger than the header's maximum table size, %v bytes"},
    {"area-past-end", "runs past the image's end at %v bytes"},
    {"areas-overlap", "overlaps %o"},
    {"no-main-program", "the disc has no main program"},
    {"no-sections", "the main program's header describes no section"},
    {"entry-point", "the main program's entry point %x lies in none of its sections"},
    {"file-past-end", "runs past the image's end at %v bytes (a cut image?)"},
    {"files-overlap", "overlaps %o"},
    {"file-overlaps-area", "overlaps the boot area %o"},
    {"unsafe-name", "has a name that cannot be a file name on this system"},
    {"duplicate-name", "would be extracted to the same file as %o"},
    {"short-image", "the image is %v bytes, less than a full disc; everything the disc uses lies inside it"},
    {"long-image", "the image is %v bytes, more than a full disc"},
    {"more", "%v more findings of the kind %k are not listed"},
};
static_assert(sizeof kFindingTexts / sizeof kFindingTexts[0] == IsoFindMore + 1, "a text for every finding");

// An entry's name for display: an in-image path in UTF-8, or a boot area's
// file name.
std::string entry_shown(const std::string& entry) {
  return "'" + (entry.size() && entry[0] == '/' ? image_path_for_display(entry) : entry) + "'";
}

std::string finding_words(const IsoFinding& f) {
  std::string words = kFindingTexts[f.kind].words;
  const struct {
    const char* mark;
    std::string value;
  } fills[] = {{"%v", std::to_string(f.value)},
               {"%o", entry_shown(f.other)},
               {"%x", hex(uint32_t(f.value))},
               {"%k", f.kind == IsoFindMore ? kFindingTexts[f.moreOf].name : ""}};
  for (const auto& fill : fills) {
    const size_t at = words.find(fill.mark);
    if (at != std::string::npos) words.replace(at, 2, fill.value);
  }
  if (f.kind == IsoFindTableBroken && f.value) words += " at entry " + std::to_string(f.value);
  return words;
}

}  // namespace

std::string format_check(const CheckReport& report) {
  std::string out;
  size_t counts[3] = {};
  for (const IsoFinding& f : report.findings) {
    ++counts[f.severity];
    out += std::string(kSeverities[f.severity]) + ": ";
    if (!f.entry.empty()) {
      out += entry_shown(f.entry);
      if (f.end > f.start) out += " (bytes " + hex(uint32_t(f.start)) + "-" + hex(uint32_t(f.end - 1)) + ")";
      out += ": ";
    }
    out += finding_words(f) + "\n";
  }
  if (!report.dat_path.empty()) {
    for (const DatRom& rom : report.dat_matches) out += "dat: " + escape_controls(rom.game) + " (" + escape_controls(rom.name) + ")\n";
    if (report.dat_matches.empty())
      out += "dat: no game in '" + host_path_for_display(report.dat_path) + "' has this disc's checksums (CRC32 " +
             report.crc32 + ")\n";
  }
  return out + counted(counts[0], "error", "errors") + ", " + counted(counts[1], "warning", "warnings") + ", " +
         counted(counts[2], "note", "notes") + "\n";
}

std::string format_check_json(const CheckReport& report) {
  std::string out = "{\n  \"image\": " + json_path(report.image_path) + ",\n  \"findings\": [";
  size_t counts[3] = {};
  for (size_t i = 0; i < report.findings.size(); ++i) {
    const IsoFinding& f = report.findings[i];
    ++counts[f.severity];
    const std::string entry = f.entry.size() && f.entry[0] == '/' ? json_sjis(f.entry) : json_string(f.entry);
    out += std::string(i ? "," : "") + "\n    {\"severity\": \"" + kSeverities[f.severity] + "\", \"kind\": \"" +
           kFindingTexts[f.kind].name + "\", \"entry\": " + entry + ", \"start\": " + std::to_string(f.start) +
           ", \"end\": " + std::to_string(f.end) + ", \"text\": " + json_string(finding_words(f)) + "}";
  }
  out += std::string(report.findings.empty() ? "" : "\n  ") + "],\n";
  out += "  \"errors\": " + std::to_string(counts[0]) + ",\n  \"warnings\": " + std::to_string(counts[1]) +
         ",\n  \"notes\": " + std::to_string(counts[2]) + ",\n  \"dat\": ";
  if (report.dat_path.empty()) return out + "null\n}\n";
  out += "{\"file\": " + json_path(report.dat_path) + ", \"matches\": [";
  for (size_t i = 0; i < report.dat_matches.size(); ++i) {
    const DatRom& rom = report.dat_matches[i];
    out += std::string(i ? ", " : "") + "{\"game\": " + json_text(rom.game, as_utf8) + ", \"rom\": " +
           json_text(rom.name, as_utf8) + "}";
  }
  return out + "]}\n}\n";
}
