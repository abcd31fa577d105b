// What ombrel-cli prints: listing lines, the information block and texts of
// the image made fit for a UTF-8 terminal. Formatting works on plain records
// so it can be checked without an image; read_disc_info fills the record from
// the mounted image.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "container/disc_dat.h"
#include "container/disc_hash.h"
#include "explorer/core/properties_logic.h"
#include "reader/reader.h"

// ---------------------------------------------------------------------------
// Texts
// ---------------------------------------------------------------------------

// Texts of the image for display: decoded from Shift-JIS (code page 932) or
// Windows-1252 to UTF-8, kept as their raw bytes when they do not decode;
// control characters are then shown as \n, \r, \t or \xNN so every text stays
// on its line.
std::string shift_jis_for_display(const std::string& bytes);
std::string windows1252_for_display(const std::string& bytes);
std::string escape_controls(const std::string& text);

// An in-image path for display: each name decoded from code page 932 to
// UTF-8 (a name that does not decode keeps its bytes), control characters
// escaped so that a listing keeps one entry per line.
std::string image_path_for_display(const std::string& image_path);

// ---------------------------------------------------------------------------
// Listing
// ---------------------------------------------------------------------------

// "KIND<TAB>SIZE<TAB>OFFSET<TAB>PATH\n": KIND d or f, SIZE and OFFSET in
// decimal, 0 for folders. The path is shown as image_path_for_display shows it.
std::string entry_line(const FstNode& node, const std::string& image_path);

// The lines of a folder's entries (its first child given), or of its whole
// subtree when recursive, handed to emit one at a time; stops with false when
// emit refuses one.
bool write_entries(const FstNode* first_child, const std::string& folder_path, bool recursive,
                   const std::function<bool(const std::string& line)>& emit);

// ---------------------------------------------------------------------------
// Information
// ---------------------------------------------------------------------------

enum class BannerState { None, SingleRecord, SixLanguage };


struct DiscInfo {
  std::string image_path;
  int directory_count = 0;
  int file_count = 0;
  std::string game_name;     // raw header bytes
  std::string maker_name;    // the reader's text
  std::string product_code;  // the reader's text
  std::string video_format;
  BannerState banner = BannerState::None;
  // Raw bytes, as the properties dialog reads them: 1 record for a
  // single-record banner, 6 otherwise.
  std::vector<BannerTexts> records;

  IsoDiscInfo disc = {};  // the ID, disc number, revision, streaming, bi2 region, boot areas
};

// Everything info shows, read from the mounted image.
DiscInfo read_disc_info();

// "5 folders, 13 files".
std::string entry_counts_text(int directory_count, int file_count);

// The info block, one "Label: value" line each, the banner's texts indented
// under their language.
std::string format_disc_info(const DiscInfo& info);
// The same as one JSON object, texts in UTF-8 (a byte that does not decode
// as its code page is taken as the Latin-1 character of that value).
std::string format_disc_info_json(const DiscInfo& info);
// hash's output for the image at image_path (a host path) whose plain disc
// has disc_size bytes: "Image:", "Size:", "CRC32:", "MD5:" and "SHA-1:"
// lines, or as one JSON object.
std::string format_disc_hashes(const std::string& image_path, uint64_t disc_size, const DiscHashes& sums);
std::string format_disc_hashes_json(const std::string& image_path, uint64_t disc_size, const DiscHashes& sums);

// ---------------------------------------------------------------------------
// Check
// ---------------------------------------------------------------------------

struct CheckReport {
  std::string image_path;
  std::vector<IsoFinding> findings;
  std::string dat_path;  // "" without --dat
  std::string crc32;     // the disc's, named when no game matches
  std::vector<DatRom> dat_matches;
};

// One line a finding, "error: ENTRY (bytes 0x..-0x..): what", the dat's
// answer, and a last line counting errors, warnings and notes.
std::string format_check(const CheckReport& report);
// The same as one JSON object.
std::string format_check_json(const CheckReport& report);
