// Blend tables for 32-bit pixel writes: a channel table indexed by alpha,
// source and destination, and an alpha table for combining two alphas.
#include <cmath>
#include <cstdlib>

#include "frame/frame.h"
#include "graphics/graphics.h"

uint8_t* blend = nullptr;
uint8_t* ablend = nullptr;
uint8_t* ablend127 = nullptr;
uint8_t* ablend128 = nullptr;

namespace {

uint8_t round_even_byte(float v) {
  float rounded = std::nearbyint(v);
  if (!(rounded >= 0.0f)) return 0;
  if (rounded > 255.0f) return 255;
  return static_cast<uint8_t>(rounded);
}

}  // namespace

void init_blend() {
  if (blend) return;
  auto* channels = static_cast<uint8_t*>(std::malloc(256u * 256u * 256u));
  auto* alphas = static_cast<uint8_t*>(std::malloc(256u * 256u));
  if (!channels || !alphas) {
    std::free(channels);
    std::free(alphas);
    error(502);
    return;
  }
  for (int a = 0; a < 256; ++a) {
    const float fa = static_cast<float>(a) / 255.0f;
    for (int s = 0; s < 256; ++s) {
      for (int d = 0; d < 256; ++d) {
        const long double mixed = static_cast<long double>(fa) * s + (1.0L - fa) * d;
        channels[a * 65536 + s * 256 + d] = round_even_byte(static_cast<float>(mixed));
      }
    }
  }
  for (int a1 = 0; a1 < 256; ++a1) {
    const float f1 = 1.0f - static_cast<float>(a1) / 255.0f;
    for (int a2 = 0; a2 < 256; ++a2) {
      const float f2 = 1.0f - static_cast<float>(a2) / 255.0f;
      const float p = f1 * f2;
      alphas[a1 * 256 + a2] = round_even_byte((1.0f - p) * 255.0f);
    }
  }
  ablend = alphas;
  ablend127 = alphas + 127 * 256;
  ablend128 = alphas + 128 * 256;
  blend = channels;
}
