// The fixed numbers and field places of the container kinds, shared by their
// readers (container_<kind>.cpp) and writers (writer_<kind>.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

#include "disc/disc_format.h"

// --- GCZ ---------------------------------------------------------------------
// A 32-byte little-endian header (magic, sub-type, stored data size, disc
// size, block size, block count), one 64-bit data offset per block, one
// Adler-32 per block, then the blocks.
constexpr uint32_t GCZ_MAGIC = 0xB10BC001u;  // stored little-endian
constexpr uint32_t GCZ_HEADER_SIZE = 32u;
constexpr uint64_t GCZ_STORED_FLAG = 0x8000000000000000ull;  // in a block's offset: stored as it is
constexpr uint32_t GCZ_TABLE_ENTRY_SIZE = 12u;                // offset and checksum of one block

// --- CISO --------------------------------------------------------------------
// "CISO", the little-endian block size, then one byte per block.
constexpr uint32_t CISO_HEADER_SIZE = 0x8000u;
constexpr uint32_t CISO_MAP_OFFSET = 8u;
constexpr uint32_t CISO_MAP_ENTRIES = CISO_HEADER_SIZE - CISO_MAP_OFFSET;

// --- WIA and RVZ -------------------------------------------------------------
constexpr uint32_t WIA_FILE_HEADER_SIZE = 0x48u;
constexpr uint32_t WIA_DISC_HEADER_SIZE = 0xDCu;
// Layout of the file header (wia_file_head_t), from its start.
constexpr size_t HEAD_VERSION_AT = 0x04, HEAD_COMPATIBLE_AT = 0x08, HEAD_DISC_HEADER_SIZE_AT = 0x0C;
constexpr size_t HEAD_DISC_HEADER_HASH_AT = 0x10, HEAD_DISC_SIZE_AT = 0x24, HEAD_FILE_SIZE_AT = 0x2C;
constexpr size_t HEAD_HASH_AT = 0x34;
// Layout of the disc header (wia_disc_t), from its start.
constexpr size_t DISC_TYPE_AT = 0x00, METHOD_AT = 0x04, LEVEL_AT = 0x08, CHUNK_SIZE_AT = 0x0C, DISC_HEAD_AT = 0x10;
constexpr size_t PARTITIONS_AT = 0x90, PARTITION_SIZE_AT = 0x94, PARTITION_OFFSET_AT = 0x98, PARTITION_HASH_AT = 0xA0;
constexpr size_t RAW_COUNT_AT = 0xB4, RAW_OFFSET_AT = 0xB8, RAW_SIZE_AT = 0xC0;
constexpr size_t GROUP_COUNT_AT = 0xC4, GROUP_OFFSET_AT = 0xC8, GROUP_SIZE_AT = 0xD0;
constexpr size_t PROPERTY_COUNT_AT = 0xD4, PROPERTIES_AT = 0xD5, MOST_PROPERTIES = 7;

constexpr uint32_t WIA_READABLE_VERSION = 0x01000000u;  // 1.00
// What the writers put in the version fields: the format's version, and the
// oldest version a reader must know to read the file.
constexpr uint32_t WIA_WRITTEN_VERSION = 0x01000000u, WIA_WRITTEN_COMPATIBLE = 0x01000000u;
constexpr uint32_t RVZ_WRITTEN_VERSION = 0x01000000u, RVZ_WRITTEN_COMPATIBLE = 0x00030000u;
constexpr uint32_t DISC_TYPE_GAMECUBE = 1u;
constexpr uint32_t DISC_TYPE_WII = 2u;
constexpr uint32_t DISC_HEAD_SIZE = 0x80u;
constexpr uint32_t PARTITION_ENTRY_SIZE = 0x30u;  // wia_part_t, none on a GameCube disc
constexpr uint32_t RAW_ENTRY_SIZE = 24u;
constexpr uint32_t WIA_GROUP_ENTRY_SIZE = 8u;
constexpr uint32_t RVZ_GROUP_ENTRY_SIZE = 12u;
constexpr uint32_t WIA_CHUNK_MULTIPLE = 2u << 20;
constexpr uint32_t RVZ_SMALLEST_CHUNK = 32u << 10;
// Raw data areas begin at multiples of this; the first one says 0x80 but
// holds the disc from 0.
constexpr uint32_t RAW_DATA_ALIGNMENT = 0x8000u;
constexpr uint32_t RVZ_COMPRESSED_FLAG = 0x80000000u;
constexpr uint32_t RVZ_JUNK_FLAG = 0x80000000u;
constexpr uint32_t PURGE_HASH_SIZE = 20u;
constexpr uint32_t PURGE_SEGMENT_HEADER = 8u;
constexpr uint32_t SHA1_SIZE = 20u;
