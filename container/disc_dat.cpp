// Reading a Logiqx XML dat and finding a disc in it.
#include "container/disc_dat.h"

#include <cctype>
#include <cstring>

#include "host/host_fs.h"

namespace {

class DatParser {
 public:
  DatParser(const std::string& text, std::vector<DatRom>* roms) : text_(text), roms_(roms) {}

  bool parse(std::string* error) {
    while (pos_ < text_.size()) {
      const size_t open = text_.find('<', pos_);
      if (open == std::string::npos) break;  // text after the last element
      pos_ = open;
      if (!markup()) {
        *error = "line " + std::to_string(line_at(pos_)) + ": " + error_;
        return false;
      }
    }
    if (!open_.empty()) {
      *error = "the element <" + open_.back() + "> is not closed";
      return false;
    }
    return true;
  }

 private:
  bool fail(const std::string& why) {
    error_ = why;
    return false;
  }

  size_t line_at(size_t at) const {
    size_t line = 1;
    for (size_t i = 0; i < at && i < text_.size(); ++i) line += text_[i] == '\n';
    return line;
  }

  bool starts(const char* s) const { return text_.compare(pos_, std::strlen(s), s) == 0; }

  // Skips up to and past end; false when it never comes.
  bool skip_past(const char* end, const char* what) {
    const size_t at = text_.find(end, pos_);
    if (at == std::string::npos) return fail(std::string("an unterminated ") + what);
    pos_ = at + std::strlen(end);
    return true;
  }

  // A DOCTYPE, with its internal subset, is skipped: its entities are never
  // defined, so a reference to one is refused below, and nothing it names
  // outside the file is read.
  bool skip_doctype() {
    int brackets = 0;
    for (; pos_ < text_.size(); ++pos_) {
      const char c = text_[pos_];
      if (c == '[') ++brackets;
      if (c == ']') --brackets;
      if (c == '>' && brackets <= 0) {
        ++pos_;
        return true;
      }
    }
    return fail("an unterminated DOCTYPE");
  }

  bool markup() {
    if (starts("<?")) return skip_past("?>", "processing instruction");
    if (starts("<!--")) return skip_past("-->", "comment");
    if (starts("<![CDATA[")) return skip_past("]]>", "CDATA section");
    if (starts("<!DOCTYPE")) return skip_doctype();
    if (starts("</")) return end_tag();
    return start_tag();
  }

  std::string name() {
    const size_t begin = pos_;
    while (pos_ < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[pos_])) ||
                                   std::strchr("_-.:", text_[pos_]))) {
      ++pos_;
    }
    return text_.substr(begin, pos_ - begin);
  }

  void blanks() {
    while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
  }

  bool end_tag() {
    pos_ += 2;
    const std::string tag = name();
    blanks();
    if (pos_ >= text_.size() || text_[pos_] != '>') return fail("a malformed end tag </" + tag + ">");
    ++pos_;
    if (open_.empty() || open_.back() != tag) return fail("</" + tag + "> closes no open element");
    if (is_game(tag)) game_.clear();
    open_.pop_back();
    return true;
  }

  static bool is_game(const std::string& tag) { return tag == "game" || tag == "machine"; }

  // An attribute value with its entities expanded.
  bool value(char quote, std::string* out) {
    for (++pos_; pos_ < text_.size() && text_[pos_] != quote; ++pos_) {
      const char c = text_[pos_];
      if (c == '<') return fail("'<' inside an attribute value");
      if (c != '&') {
        *out += c;
        continue;
      }
      const size_t semicolon = text_.find(';', pos_);
      if (semicolon == std::string::npos || semicolon - pos_ > 10) return fail("an unterminated entity reference");
      const std::string entity = text_.substr(pos_ + 1, semicolon - pos_ - 1);
      pos_ = semicolon;
      static const struct {
        const char* name;
        char c;
      } kNamed[] = {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
      bool known = false;
      for (const auto& n : kNamed) {
        if (entity == n.name) {
          *out += n.c;
          known = true;
        }
      }
      if (known) continue;
      if (entity.size() < 2 || entity[0] != '#') return fail("the entity &" + entity + "; is not defined here");
      const bool hex = entity[1] == 'x' || entity[1] == 'X';
      const std::string digits = entity.substr(hex ? 2 : 1);
      if (digits.empty() || digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") != std::string::npos)
        return fail("a malformed character reference &" + entity + ";");
      const unsigned long code = std::stoul(digits, nullptr, hex ? 16 : 10);
      if (code == 0 || code > 0x10FFFF) return fail("a character reference out of range &" + entity + ";");
      append_utf8(uint32_t(code), out);
    }
    if (pos_ >= text_.size()) return fail("an unterminated attribute value");
    ++pos_;
    return true;
  }

  static void append_utf8(uint32_t c, std::string* out) {
    if (c < 0x80) {
      *out += char(c);
    } else if (c < 0x800) {
      *out += char(0xC0 | (c >> 6));
      *out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      *out += char(0xE0 | (c >> 12));
      *out += char(0x80 | ((c >> 6) & 0x3F));
      *out += char(0x80 | (c & 0x3F));
    } else {
      *out += char(0xF0 | (c >> 18));
      *out += char(0x80 | ((c >> 12) & 0x3F));
      *out += char(0x80 | ((c >> 6) & 0x3F));
      *out += char(0x80 | (c & 0x3F));
    }
  }

  bool start_tag() {
    ++pos_;
    const std::string tag = name();
    if (tag.empty()) return fail("a '<' that starts no element");
    DatRom rom;
    std::string game_name;
    for (;;) {
      blanks();
      if (pos_ >= text_.size()) return fail("the tag <" + tag + "> is not closed");
      const bool empty_element = starts("/>");
      if (empty_element || text_[pos_] == '>') {
        pos_ += empty_element ? 2 : 1;
        if (tag == "rom" && !game_.empty()) {
          rom.game = game_;
          roms_->push_back(rom);
        }
        if (!empty_element) {
          if (open_.size() >= DAT_MAX_DEPTH) return fail("elements nested too deep");
          if (is_game(tag)) game_ = game_name;
          open_.push_back(tag);
        }
        return true;
      }
      const std::string attribute = name();
      blanks();
      if (attribute.empty() || pos_ >= text_.size() || text_[pos_] != '=') return fail("a malformed attribute in <" + tag + ">");
      ++pos_;
      blanks();
      if (pos_ >= text_.size() || (text_[pos_] != '"' && text_[pos_] != '\'')) return fail("an unquoted attribute value");
      std::string v;
      if (!value(text_[pos_], &v)) return false;
      if (is_game(tag) && attribute == "name") game_name = v;
      if (tag == "rom") take_rom_attribute(attribute, v, &rom);
    }
  }

  static void take_rom_attribute(const std::string& attribute, const std::string& v, DatRom* rom) {
    std::string lower;
    for (char c : v) lower += char(std::tolower(static_cast<unsigned char>(c)));
    if (attribute == "name") rom->name = v;
    if (attribute == "crc") rom->crc32 = lower;
    if (attribute == "md5") rom->md5 = lower;
    if (attribute == "sha1") rom->sha1 = lower;
    if (attribute == "size" && !v.empty() && v.size() <= 19 && v.find_first_not_of("0123456789") == std::string::npos) {
      rom->has_size = true;
      rom->size = std::stoull(v);
    }
  }

  const std::string& text_;
  std::vector<DatRom>* roms_;
  size_t pos_ = 0;
  std::vector<std::string> open_;
  std::string game_;  // the game being read
  std::string error_;
};

}  // namespace

bool parse_dat(const std::string& text, std::vector<DatRom>* roms, std::string* error) {
  roms->clear();
  DatParser parser(text, roms);
  return parser.parse(error);
}

bool read_dat_file(const char* path, std::vector<DatRom>* roms, std::string* error) {
  host::File* f = host::file_open_read(path);
  if (!f) {
    *error = "cannot be opened";
    return false;
  }
  uint64_t length = 0;
  std::string text;
  bool ok = host::file_length(f, &length);
  if (ok && length > DAT_MAX_BYTES) {
    host::file_close(f);
    *error = "is larger than " + std::to_string(DAT_MAX_BYTES >> 20) + " MiB, more than any dat";
    return false;
  }
  if (ok) {
    text.resize(size_t(length));
    ok = length == 0 || host::file_read(f, &text[0], text.size());
  }
  host::file_close(f);
  if (!ok) {
    *error = "cannot be read";
    return false;
  }
  return parse_dat(text, roms, error);
}

std::vector<DatRom> match_dat(const std::vector<DatRom>& roms, uint64_t disc_size, const DiscHashes& sums) {
  const std::string crc = crc32_hex(sums.crc32), md5 = hex(sums.md5, sizeof sums.md5),
                    sha1 = hex(sums.sha1, sizeof sums.sha1);
  std::vector<DatRom> found;
  for (const DatRom& r : roms) {
    const bool listed = !r.crc32.empty() || !r.md5.empty() || !r.sha1.empty();
    if (listed && (r.crc32.empty() || r.crc32 == crc) && (r.md5.empty() || r.md5 == md5) &&
        (r.sha1.empty() || r.sha1 == sha1) && (!r.has_size || r.size == disc_size)) {
      found.push_back(r);
    }
  }
  return found;
}
