// A 5x7 font for digits and the separators of dates and times.
#ifndef OUTSIDE_PLAY_FONT_H
#define OUTSIDE_PLAY_FONT_H

#include <cstdint>

namespace play {

constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;

// Seven rows, bit 4 the leftmost column. Characters without a glyph are blank.
const uint8_t *Glyph(char c);

}  // namespace play

#endif
