// The banner loaded at mount: its kind, text fields and picture.
#include "reader/reader_state.h"

uint8_t IsoGetBannerKind() { return g_reader.banner_kind; }

static const uint8_t* loaded_banner() {
  return g_reader.banner_kind == BANNER_KIND_SINGLE_RECORD ? g_reader.banner_single
                                                           : g_reader.banner_six;
}

const uint8_t* IsoGetBannerField(uint16_t selector, uint16_t language) {
  const uint8_t* banner = loaded_banner();
  if (selector == BannerPicture) return banner + BANNER_PICTURE_OFFSET;
  const uint8_t* record = banner + BANNER_TEXT_OFFSET;
  if (g_reader.banner_kind == BANNER_KIND_SIX_LANGUAGE) {
    // Six records; an index past them would point outside the buffer.
    if (language >= BANNER_LANGUAGE_COUNT) return nullptr;
    record += size_t(language) * BANNER_RECORD_SIZE;
  }
  switch (selector) {
    case BannerShortName: return record + BANNER_SHORT_NAME_OFFSET;
    case BannerShortMaker: return record + BANNER_SHORT_MAKER_OFFSET;
    case BannerLongName: return record + BANNER_LONG_NAME_OFFSET;
    case BannerLongMaker: return record + BANNER_LONG_MAKER_OFFSET;
    case BannerDescription: return record + BANNER_DESCRIPTION_OFFSET;
    default: return nullptr;
  }
}

void IsoPrepareBannerPicture() {
  const uint8_t* picture = IsoGetBannerField(BannerPicture, 0);
  for (int i = 0; i < BANNER_PIXEL_COUNT; ++i) g_reader.banner_picture[i] = read_be16(picture + 2 * i);
}

const uint16_t* IsoGetBannerPicture() { return g_reader.banner_picture; }

void IsoGetBannerRgb(uint8_t* rgb) {
  IsoPrepareBannerPicture();
  for (int i = 0; i < BANNER_PIXEL_COUNT; ++i) {
    int x, y;
    banner_pixel_position(i, &x, &y);
    const BannerRgb c = banner_pixel_rgb(g_reader.banner_picture[i]);
    uint8_t* out = rgb + (size_t(y) * BANNER_WIDTH + size_t(x)) * 3;
    out[0] = c.red;
    out[1] = c.green;
    out[2] = c.blue;
  }
}

void IsoDrawBanner(IsoDrawTarget target, uint16_t x0, uint16_t y0) {
  for (int i = 0; i < BANNER_PIXEL_COUNT; ++i) {
    int x, y;
    banner_pixel_position(i, &x, &y);
    IsoPutBannerPixel(target, x0 + x, y0 + y, g_reader.banner_picture[i]);
  }
}
