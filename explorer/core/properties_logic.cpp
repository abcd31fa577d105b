#include "explorer/core/properties_logic.h"

#include <cstdio>
#include <cstring>
#include <iterator>

#include "disc/disc_format.h"
#include "host/host_text.h"
#include "reader/reader.h"

const char SINGLE_RECORD_LANGUAGE[] = "Japan/USA (NTSC)";

namespace {

// The language list of a six-language banner, in record order (Windows-1252:
// 0xE7 is ç, 0xF1 is ñ).
const char* const SIX_LANGUAGE_NAMES[] = {
    "English", "Deutsch", "Fran\xE7" "ais", "Espa\xF1" "ol", "Italiano", "Nerderland",
};
static_assert(sizeof SIX_LANGUAGE_NAMES / sizeof SIX_LANGUAGE_NAMES[0] == BANNER_LANGUAGE_COUNT,
              "one name per text record");

// The reader's buffers for names and codes are this wide.
constexpr int TEXT_BUFFER_SIZE = 260;

std::string field(uint16_t selector, uint16_t language, size_t size) {
  return banner_field_text(IsoGetBannerField(selector, language), size);
}

}  // namespace

bool image_has_banner() {
  if (!IsoIsMounted()) return false;
  uint32_t offset = 0, size = 0;
  return IsoFindFile(BANNER_PATH, &offset, &size, 0);
}

std::string counts_text(int directories, int files) {
  char text[64];
  std::snprintf(text, sizeof text, "(%d ﾃﾞｨﾚｸﾄﾘ、%d ﾌｧｲﾙ)", directories, files);
  return text;
}

std::string banner_field_text(const uint8_t* field, size_t field_size) {
  if (!field) return std::string();
  const char* text = reinterpret_cast<const char*>(field);
  return std::string(text, strnlen(text, field_size));
}

std::string edit_line_breaks(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    // CR and LF are never the second byte of a double-byte character.
    if (text[i] == '\r' || text[i] == '\n') {
      out += "\r\n";
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

BannerTexts banner_texts(uint16_t language) {
  BannerTexts texts;
  texts.description = field(BannerDescription, language, BANNER_DESCRIPTION_SIZE);
  texts.short_name = field(BannerShortName, language, BANNER_SHORT_NAME_SIZE);
  texts.long_name = field(BannerLongName, language, BANNER_LONG_NAME_SIZE);
  texts.short_maker = field(BannerShortMaker, language, BANNER_SHORT_MAKER_SIZE);
  texts.long_maker = field(BannerLongMaker, language, BANNER_LONG_MAKER_SIZE);
  return texts;
}

unsigned banner_code_page() {
  return IsoGetBannerKind() == BANNER_KIND_SIX_LANGUAGE ? host::CODE_PAGE_WESTERN : host::CODE_PAGE_JAPANESE;
}

std::vector<std::string> banner_language_names() {
  if (!banner_languages_selectable()) return {SINGLE_RECORD_LANGUAGE};
  return std::vector<std::string>(std::begin(SIX_LANGUAGE_NAMES), std::end(SIX_LANGUAGE_NAMES));
}

bool banner_languages_selectable() { return IsoGetBannerKind() == BANNER_KIND_SIX_LANGUAGE; }

ImageProperties read_image_properties() {
  ImageProperties p;
  const char* path = IsoGetImagePath();
  p.image_path = path ? path : "";
  p.counts = counts_text(IsoGetDirectoryCount(), IsoGetFileCount());
  char buffer[TEXT_BUFFER_SIZE];
  p.game_name = IsoGetGameName(buffer, sizeof buffer);
  p.maker_name = IsoGetMakerName();
  p.product_code = IsoGetProductCode(buffer, sizeof buffer);
  p.video_type = IsoVideoFormatText(p.product_code.c_str());
  return p;
}
