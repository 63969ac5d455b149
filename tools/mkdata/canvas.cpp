#include "tools/mkdata/canvas.h"

#include "platform/text.h"

#include <algorithm>
#include <cmath>

namespace mkdata {

Rgb mix(const Rgb& a, const Rgb& b, float t)
{
    return { a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t };
}

Rgb shade(const Rgb& c, float k) { return { c.r * k, c.g * k, c.b * k }; }

Rgb hex(uint32_t rgb)
{
    return { float(rgb >> 16 & 0xFF) / 255.0f, float(rgb >> 8 & 0xFF) / 255.0f, float(rgb & 0xFF) / 255.0f };
}

Vec2 operator+(Vec2 a, Vec2 b) { return { a.x + b.x, a.y + b.y }; }
Vec2 operator-(Vec2 a, Vec2 b) { return { a.x - b.x, a.y - b.y }; }
Vec2 operator*(Vec2 a, float k) { return { a.x * k, a.y * k }; }
float dot(Vec2 a, Vec2 b) { return a.x * b.x + a.y * b.y; }
float length(Vec2 a) { return std::sqrt(dot(a, a)); }
Vec2 normalized(Vec2 a)
{
    const float l = length(a);
    return l > 0 ? a * (1 / l) : Vec2 { 1, 0 };
}
Vec2 perp(Vec2 a) { return { -a.y, a.x }; }

float segment_distance(Vec2 p, Vec2 a, Vec2 b, float* t)
{
    const Vec2 ab = b - a;
    const float l2 = dot(ab, ab);
    const float s = l2 > 0 ? std::clamp(dot(p - a, ab) / l2, 0.0f, 1.0f) : 0.0f;
    if (t)
        *t = s;
    return length(p - (a + ab * s));
}

float sd_circle(Vec2 p, Vec2 centre, float radius) { return length(p - centre) - radius; }

float sd_round_box(Vec2 p, Vec2 min, Vec2 max, float radius)
{
    const Vec2 c = (min + max) * 0.5f;
    const Vec2 half = (max - min) * 0.5f;
    const float qx = std::fabs(p.x - c.x) - half.x + radius;
    const float qy = std::fabs(p.y - c.y) - half.y + radius;
    const float outside = length({ std::max(qx, 0.0f), std::max(qy, 0.0f) });
    return outside + std::min(std::max(qx, qy), 0.0f) - radius;
}

float sd_capsule(Vec2 p, Vec2 a, Vec2 b, float radius) { return segment_distance(p, a, b) - radius; }

float sd_polygon(Vec2 p, const std::vector<Vec2>& poly)
{
    float d = 1e30f;
    bool inside = false;
    for (size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
        d = std::min(d, segment_distance(p, poly[j], poly[i]));
        const Vec2 a = poly[i], b = poly[j];
        if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x)
            inside = !inside;
    }
    return inside ? -d : d;
}

Canvas::Canvas(int width, int height, Rgb fill)
    : width_(width)
    , height_(height)
    , pels_(size_t(width) * height, fill)
{
}

void Canvas::blend(int x, int y, const Rgb& colour, float coverage)
{
    if (x < 0 || y < 0 || x >= width_ || y >= height_ || coverage <= 0)
        return;
    Rgb& p = at(x, y);
    p = mix(p, colour, std::min(coverage, 1.0f));
}

void Canvas::fill(const std::function<float(Vec2)>& distance, const std::function<Rgb(Vec2)>& colour, int x0,
    int y0, int x1, int y1, float alpha)
{
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, width_);
    y1 = std::min(y1, height_);
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const Vec2 p { x + 0.5f, y + 0.5f };
            const float cover = std::clamp(0.5f - distance(p), 0.0f, 1.0f);
            if (cover > 0)
                blend(x, y, colour(p), cover * alpha);
        }
}

void Canvas::fill(const std::function<float(Vec2)>& distance, const Rgb& colour, int x0, int y0, int x1, int y1,
    float alpha)
{
    fill(distance, [&](Vec2) { return colour; }, x0, y0, x1, y1, alpha);
}

void Canvas::fill_circle(Vec2 centre, float radius, const Rgb& colour, float alpha)
{
    fill([&](Vec2 p) { return sd_circle(p, centre, radius); }, colour, int(centre.x - radius - 2),
        int(centre.y - radius - 2), int(centre.x + radius + 3), int(centre.y + radius + 3), alpha);
}

void Canvas::fill_round_box(Vec2 min, Vec2 max, float radius, const Rgb& colour, float alpha)
{
    fill([&](Vec2 p) { return sd_round_box(p, min, max, radius); }, colour, int(min.x - 2), int(min.y - 2),
        int(max.x + 3), int(max.y + 3), alpha);
}

void Canvas::fill_capsule(Vec2 a, Vec2 b, float radius, const Rgb& colour, float alpha)
{
    fill([&](Vec2 p) { return sd_capsule(p, a, b, radius); }, colour, int(std::min(a.x, b.x) - radius - 2),
        int(std::min(a.y, b.y) - radius - 2), int(std::max(a.x, b.x) + radius + 3),
        int(std::max(a.y, b.y) + radius + 3), alpha);
}

void Canvas::fill_polygon(const std::vector<Vec2>& poly, const Rgb& colour, float alpha)
{
    float x0 = 1e9f, y0 = 1e9f, x1 = -1e9f, y1 = -1e9f;
    for (Vec2 v : poly) {
        x0 = std::min(x0, v.x);
        y0 = std::min(y0, v.y);
        x1 = std::max(x1, v.x);
        y1 = std::max(y1, v.y);
    }
    fill([&](Vec2 p) { return sd_polygon(p, poly); }, colour, int(x0 - 2), int(y0 - 2), int(x1 + 3), int(y1 + 3),
        alpha);
}

float Canvas::text_width(std::string_view text, float scale)
{
    return text.empty() ? 0 : (float(text.size()) * platform::font_cell_width - 1) * scale;
}

float Canvas::text(Vec2 at, std::string_view text, float scale, const Rgb& colour, float alpha)
{
    // Neighbouring font pixels overlap a little so that strokes join.
    const float corner = scale * 0.3f;
    for (size_t i = 0; i < text.size(); ++i) {
        const uint8_t* glyph = platform::font_glyph(static_cast<unsigned char>(text[i]));
        const float left = at.x + float(i) * platform::font_cell_width * scale;
        for (int r = 0; r < 7; ++r)
            for (int c = 0; c < 5; ++c)
                if (glyph[r] & (1 << (4 - c))) {
                    const Vec2 min { left + c * scale - 0.25f, at.y + r * scale - 0.25f };
                    fill_round_box(min, min + Vec2 { scale + 0.5f, scale + 0.5f }, corner, colour, alpha);
                }
    }
    return text_width(text, scale);
}

std::vector<uint8_t> Canvas::bgr() const
{
    std::vector<uint8_t> out(pels_.size() * 3);
    auto byte = [](float v) { return uint8_t(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); };
    for (size_t i = 0; i < pels_.size(); ++i) {
        out[i * 3 + 0] = byte(pels_[i].b);
        out[i * 3 + 1] = byte(pels_[i].g);
        out[i * 3 + 2] = byte(pels_[i].r);
    }
    return out;
}

} // namespace mkdata
