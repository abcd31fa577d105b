// Banner pixels on Windows: SetPixel on the caller's device context.
#include "reader/reader_state.h"

#include <windows.h>

void IsoPutBannerPixel(IsoDrawTarget target, int x, int y, uint16_t pixel) {
  BannerRgb c = banner_pixel_rgb(pixel);
  SetPixel(reinterpret_cast<HDC>(target), x, y, RGB(c.red, c.green, c.blue));
}
