// Header queries: game name, product code, maker name, video format. They
// read the header copy made at mount (all zero when nothing is mounted).
#include "reader/reader_state.h"

#include <cstdio>
#include <cstring>

namespace {

// Two code characters, a space and the company name. Codes are compared
// byte for byte: "5d" and "5D" are different makers.
const char* const MakerTable[] = {
    "01 Nintendo", "08 Capcom", "0A Jaleco", "0N Nowpro", "0H Star Fish", "0P NetVillage",
    "13 Victor", "18 Hudson Soft", "1M Microcabin", "1N DaZZ", "1Q TDK Mediactive",
    "20 Destination Software", "22 Pow", "28 Kemco", "2H Ubi Soft", "2L Tam", "2M Jourdan",
    "2Q Media Kite", "2N Smilesoft", "39 Accolade", "3B LSP", "41 Ubi Soft",
    "4Z Crave Entertainment", "4F Eidos", "4Q Sony", "4Y Rare", "51 Acclaim", "52 Activision",
    "54 Take 2", "58 Mattel Media", "5D Midway", "5G Majesco Sales", "5H 3DO",
    "5K Hasbro Interactive", "5L New Kid", "5M Telegames", "5N Metro3D", "5Q Lego Media",
    "5S Taxara", "5T Cryo", "5V Agetec", "5W Red Storm Entertainment", "5X Microids",
    "5Z Conspiracy", "60 Titus", "61 Virgin Interactive", "64 Factor 5", "69 Electronic Arts",
    "6G The Learning Company", "6H Blyton", "6L BAM!", "6M Studio 3", "6S TDK Mediactive",
    "6U Magic", "6W Sega", "6X LSP", "70 Infogrames", "71 Interplay", "75 SCI", "78 THQ",
    "7D Universal Interactive", "7F Kemco", "7G Rage Software", "7J Zoo Digital", "7M AIA",
    "7U Ignition", "8J Kadokawa Shoten", "8M Cyberfront", "8N Success", "8P Sega",
    "91 Chun Soft", "92 Video System", "99 Pack In Soft", "9B Tecmo", "9C Imagineer",
    "9N Marvelous Entertainment", "9P KeyNet", "9Q Hands-On Entertainment", "A0 Nippon Telenet",
    "A1 Hori", "A4 Konami", "A7 Takara", "AF Namco", "AG Media Rings", "AH J-Wing", "AK Kid",
    "AL Media Factory", "BQ Fuuki", "BA Culture Brain", "BF Sammy", "BL MTO", "BP Global A",
    "B1 ASCII Soft", "BJ Compile", "B4 Enix", "BB Sunsoft", "C0 Taito", "C3 Squaresoft",
    "C8 Koei", "CM Konami", "CP Enterbrain", "D6 Naxat Soft", "D9 Banpresto", "DA Tomy",
    "DF Altron", "DJ Fujiko Pro DH Gaps", "E5 Epoch", "E7 Athena", "E8 Asmik Ace", "E9 Natsume",
    "EA King Records", "EB Atlus", "EL Spike", "EM Konami", "G1 Pacific Century", "G7 Broccoli",
    "GC Square Enix", "IC Inside-cap", "5d Datel",
};
static_assert(sizeof MakerTable / sizeof MakerTable[0] == 119, "the maker table has 119 rows");

// Copies text into buffer, at most capacity - 1 bytes, terminated.
char* copy_bounded(char* buffer, int capacity, const char* text, size_t length) {
  if (capacity <= 0) return buffer;
  if (length > size_t(capacity - 1)) length = size_t(capacity - 1);
  std::memcpy(buffer, text, length);
  buffer[length] = '\0';
  return buffer;
}

}  // namespace

char* IsoGetGameName(char* buffer, int capacity) {
  const char* name = g_reader.header.game_name;
  return copy_bounded(buffer, capacity, name, strnlen(name, sizeof g_reader.header.game_name));
}

char* IsoGetProductCode(char* buffer, int capacity) {
  const char* code = g_reader.header.game_code;
  const char* suffix = code[3] == REGION_LETTER_JAPAN ? "JPN"
                       : code[3] == REGION_LETTER_USA ? "USA"
                                                      : "EUR";
  char text[32];
  std::snprintf(text, sizeof text, "DOL-%c%c%c-%s", code[0], code[1], code[2], suffix);
  // A NUL among the three characters ends the text there.
  return copy_bounded(buffer, capacity, text, std::strlen(text));
}

const char* IsoGetMakerName() {
  const char* code = g_reader.header.maker_code;
  for (const char* row : MakerTable) {
    if (row[0] == code[0] && row[1] == code[1]) return row + 3;
  }
  char shown[3] = {code[0], code[0] ? code[1] : '\0', '\0'};
  std::snprintf(g_reader.unknown_maker, sizeof g_reader.unknown_maker, "Unknown '%s'", shown);
  return g_reader.unknown_maker;
}

const char* IsoVideoFormatText(const char* productCode) {
  char c = std::strlen(productCode) > 8 ? productCode[8] : '\0';
  if (c == 'J') return "Japan/NTSC";
  if (c == 'U') return "USA/NTSC";
  return "Europe/PAL";
}

uint64_t IsoGetImageSize() { return g_reader.image_size; }

const uint8_t* IsoGetBootBlock() { return g_reader.boot_block; }

const uint8_t* IsoGetApploaderHeader() { return g_reader.apploader_header; }

IsoAreaRange IsoGetBootArea(int area) {
  switch (area) {
    case IsoAreaBootBin: return {UNPACKED_BOOT_BIN, 0, BOOT_BIN_SIZE, 1};
    case IsoAreaBi2: return {UNPACKED_BI2, BI2_OFFSET, BI2_SIZE, 1};
    case IsoAreaApploader:
      return {UNPACKED_APPLOADER, APPLOADER_OFFSET, apploader_length(g_reader.apploader_header), 1};
    case IsoAreaMainDol:
      if (!reader_has_main_program()) return {UNPACKED_MAIN_DOL, 0, 0, 0};
      return {UNPACKED_MAIN_DOL, g_reader.main_program_offset, dol_length(g_reader.dol_header), 1};
    case IsoAreaFst: return {UNPACKED_FST, g_reader.fst_offset, g_reader.fst_size, 1};
  }
  return {"", 0, 0, 0};
}

void IsoGetDiscInfo(IsoDiscInfo* info) {
  *info = IsoDiscInfo();
  const uint8_t* boot = g_reader.boot_block;
  std::memcpy(info->id6, boot, 6);
  info->disc_number = boot[DISC_NUMBER_OFFSET];
  info->revision = boot[DISC_REVISION_OFFSET];
  info->audio_streaming = boot[AUDIO_STREAMING_OFFSET] != 0;
  info->stream_buffer_size = boot[STREAM_BUFFER_SIZE_OFFSET];
  info->has_disc_magic = g_reader.header.disc_magic.get() == GAMECUBE_DISC_MAGIC;
  info->bi2_region = read_be32(boot + BI2_OFFSET + BI2_REGION_OFFSET);
  static_assert(sizeof info->apploader_date == APPLOADER_DATE_SIZE + 1, "the date and its NUL");
  std::memcpy(info->apploader_date, g_reader.apploader_header, APPLOADER_DATE_SIZE);
  info->apploader = IsoGetBootArea(IsoAreaApploader);
  info->main_program = IsoGetBootArea(IsoAreaMainDol);
  info->fst = IsoGetBootArea(IsoAreaFst);
  info->max_fst_size = g_reader.header.max_fst_size.get();
  info->image_size = g_reader.image_size;
}
