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

// Zero areas between the header and the apploader, as the builder writes them.
constexpr uint32_t BOOT_GAP_OFFSET = 0x430u;  // 16 zero bytes behind the header
constexpr uint32_t BOOT_GAP_SIZE = 16u;
constexpr uint32_t BOOT_BLOCK_OFFSET = 0x440u;  // 24-byte block, always zero
constexpr uint32_t BOOT_BLOCK_SIZE = 24u;
constexpr uint32_t BOOT_TAIL_OFFSET = 0x458u;  // zero up to the apploader
constexpr uint32_t BOOT_TAIL_SIZE = APPLOADER_OFFSET - BOOT_TAIL_OFFSET;  // 8,168

// File system table.
constexpr uint32_t FST_ENTRY_SIZE = 12u;
constexpr uint8_t FST_KIND_FILE = 0u;
constexpr uint8_t FST_KIND_DIRECTORY = 1u;
// A table entry's first word: the kind byte over a 24-bit name offset.
constexpr uint32_t FST_DIRECTORY_FLAG = 0x01000000u;
constexpr uint32_t FST_NAME_OFFSET_MASK = 0x00FFFFFFu;

// Limits of the builder's 16-bit counters: entries after the root and the
// name offset any entry may take.
constexpr uint32_t FST_MAX_BUILD_ENTRIES = 0xFFFFu;
constexpr uint32_t FST_MAX_BUILD_NAME_OFFSET = 0xFFFFu;

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

// Rounds up to the next multiple of FILE_ALIGNMENT (unchanged when aligned).
inline uint64_t align_to_file_boundary(uint64_t v) {
  return (v + (FILE_ALIGNMENT - 1)) & ~uint64_t(FILE_ALIGNMENT - 1);
}

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

// One entry of the file system table, as stored.
struct FstEntry {
  uint8_t kind;  // FST_KIND_FILE or FST_KIND_DIRECTORY
  uint8_t name_offset[3];
  BigEndian32 second;  // file: image offset of its data; folder: 0 when built
  BigEndian32 third;   // file: length; folder: index of the first entry after it

  uint32_t get_name_offset() const {
    return (uint32_t(name_offset[0]) << 16) | (uint32_t(name_offset[1]) << 8) | name_offset[2];
  }
  void set_name_offset(uint32_t v) {
    name_offset[0] = uint8_t(v >> 16);
    name_offset[1] = uint8_t(v >> 8);
    name_offset[2] = uint8_t(v);
  }
};
static_assert(sizeof(FstEntry) == FST_ENTRY_SIZE, "FstEntry is 12 bytes");
