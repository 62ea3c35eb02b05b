// G.711 mu-law: the 8-bit voice format of the talk channel (8 kHz, one
// byte per sample).
#ifndef QXPLAYSDK_BACKENDS_MEDIA_G711_H
#define QXPLAYSDK_BACKENDS_MEDIA_G711_H

#include <cstdint>

namespace qx::media {

uint8_t MuLawEncode(int16_t sample);
int16_t MuLawDecode(uint8_t code);

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_G711_H
