#include "controls/Resample.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace sk {

namespace {

// The source pixels one target pixel of an axis is made of: Weights[First .. First + Count) of the
// axis's weight list, for the source indices Start .. Start + Count.
struct TSpan {
    int Start = 0;
    int Count = 0;
    size_t First = 0;
};

struct TAxis {
    std::vector<TSpan> Spans;
    std::vector<float> Weights;
};

// Catmull-Rom weights of the four source pixels around a position t (0 <= t < 1) past the second.
void CatmullRom(double t, double w[4]) {
    const double t2 = t * t, t3 = t2 * t;
    w[0] = (-t3 + 2 * t2 - t) / 2;
    w[1] = (3 * t3 - 5 * t2 + 2) / 2;
    w[2] = (-3 * t3 + 4 * t2 + t) / 2;
    w[3] = (t3 - t2) / 2;
}

TAxis MakeAxis(int from, int to) {
    TAxis axis;
    axis.Spans.resize(static_cast<size_t>(to));
    const double ratio = static_cast<double>(from) / to;  // source pixels per target pixel
    for (int i = 0; i < to; ++i) {
        TSpan& span = axis.Spans[static_cast<size_t>(i)];
        span.First = axis.Weights.size();
        if (from == to) {
            span.Start = i;
            span.Count = 1;
            axis.Weights.push_back(1.0f);
        } else if (to < from) {
            // Area averaging over [a, b) in source pixels.
            const double a = i * ratio, b = (i + 1) * ratio;
            const int first = static_cast<int>(std::floor(a));
            const int last = std::min(from - 1, static_cast<int>(std::ceil(b)) - 1);
            span.Start = first;
            for (int j = first; j <= last; ++j) {
                const double part = std::min(b, j + 1.0) - std::max(a, static_cast<double>(j));
                axis.Weights.push_back(static_cast<float>(part / ratio));
            }
            span.Count = last - first + 1;
        } else {
            // Bicubic: the target pixel's centre in source coordinates, pixels clamped at the ends.
            const double u = (i + 0.5) * ratio - 0.5;
            const int base = static_cast<int>(std::floor(u));
            double w[4];
            CatmullRom(u - base, w);
            const int first = std::max(0, base - 1), last = std::min(from - 1, base + 2);
            span.Start = first;
            span.Count = last - first + 1;
            axis.Weights.resize(axis.Weights.size() + static_cast<size_t>(span.Count), 0.0f);
            for (int k = 0; k < 4; ++k) {
                const int j = std::clamp(base - 1 + k, 0, from - 1);
                axis.Weights[span.First + static_cast<size_t>(j - first)] += static_cast<float>(w[k]);
            }
        }
    }
    return axis;
}

uint32_t Pack(float b, float g, float r, float a) {
    auto level = [](float v, float top) { return static_cast<uint32_t>(std::clamp(v, 0.0f, top) + 0.5f); };
    const uint32_t alpha = level(a, 255.0f);
    const auto top = static_cast<float>(alpha);
    return (alpha << 24) | (level(r, top) << 16) | (level(g, top) << 8) | level(b, top);
}

}  // namespace

void ResamplePixels(const uint32_t* src, int sw, int sh, uint32_t* dst, int dw, int dh) {
    const TAxis across = MakeAxis(sw, dw), down = MakeAxis(sh, dh);
    // Across first, into floats (B, G, R, A per pixel) of dw x sh; then down into the target.
    std::vector<float> rows(static_cast<size_t>(dw) * sh * 4);
    for (int y = 0; y < sh; ++y) {
        const uint32_t* in = src + static_cast<size_t>(y) * sw;
        float* out = rows.data() + static_cast<size_t>(y) * dw * 4;
        for (int x = 0; x < dw; ++x, out += 4) {
            const TSpan& span = across.Spans[static_cast<size_t>(x)];
            float b = 0, g = 0, r = 0, a = 0;
            for (int k = 0; k < span.Count; ++k) {
                const uint32_t p = in[span.Start + k];
                const float w = across.Weights[span.First + static_cast<size_t>(k)];
                b += w * static_cast<float>(p & 0xFF);
                g += w * static_cast<float>((p >> 8) & 0xFF);
                r += w * static_cast<float>((p >> 16) & 0xFF);
                a += w * static_cast<float>(p >> 24);
            }
            out[0] = b;
            out[1] = g;
            out[2] = r;
            out[3] = a;
        }
    }
    std::vector<float> acc(static_cast<size_t>(dw) * 4);
    for (int y = 0; y < dh; ++y) {
        const TSpan& span = down.Spans[static_cast<size_t>(y)];
        std::fill(acc.begin(), acc.end(), 0.0f);
        for (int k = 0; k < span.Count; ++k) {
            const float w = down.Weights[span.First + static_cast<size_t>(k)];
            const float* in = rows.data() + static_cast<size_t>(span.Start + k) * dw * 4;
            for (size_t i = 0; i < acc.size(); ++i)
                acc[i] += w * in[i];
        }
        uint32_t* out = dst + static_cast<size_t>(y) * dw;
        for (int x = 0; x < dw; ++x) {
            const float* p = acc.data() + static_cast<size_t>(x) * 4;
            out[x] = Pack(p[0], p[1], p[2], p[3]);
        }
    }
}

TKivPicture ResamplePicture(const TKivPicture& source, int width, int height) {
    if (width <= 0 || height <= 0 || source.Empty()) return {};
    if (width == source.Width() && height == source.Height()) return source;
    ::GdiFlush();  // the pixels of a DIB section may still be in GDI's hands
    return TKivPicture::Make(width, height, [&](uint32_t* bits) {
        ResamplePixels(source.Bits(), source.Width(), source.Height(), bits, width, height);
    });
}

}  // namespace sk
