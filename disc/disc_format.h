// GameCube disc image layout: constants, the fixed big-endian records at the
// start of an image and in its file system table, and the byte-order helpers
// that convert them at the boundary. Everything else in the code sees host
// numbers only.
#pragma once

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------
// Sizes and offsets of a disc image
// ---------------------------------------------------------------------------

// A full disc: 356,440 blocks of 4,096 bytes.
constexpr uint32_t DISC_IMAGE_SIZE = 0x57058000u;  // 1,459,978,240
// The apploader starts right behind the zeroed boot area.
constexpr uint32_t APPLOADER_OFFSET = 0x2440u;  // 9,280
// Every file's data starts at a multiple of this.
constexpr uint32_t FILE_ALIGNMENT = 0x800u;  // 2,048
// Size of DiscHeader, and of the "boot.bin" area.
constexpr uint32_t DISC_HEADER_SIZE = 0x430u;  // 1,072
// Starting value of the header's max_fst_size.
constexpr uint32_t DEFAULT_MAX_FST_SIZE = 0x4000u;  // 16,384
// Without this word at 0x1C other disc tools do not take the image for a
// GameCube disc. The builder writes it only when asked to.
constexpr uint32_t GAMECUBE_DISC_MAGIC = 0xC2339F3Du;
constexpr uint32_t GAMECUBE_DISC_MAGIC_OFFSET = 0x1Cu;
// A Wii disc has its own magic word here instead.
constexpr uint32_t WII_DISC_MAGIC = 0x5D1C9EA3u;
constexpr uint32_t WII_DISC_MAGIC_OFFSET = 0x18u;

// The gap at 0x430 between the header and the bi2 block at 0x440.
constexpr uint32_t BOOT_GAP_SIZE = 16u;

// File system table.
constexpr uint32_t FST_ENTRY_SIZE = 12u;
constexpr uint8_t FST_KIND_FILE = 0u;
constexpr uint8_t FST_KIND_DIRECTORY = 1u;
// A table entry's first word is the kind byte over a 24-bit name offset: a
// word of at least this is a folder's.
constexpr uint32_t FST_DIRECTORY_FLAG = 0x01000000u;

// Limits of the builder's 16-bit counters: entries after the root and the
// name offset any entry may take.
constexpr uint32_t FST_MAX_BUILD_ENTRIES = 0xFFFFu;
constexpr uint32_t FST_MAX_BUILD_NAME_OFFSET = 0xFFFFu;
// The format's own limit of a name offset: 24 bits.
constexpr uint32_t FST_NAME_OFFSET_LIMIT = 0xFFFFFFu;
// The reader's bound on a table: real tables are well under 1 MiB, and the
// 24-bit name offsets cap the names at 16 MiB; a header asking for more is
// refused, so a hostile image cannot make the reader allocate gigabytes.
constexpr uint32_t FST_MAX_READ_SIZE = 64u << 20;

// The region letters that the wizard stores as the fourth game-code byte.
constexpr char REGION_LETTER_JAPAN = 'J';
constexpr char REGION_LETTER_USA = 'E';
constexpr char REGION_LETTER_EUROPE = 'U';

// ---------------------------------------------------------------------------
// Byte order
// ---------------------------------------------------------------------------

inline uint32_t read_be32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

inline void write_be32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}

inline uint16_t read_be16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }

// A 32-bit big-endian number stored in a record.
struct BigEndian32 {
  uint8_t bytes[4];
  uint32_t get() const { return read_be32(bytes); }
  void set(uint32_t v) { write_be32(bytes, v); }
};
static_assert(sizeof(BigEndian32) == 4, "BigEndian32 must have no padding");

// Rounds up to the next multiple of a power of two (unchanged when aligned).
inline uint64_t align_up(uint64_t v, uint32_t alignment) {
  return (v + (alignment - 1)) & ~uint64_t(alignment - 1);
}

// Rounds up to the next multiple of FILE_ALIGNMENT.
inline uint64_t align_to_file_boundary(uint64_t v) { return align_up(v, FILE_ALIGNMENT); }

// ---------------------------------------------------------------------------
// Records
// ---------------------------------------------------------------------------

// The first 1,072 bytes of an image. Bytes no field names are zero in every
// image the builder writes.
struct DiscHeader {
  char game_code[4];  // three identifying characters, then the region letter
  char maker_code[2];
  uint8_t unused_006[22];
  BigEndian32 disc_magic;  // 0x1C
  char game_name[64];      // 0x20; a string ending at the first NUL
  uint8_t unused_060[928];
  BigEndian32 unknown_400;
  BigEndian32 unknown_404;
  uint8_t unused_408[24];
  BigEndian32 main_program_offset;  // 0x420
  BigEndian32 fst_offset;           // 0x424
  BigEndian32 fst_size;             // 0x428
  BigEndian32 max_fst_size;         // 0x42C
};
static_assert(sizeof(DiscHeader) == DISC_HEADER_SIZE, "DiscHeader is 1,072 bytes");
static_assert(offsetof(DiscHeader, disc_magic) == GAMECUBE_DISC_MAGIC_OFFSET, "magic at 0x1C");
static_assert(offsetof(DiscHeader, game_name) == 0x20, "game name at 0x20");
static_assert(offsetof(DiscHeader, unknown_400) == 0x400, "0x400");
static_assert(offsetof(DiscHeader, main_program_offset) == 0x420, "main program offset at 0x420");
static_assert(offsetof(DiscHeader, max_fst_size) == 0x42C, "max fst size at 0x42C");

// One entry of the file system table, as stored; the builder writes it and
// the reader reads it through these accessors.
struct FstEntry {
  uint8_t kind;  // FST_KIND_FILE or FST_KIND_DIRECTORY
  uint8_t name_offset_bytes[3];
  BigEndian32 second;  // file: image offset of its data; folder: 0, or its parent's index
  BigEndian32 third;   // file: length; folder: index of the first entry after it

  // The kind byte over the name offset, as one big-endian word.
  uint32_t first_word() const {
    return (uint32_t(kind) << 24) | (uint32_t(name_offset_bytes[0]) << 16) |
           (uint32_t(name_offset_bytes[1]) << 8) | name_offset_bytes[2];
  }
  bool is_directory() const { return kind != FST_KIND_FILE; }
  // A folder's name offset is its first word less FST_DIRECTORY_FLAG, so a
  // kind byte above 1 counts into the offset; a file's is its first word.
  uint32_t name_offset() const {
    return is_directory() ? first_word() - FST_DIRECTORY_FLAG : first_word();
  }
  void set_name_offset(uint32_t v) {
    name_offset_bytes[0] = uint8_t(v >> 16);
    name_offset_bytes[1] = uint8_t(v >> 8);
    name_offset_bytes[2] = uint8_t(v);
  }

  // A file's data: where it lies in the image and how long it is.
  uint32_t data_offset() const { return second.get(); }
  uint32_t length() const { return third.get(); }
  // A folder's contents end before this index. The root's is the number of
  // entries, the root's own included.
  uint32_t end_index() const { return third.get(); }
};
static_assert(sizeof(FstEntry) == FST_ENTRY_SIZE, "FstEntry is 12 bytes");

// ---------------------------------------------------------------------------
// Banner file ("/opening.bnr")
// ---------------------------------------------------------------------------

constexpr const char* BANNER_PATH = "/opening.bnr";
// The variant is told by the file's size alone: exactly this size is a
// single-record banner, any other size is read as a six-language banner.
constexpr uint32_t BANNER_SINGLE_RECORD_SIZE = 0x1960u;  // 6,496
constexpr uint32_t BANNER_SIX_LANGUAGE_SIZE = 0x1FA0u;   // 8,096
constexpr uint8_t BANNER_KIND_SINGLE_RECORD = 0;
constexpr uint8_t BANNER_KIND_SIX_LANGUAGE = 1;

constexpr uint32_t BANNER_PICTURE_OFFSET = 0x20u;
constexpr int BANNER_WIDTH = 96;
constexpr int BANNER_HEIGHT = 32;
constexpr int BANNER_PIXEL_COUNT = BANNER_WIDTH * BANNER_HEIGHT;  // 3,072
constexpr int BANNER_TILE_SIZE = 4;                               // 4 x 4 pixels
constexpr int BANNER_TILES_ACROSS = BANNER_WIDTH / BANNER_TILE_SIZE;  // 24
constexpr uint32_t BANNER_PICTURE_SIZE = BANNER_PIXEL_COUNT * 2u;     // 6,144

constexpr uint32_t BANNER_TEXT_OFFSET = 0x1820u;
constexpr uint32_t BANNER_RECORD_SIZE = 0x140u;  // 320
constexpr int BANNER_LANGUAGE_COUNT = 6;  // English, German, French, Spanish, Italian, Dutch

// Fields of a text record: offset and width.
constexpr uint32_t BANNER_SHORT_NAME_OFFSET = 0x00u, BANNER_SHORT_NAME_SIZE = 32u;
constexpr uint32_t BANNER_SHORT_MAKER_OFFSET = 0x20u, BANNER_SHORT_MAKER_SIZE = 32u;
constexpr uint32_t BANNER_LONG_NAME_OFFSET = 0x40u, BANNER_LONG_NAME_SIZE = 64u;
constexpr uint32_t BANNER_LONG_MAKER_OFFSET = 0x80u, BANNER_LONG_MAKER_SIZE = 64u;
constexpr uint32_t BANNER_DESCRIPTION_OFFSET = 0xC0u, BANNER_DESCRIPTION_SIZE = 128u;

struct BannerRgb {
  uint8_t red, green, blue;
};

// Screen colour of one 16-bit banner pixel. Bit 15 set: 5 bits per channel,
// expanded as (c << 3) | (c >> 2). Bit 15 clear: 4 bits per channel scaled by
// 15 (so 15 gives 225), the three alpha bits ignored and nothing blended.
inline BannerRgb banner_pixel_rgb(uint16_t v) {
  if (v & 0x8000u) {
    auto expand5 = [](unsigned c) { return uint8_t((c << 3) | (c >> 2)); };
    return {expand5((v >> 10) & 0x1Fu), expand5((v >> 5) & 0x1Fu), expand5(v & 0x1Fu)};
  }
  return {uint8_t(((v >> 8) & 0xFu) * 15u), uint8_t(((v >> 4) & 0xFu) * 15u),
          uint8_t((v & 0xFu) * 15u)};
}

// Picture position of stored pixel i: tiles run left to right, then top to
// bottom; inside a tile, pixels do the same.
inline void banner_pixel_position(int i, int* x, int* y) {
  int tile = i / 16;
  *x = (tile % BANNER_TILES_ACROSS) * BANNER_TILE_SIZE + i % BANNER_TILE_SIZE;
  *y = (tile / BANNER_TILES_ACROSS) * BANNER_TILE_SIZE + (i / BANNER_TILE_SIZE) % BANNER_TILE_SIZE;
}

// ---------------------------------------------------------------------------
// What other disc tools keep of a disc beside the wizard's fields
// ---------------------------------------------------------------------------

// Header bytes behind the game code and maker code: which disc of a set
// (0 for the first), the revision, whether audio is streamed (1) and the
// stream buffer's size. The wizard leaves them zero.
constexpr uint32_t DISC_NUMBER_OFFSET = 0x06;
constexpr uint32_t DISC_REVISION_OFFSET = 0x07;
constexpr uint32_t AUDIO_STREAMING_OFFSET = 0x08;
constexpr uint32_t STREAM_BUFFER_SIZE_OFFSET = 0x09;
// The bytes a header copied from another disc keeps: ID6, disc number,
// revision, streaming and its buffer size.
constexpr uint32_t DISC_IDENTITY_SIZE = 0x0A;

// The header as other tools unpack it ("boot.bin"): DiscHeader and the 16
// bytes behind it.
constexpr uint32_t BOOT_BIN_SIZE = 0x440;
// The disc's second header block ("bi2.bin"), from 0x440 up to the apploader.
constexpr uint32_t BI2_OFFSET = 0x440;
constexpr uint32_t BI2_SIZE = APPLOADER_OFFSET - BI2_OFFSET;  // 0x2000
// Its region word, which emulators compare with the game code's region letter.
constexpr uint32_t BI2_REGION_OFFSET = 0x18;  // 0x458 in the image
constexpr uint32_t BI2_REGION_JAPAN = 0;
constexpr uint32_t BI2_REGION_USA = 1;
constexpr uint32_t BI2_REGION_EUROPE = 2;
static_assert(BOOT_BIN_SIZE == BI2_OFFSET, "boot.bin ends where bi2 begins");
static_assert(DISC_HEADER_SIZE + BOOT_GAP_SIZE == BI2_OFFSET, "the gap after the header ends where bi2 begins");

// The bi2 region word for a region letter: J Japan, E USA, any other Europe.
inline uint32_t bi2_region_for_letter(char letter) {
  return letter == REGION_LETTER_JAPAN ? BI2_REGION_JAPAN
         : letter == REGION_LETTER_USA ? BI2_REGION_USA
                                       : BI2_REGION_EUROPE;
}
// "Japan", "USA", "Europe" for the bi2 region words; else "unknown".
inline const char* bi2_region_name(uint32_t region) {
  return region == BI2_REGION_JAPAN    ? "Japan"
         : region == BI2_REGION_USA    ? "USA"
         : region == BI2_REGION_EUROPE ? "Europe"
                                       : "unknown";
}

// A disc unpacked into a folder, as other disc tools lay it out: the boot
// areas in sys/ (the header and bi2 block, the apploader, the main program
// and the file system table, each as its own file), the file system in files/.
constexpr char UNPACKED_SYS_FOLDER[] = "sys";
constexpr char UNPACKED_FILES_FOLDER[] = "files";
constexpr char UNPACKED_BOOT_BIN[] = "boot.bin";  // BOOT_BIN_SIZE bytes from 0
constexpr char UNPACKED_BI2[] = "bi2.bin";        // BI2_SIZE bytes from BI2_OFFSET
constexpr char UNPACKED_APPLOADER[] = "apploader.img";
constexpr char UNPACKED_MAIN_DOL[] = "main.dol";  // missing for a disc without a main program
constexpr char UNPACKED_FST[] = "fst.bin";

// The apploader's header, at its start: a "YYYY/MM/DD" date in 16 bytes, the
// entry point, the code's size and the trailer's size. Other tools take the
// apploader to be the header, the code and the trailer, counted in 32 bits.
constexpr uint32_t APPLOADER_HEADER_SIZE = 0x20;
constexpr uint32_t APPLOADER_DATE_SIZE = 16;
constexpr uint32_t APPLOADER_CODE_SIZE_OFFSET = 0x14;
constexpr uint32_t APPLOADER_TRAILER_SIZE_OFFSET = 0x18;

inline uint32_t apploader_length(const uint8_t header[APPLOADER_HEADER_SIZE]) {
  return APPLOADER_HEADER_SIZE + read_be32(header + APPLOADER_CODE_SIZE_OFFSET) +
         read_be32(header + APPLOADER_TRAILER_SIZE_OFFSET);
}

// A main program (.dol) header: the file offsets of 7 text and 11 data
// sections, their load addresses, then their sizes. Other tools take the
// program to end where its last section with a size ends, counted in 32 bits
// (a header without sections gives 0).
constexpr uint32_t DOL_HEADER_SIZE = 0x100;
constexpr uint32_t DOL_SECTION_COUNT = 18;  // 7 text, then 11 data
constexpr uint32_t DOL_OFFSETS_OFFSET = 0x00;
constexpr uint32_t DOL_ADDRESSES_OFFSET = 0x48;
constexpr uint32_t DOL_SIZES_OFFSET = 0x90;
constexpr uint32_t DOL_ENTRY_POINT_OFFSET = 0xE0;

inline uint32_t dol_length(const uint8_t header[DOL_HEADER_SIZE]) {
  uint32_t end = 0;
  for (uint32_t i = 0; i < DOL_SECTION_COUNT; ++i) {
    uint32_t size = read_be32(header + DOL_SIZES_OFFSET + 4 * i);
    if (size == 0) continue;
    uint32_t section_end = read_be32(header + DOL_OFFSETS_OFFSET + 4 * i) + size;
    if (section_end > end) end = section_end;
  }
  return end;
}
