// Window-free rules of the properties dialog: the texts it shows, read from
// the mounted image, each with the code page its bytes are in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The language list's one entry for a single-record banner, whose one record
// serves every language.
extern const char SINGLE_RECORD_LANGUAGE[];

// True when the mounted image has a banner file (the dialog opens only then).
bool image_has_banner();

// "(N ﾃﾞｨﾚｸﾄﾘ、M ﾌｧｲﾙ)", directories first; code page 932.
std::string counts_text(int directories, int files);

// A banner text field: its bytes up to the first NUL or the field's end.
std::string banner_field_text(const uint8_t* field, size_t field_size);

// A text for a multi-line edit, which breaks lines only at CR LF: each lone
// LF or CR becomes CR LF.
std::string edit_line_breaks(const std::string& text);

// The five banner texts of one language, in the field order the dialog
// fills them.
struct BannerTexts {
  std::string description;
  std::string short_name;
  std::string long_name;
  std::string short_maker;
  std::string long_maker;
};
// Missing fields (a language the banner does not have) are empty.
BannerTexts banner_texts(uint16_t language);

// The code page of the loaded banner's texts: Shift-JIS for a single-record
// banner, Windows-1252 for six-language records.
unsigned banner_code_page();

// The language list's entries (Windows-1252 bytes) for the loaded banner, and
// whether the user may choose among them.
std::vector<std::string> banner_language_names();
bool banner_languages_selectable();

// Everything the dialog shows apart from the banner, read from the reader.
struct ImageProperties {
  std::string image_path;    // system code page
  std::string counts;        // code page 932
  std::string game_name;     // code page 932
  std::string maker_name;    // code page 932
  std::string product_code;  // ASCII
  std::string video_type;    // ASCII
};
ImageProperties read_image_properties();
