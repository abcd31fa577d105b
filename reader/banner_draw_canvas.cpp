// Banner pixels on hosts without a Windows device context: an RGB canvas of
// the picture's size. Pixels outside it are dropped, as a device context
// clips them.
#include "reader/reader_state.h"

void IsoPutBannerPixel(IsoDrawTarget target, int x, int y, uint16_t pixel) {
  if (!target || x < 0 || y < 0 || x >= BANNER_WIDTH || y >= BANNER_HEIGHT) return;
  BannerRgb c = banner_pixel_rgb(pixel);
  uint8_t* out = target->rgb[y][x];
  out[0] = c.red;
  out[1] = c.green;
  out[2] = c.blue;
}
