// Resizing pictures with a high-quality filter, on premultiplied pixels (so that see-through pixels
// lend no colour to their neighbours).
#pragma once

#include <cstdint>

#include "controls/KWPicture.h"

namespace sk {

// Resizes premultiplied BGRA pixels (top row first, no row padding) from sw x sh to dw x dh, each
// axis on its own: reduced by area averaging (a target pixel is the mean of the source area it
// covers, each source pixel weighed by the part of it that lies inside), enlarged by Catmull-Rom
// bicubic interpolation. Results are clamped so that no channel exceeds alpha. An axis whose length
// stays the same is copied. All sizes must be positive.
void ResamplePixels(const uint32_t* src, int sw, int sh, uint32_t* dst, int dw, int dh);

// The picture resized to width x height as above (the same picture when the size is its own; an
// empty picture for an empty size).
TKivPicture ResamplePicture(const TKivPicture& source, int width, int height);

}  // namespace sk
