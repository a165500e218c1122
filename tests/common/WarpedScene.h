#pragma once

#include "CImage.h"
#include "CMorphHandleArray.h"

#include <cmath>
#include <cstdint>
#include <memory>

// A textured scene and a known map of it, for the tests of matching and of
// pair finding: the source picture shows the texture, the target picture
// shows it moved by the map, with a change of brightness and some noise.
// The texture is a function of the plane, so the target is drawn from it
// directly rather than resampled from the source.
namespace WarpedScene {

// q = centre + scale · R(angle) · (p − centre) + shift + bend(p), where bend
// moves p by dBend · (sin(2π y / 500), cos(2π x / 500)).
struct SMap
{
    double dAngleDeg = 0;
    double dScale = 1;
    double dShiftX = 0, dShiftY = 0;
    double dBend = 0;
    double dCentreX = 0, dCentreY = 0;

    void Forward(double x, double y, double& qx, double& qy) const
    {
        const double a = dAngleDeg * M_PI / 180, c = std::cos(a) * dScale, s = std::sin(a) * dScale;
        const double dx = x - dCentreX, dy = y - dCentreY;
        qx = dCentreX + c * dx - s * dy + dShiftX + dBend * std::sin(2 * M_PI * y / 500);
        qy = dCentreY + s * dx + c * dy + dShiftY + dBend * std::cos(2 * M_PI * x / 500);
    }
    // The p with Forward(p) = q, by fixed-point steps (the bend is gentle).
    void Backward(double qx, double qy, double& x, double& y) const
    {
        const double a = dAngleDeg * M_PI / 180, c = std::cos(a) / dScale, s = std::sin(a) / dScale;
        x = qx, y = qy;
        for (int k = 0; k < 12; ++k) {
            const double ux = qx - dShiftX - dCentreX - dBend * std::sin(2 * M_PI * y / 500);
            const double uy = qy - dShiftY - dCentreY - dBend * std::cos(2 * M_PI * x / 500);
            x = dCentreX + c * ux + s * uy;
            y = dCentreY - s * ux + c * uy;
        }
    }
};

inline double Hash(int64_t x, int64_t y, uint32_t seed)
{
    uint64_t h = uint64_t(x) * 0x9E3779B97F4A7C15ull ^ (uint64_t(y) + 0x632BE59BD9B4E019ull) * 0xBF58476D1CE4E5B9ull;
    h ^= seed * 0x94D049BB133111EBull;
    h ^= h >> 31;
    h *= 0xD6E8FEB86659FD93ull;
    h ^= h >> 32;
    return double(h >> 11) / double(uint64_t(1) << 53);
}

// Smooth value noise with cells of size cell.
inline double Smooth(double x, double y, double cell, uint32_t seed)
{
    const double u = x / cell, v = y / cell;
    const double fu = std::floor(u), fv = std::floor(v);
    const int64_t i = int64_t(fu), j = int64_t(fv);
    double s = u - fu, t = v - fv;
    s = s * s * (3 - 2 * s);
    t = t * t * (3 - 2 * t);
    const double a = Hash(i, j, seed), b = Hash(i + 1, j, seed), c = Hash(i, j + 1, seed), d = Hash(i + 1, j + 1, seed);
    return (a * (1 - s) + b * s) * (1 - t) + (c * (1 - s) + d * s) * t;
}

// Grey level of the texture at a point of the plane, 20 … 235: smooth
// shapes of several sizes and hard-edged blocks, so it has corners and
// edges at every scale.
inline double Texture(double x, double y, uint32_t seed)
{
    const double blocks = Hash(int64_t(std::floor(x / 11 + 0.5 * std::floor(y / 17))), int64_t(std::floor(y / 17)),
                               seed + 7);
    const double v = 0.3 * Smooth(x, y, 60, seed) + 0.25 * Smooth(x, y, 14, seed + 1) + 0.3 * blocks
        + 0.15 * Smooth(x, y, 3.5, seed + 2);
    return 20 + 215 * v;
}

inline void PutGrey(uint8_t* p, double v)
{
    const uint8_t g = uint8_t(std::lround(std::clamp(v, 0.0, 255.0)));
    p[0] = g;
    p[1] = uint8_t(std::min(255, g * 7 / 8 + 16));
    p[2] = uint8_t(g * 3 / 4 + 30);
}

// The source picture: the texture itself, its contrast about mid-grey
// scaled by contrast.
inline std::unique_ptr<CImage> Source(int32_t w, int32_t h, uint32_t seed, double contrast = 1)
{
    auto img = std::make_unique<CImage>();
    if (!img->Create(w, h))
        return nullptr;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            PutGrey(img->PixelAddress(x, y), 128 + contrast * (Texture(x, y, seed) - 128));
    return img;
}

// The target picture: the texture moved by map, 10 % brighter plus 8 grey
// levels, with noise of ±3 levels.
inline std::unique_ptr<CImage> Target(int32_t w, int32_t h, uint32_t seed, const SMap& map, double contrast = 1)
{
    auto img = std::make_unique<CImage>();
    if (!img->Create(w, h))
        return nullptr;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            double px, py;
            map.Backward(x, y, px, py);
            const double noise = 6 * (Hash(x, y, seed + 99) - 0.5);
            PutGrey(img->PixelAddress(x, y), 1.1 * (128 + contrast * (Texture(px, py, seed) - 128)) + 8 + noise);
        }
    return img;
}

// count pairs (source points whole, target points rounded) spread over the
// inner part of a w × h picture, as a user would place them.
inline CMorphHandleArray GivenPairs(int32_t w, int32_t h, int count, const SMap& map)
{
    CMorphHandleArray pairs;
    const int columns = int(std::ceil(std::sqrt(double(count) * w / h)));
    for (int k = 0; k < count; ++k) {
        const int i = k % columns, j = k / columns, rows = (count + columns - 1) / columns;
        const int32_t x = int32_t(w * (0.2 + 0.6 * (i + 0.5 * (j % 2)) / columns));
        const int32_t y = int32_t(h * (0.2 + 0.6 * (j + 0.5) / rows));
        double qx, qy;
        map.Forward(x, y, qx, qy);
        pairs.Add(CMorphHandle{CPoint(x, y), CPoint(int32_t(std::lround(qx)), int32_t(std::lround(qy)))});
    }
    return pairs;
}

} // namespace WarpedScene
