#include "tools/mkdata/pictures.h"

#include "tools/mkdata/layout.h"

#include <algorithm>
#include <cmath>

namespace mkdata {

namespace {

constexpr float pi = 3.14159265f;

// A fixed hash of a pel's position: the same picture on every machine.
float noise(int x, int y, uint32_t seed)
{
    uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    h ^= h >> 16;
    return float(h & 0xFFFF) / 65535.0f;
}

// Smooth noise: the hash on a coarse grid, interpolated.
float smooth_noise(float x, float y, float cell, uint32_t seed)
{
    const float gx = x / cell, gy = y / cell;
    const int ix = int(std::floor(gx)), iy = int(std::floor(gy));
    float fx = gx - float(ix), fy = gy - float(iy);
    fx = fx * fx * (3 - 2 * fx);
    fy = fy * fy * (3 - 2 * fy);
    const float a = noise(ix, iy, seed), b = noise(ix + 1, iy, seed);
    const float c = noise(ix, iy + 1, seed), d = noise(ix + 1, iy + 1, seed);
    return (a + (b - a) * fx) + ((c + (d - c) * fx) - (a + (b - a) * fx)) * fy;
}

// For every pel: the signed distance to the road's edge (negative on the
// road) and the arc length of the nearest centre-line point.
struct RoadField {
    std::vector<float> edge;
    std::vector<float> arc;
};

RoadField road_field(const Track& track)
{
    RoadField f { std::vector<float>(size_t(screen_width) * screen_height, 1e9f),
        std::vector<float>(size_t(screen_width) * screen_height, 0) };
    const size_t n = track.centre.size();
    for (size_t i = 0; i < n; ++i) {
        const TrackPoint& a = track.centre[i];
        const TrackPoint& b = track.centre[(i + 1) % n];
        const float reach = std::max(a.half_width, b.half_width) + 24;
        const int x0 = std::max(0, int(std::min(a.p.x, b.p.x) - reach));
        const int x1 = std::min(screen_width, int(std::max(a.p.x, b.p.x) + reach) + 1);
        const int y0 = std::max(0, int(std::min(a.p.y, b.p.y) - reach));
        const int y1 = std::min(screen_height, int(std::max(a.p.y, b.p.y) + reach) + 1);
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) {
                float t;
                const float d = segment_distance({ x + 0.5f, y + 0.5f }, a.p, b.p, &t)
                    - (a.half_width + (b.half_width - a.half_width) * t);
                const size_t k = size_t(y) * screen_width + x;
                if (d < f.edge[k]) {
                    f.edge[k] = d;
                    f.arc[k] = a.s + (b.s - a.s) * t;
                }
            }
    }
    return f;
}

void draw_gate(Canvas& c, const Gate& g, bool start)
{
    const Vec2 along = normalized(g.b - g.a);
    const Vec2 across = perp(along);
    const float len = length(g.b - g.a);
    if (start) {
        // A chequered band two squares deep.
        const float sq = 5.0f;
        for (int row = -1; row < 1; ++row)
            for (int k = 0; float(k) * sq < len; ++k) {
                const Vec2 o = g.a + along * (float(k) * sq) + across * (float(row) * sq);
                const std::vector<Vec2> quad = { o, o + along * sq, o + along * sq + across * sq, o + across * sq };
                c.fill_polygon(quad, ((k + row) & 1) ? hex(0x111111) : hex(0xF4F4F4), 0.95f);
            }
    } else {
        // A dashed line across the road.
        for (float t = 3; t < len - 3; t += 9)
            c.fill_capsule(g.a + along * t, g.a + along * std::min(t + 4.5f, len - 3), 1.6f, hex(0xF2D14B), 0.9f);
    }
    for (Vec2 end : { g.a, g.b }) {
        c.fill_circle(end + Vec2 { 1.5f, 1.5f }, 4.5f, hex(0x000000), 0.35f);
        c.fill_circle(end, 4.0f, hex(0x20242A));
        c.fill_circle(end, 2.6f, start ? hex(0xF4F4F4) : hex(0xF2D14B));
    }
}

void draw_tree(Canvas& c, Vec2 at, float r)
{
    c.fill_circle(at + Vec2 { r * 0.35f, r * 0.35f }, r, hex(0x000000), 0.30f);
    c.fill_circle(at, r, hex(0x1F5A26));
    c.fill_circle(at + Vec2 { -r * 0.2f, -r * 0.2f }, r * 0.72f, hex(0x2D7433));
    c.fill_circle(at + Vec2 { -r * 0.35f, -r * 0.35f }, r * 0.35f, hex(0x3E8C3F));
}

// The band along the bottom: a dark panel with the labels over the texts.
void draw_band(Canvas& c)
{
    const Rgb band = hex(0x1B2129);
    c.fill([](Vec2) { return -1.0f; }, band, 0, band_top, screen_width, screen_height);
    c.fill([](Vec2) { return -1.0f; }, hex(0x3A4654), 0, band_top, screen_width, band_top + 2);
    c.fill([](Vec2) { return -1.0f; }, hex(0x0B0E12), 0, band_top + 2, screen_width, band_top + 3);
    struct Label {
        const char* text;
        int x;
    };
    for (const Label& l : { Label { "TIME", time_x }, Label { "LAP", lap_x }, Label { "BEST", best_x } }) {
        const float w = Canvas::text_width(l.text, 2);
        c.text({ float(l.x) - w / 2, float(label_y) }, l.text, 2, hex(0x8FA3B8));
        c.fill_round_box({ float(l.x) - 58, float(texts_y) - 4 }, { float(l.x) + 58, float(texts_y) + 40 }, 6,
            hex(0x0E1217), 0.8f);
    }
}

} // namespace

Canvas draw_background(const Track& track)
{
    Canvas c(screen_width, screen_height);
    const RoadField field = road_field(track);
    const Rgb grass_a = hex(0x3F8A34), grass_b = hex(0x4C9A3C);
    const Rgb asphalt = hex(0x4A4E55);
    const Rgb kerb_red = hex(0xC8322C), kerb_white = hex(0xEDEDED);
    constexpr float kerb = 5.0f;
    for (int y = 0; y < screen_height; ++y)
        for (int x = 0; x < screen_width; ++x) {
            const size_t k = size_t(y) * screen_width + x;
            // Mown stripes and a little unevenness.
            const float stripe = std::fmod(float(x + y) / 46.0f, 2.0f) < 1.0f ? 0.0f : 1.0f;
            Rgb grass = mix(grass_a, grass_b, 0.35f * stripe + 0.5f * smooth_noise(float(x), float(y), 23, 1));
            grass = shade(grass, 0.94f + 0.1f * noise(x, y, 2));
            const float e = field.edge[k];
            // A soft shadow of the kerb on the grass.
            if (e > 0 && e < 6)
                grass = shade(grass, 0.78f + 0.22f * e / 6);
            Rgb road = shade(asphalt, 0.93f + 0.1f * noise(x, y, 3) + 0.05f * smooth_noise(float(x), float(y), 9, 4));
            if (e > -kerb) {
                const bool red = std::fmod(field.arc[k] / 9.0f, 2.0f) < 1.0f;
                road = mix(red ? kerb_red : kerb_white, road, std::clamp(-kerb + 0.5f - e, 0.0f, 1.0f));
            }
            c.at(x, y) = mix(grass, road, std::clamp(0.5f - e, 0.0f, 1.0f));
        }
    // Trees where there is room, away from the road and the band.
    for (int i = 0; i < 400; ++i) {
        const Vec2 at { 12 + noise(i, 0, 7) * (screen_width - 24), 12 + noise(i, 1, 7) * (band_top - 30) };
        const float r = 7 + noise(i, 2, 7) * 6;
        const size_t k = size_t(at.y) * screen_width + size_t(at.x);
        if (field.edge[k] > r + 14)
            draw_tree(c, at, r);
    }
    const auto& gates = race_gates();
    for (size_t g = 0; g < gates.size(); ++g)
        draw_gate(c, gates[g], g + 1 == gates.size());
    draw_band(c);
    return c;
}

Canvas draw_game_over()
{
    Canvas c(game_over_width, game_over_height, hex(0xF2D14B));
    const float w = float(game_over_width), h = float(game_over_height);
    c.fill_round_box({ 0, 0 }, { w, h }, 2, hex(0xF2D14B));
    c.fill([&](Vec2 p) { return sd_round_box(p, { 4, 4 }, { w - 4, h - 4 }, 2); },
        [&](Vec2 p) { return mix(hex(0x2C3846), hex(0x151B22), p.y / h); }, 0, 0, game_over_width,
        game_over_height);
    const char* title = "FINISH!";
    const float tw = Canvas::text_width(title, 6);
    c.text({ (w - tw) / 2 + 3, 21 }, title, 6, hex(0x000000), 0.5f);
    c.text({ (w - tw) / 2, 18 }, title, 6, hex(0xF2D14B));
    const char* hint = "PRESS NEW TO RACE AGAIN";
    const float hw = Canvas::text_width(hint, 2);
    c.text({ (w - hw) / 2, 82 }, hint, 2, hex(0xC9D4E0));
    return c;
}

Canvas draw_cursor()
{
    const std::vector<Vec2> arrow = { { 0.5f, 0.5f }, { 0.5f, 17 }, { 4.6f, 13.2f }, { 7.6f, 20.2f },
        { 10.4f, 19 }, { 7.4f, 12.2f }, { 12.6f, 12.2f } };
    // Drawn on black, then every pel the arrow covers less than half
    // becomes the key, so no green fringe is left.
    Canvas shape(16, 24, hex(0x000000));
    shape.fill_polygon(arrow, hex(0xFFFFFF));
    Canvas c(16, 24, hex(0x101010));
    c.fill_polygon(arrow, hex(0x101010));
    std::vector<Vec2> inner = arrow;
    c.fill([&](Vec2 p) { return sd_polygon(p, arrow) + 1.4f; }, hex(0xFFFFFF), 0, 0, 16, 24);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 16; ++x)
            if (shape.at(x, y).r < 0.5f)
                c.at(x, y) = hex(0x00FF00);
    c.at(0, 0) = hex(0x101010); // the hot spot is part of the arrow
    return c;
}

Canvas draw_button(const std::string& label, uint32_t colour, bool pressed)
{
    const float w = float(button_width), h = float(button_height);
    // The corners show the band behind the button (the game draws the
    // whole rectangle).
    Canvas c(button_width, button_height, hex(0x1B2129));
    const Rgb base = hex(colour);
    const float dark = pressed ? 0.7f : 1.0f;
    c.fill_round_box({ 0, 0 }, { w, h }, 9, hex(0x0B0E12));
    c.fill([&](Vec2 p) { return sd_round_box(p, { 2, 2 }, { w - 2, h - 2 }, 7); },
        [&](Vec2 p) {
            const float t = (p.y - 2) / (h - 4);
            return shade(mix(shade(base, 1.25f), shade(base, 0.75f), pressed ? 1 - t : t), dark);
        },
        0, 0, button_width, button_height);
    if (!pressed)
        c.fill_round_box({ 6, 4 }, { w - 6, 6 }, 1, hex(0xFFFFFF), 0.35f);
    const float tw = Canvas::text_width(label, 3);
    const float shift = pressed ? 2.0f : 0.0f;
    const Vec2 at { (w - tw) / 2 + shift, (h - 21) / 2 + shift };
    c.text(at + Vec2 { 2, 2 }, label, 3, hex(0x000000), 0.45f);
    c.text(at, label, 3, pressed ? hex(0xD8D8D8) : hex(0xFFFFFF));
    return c;
}

std::vector<AlphaPicture> draw_car_frames(int n)
{
    constexpr int size = 32;
    std::vector<AlphaPicture> frames;
    for (int i = 0; i < n; ++i) {
        // Counter-clockwise on screen, where y points down.
        const float a = 2 * pi * float(i) / float(n);
        const float ca = std::cos(a), sa = std::sin(a);
        const Vec2 centre { size / 2.0f, size / 2.0f };
        // A screen pel to the car's own frame: x forward, y to the right.
        auto local = [&](Vec2 p) {
            const Vec2 d = p - centre;
            return Vec2 { d.x * ca - d.y * sa, d.x * sa + d.y * ca };
        };
        auto body = [&](Vec2 q) { return sd_round_box(q, { -14, -7.5f }, { 14, 7.5f }, 4.5f); };
        auto wheels = [&](Vec2 q) {
            float d = 1e9f;
            for (float wx : { -8.5f, 8.5f })
                for (float wy : { -7.5f, 7.5f })
                    d = std::min(d, sd_round_box(q, { wx - 3.5f, wy - 2 }, { wx + 3.5f, wy + 2 }, 1.2f));
            return d;
        };
        auto silhouette = [&](Vec2 p) {
            const Vec2 q = local(p);
            return std::min(body(q), wheels(q));
        };
        Canvas shape(size, size);
        shape.fill(silhouette, hex(0xFFFFFF), 0, 0, size, size);
        Canvas c(size, size, hex(0x14161A));
        c.fill([&](Vec2 p) { return wheels(local(p)); }, hex(0x1A1A1A), 0, 0, size, size);
        c.fill([&](Vec2 p) { return body(local(p)); },
            [&](Vec2 p) {
                // Lit from the top-left of the screen.
                const float light = 0.5f + 0.5f * ((centre.y - p.y) + (centre.x - p.x)) / 22.0f;
                return mix(hex(0xA81E1E), hex(0xF0483C), std::clamp(light, 0.0f, 1.0f));
            },
            0, 0, size, size);
        c.fill([&](Vec2 p) { return sd_round_box(local(p), { -14, -1.6f }, { 14, 1.6f }, 0.5f); }, hex(0xF4F4F4), 0,
            0, size, size, 0.9f);
        // Roof, windscreen (wider, at the front) and a spoiler at the back.
        c.fill([&](Vec2 p) { return sd_round_box(local(p), { -7.5f, -5 }, { 2, 5 }, 1.5f); }, hex(0xFF6A5C), 0,
            0, size, size, 0.55f);
        c.fill([&](Vec2 p) { return sd_polygon(local(p), { { 1.5f, -5.8f }, { 6.8f, -4.8f }, { 6.8f, 4.8f }, { 1.5f, 5.8f } }); },
            hex(0x1E2A3A), 0, 0, size, size);
        c.fill([&](Vec2 p) { return sd_round_box(local(p), { -14.5f, -7.5f }, { -12.5f, 7.5f }, 0.6f); },
            hex(0x2A2A2A), 0, 0, size, size);
        c.fill([&](Vec2 p) { return sd_round_box(local(p), { -10, -5 }, { -7, 5 }, 1.2f); }, hex(0x1E2A3A), 0, 0,
            size, size);
        c.fill([&](Vec2 p) { return sd_round_box(local(p), { 12.5f, -6 }, { 14, -3.5f }, 0.6f); }, hex(0xFFF4B0),
            0, 0, size, size);
        c.fill([&](Vec2 p) { return sd_round_box(local(p), { 12.5f, 3.5f }, { 14, 6 }, 0.6f); }, hex(0xFFF4B0), 0,
            0, size, size);
        // The silhouette's coverage is the alpha; the colours stay blended
        // over the dark ground, which the image's encoder takes back out.
        AlphaPicture f { size, size, std::vector<uint32_t>(size_t(size) * size) };
        const std::vector<uint8_t> bgr = c.bgr();
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                const size_t i = size_t(y) * size + x;
                const auto alpha = uint32_t(std::lround(std::clamp(shape.at(x, y).r, 0.0f, 1.0f) * 255.0f));
                f.argb[i] = alpha << 24 | uint32_t(bgr[i * 3 + 2]) << 16 | uint32_t(bgr[i * 3 + 1]) << 8 | bgr[i * 3];
            }
        frames.push_back(std::move(f));
    }
    return frames;
}

FontPicture draw_digits_font()
{
    constexpr int height = 34, digit_w = 20, colon_w = 8, gap = 3;
    FontPicture font;
    font.height = height;
    font.spacing = 2;
    font.space_width = 10;
    font.reference = 0;
    const std::string chars = "0123456789:-";
    // The reference glyph first, blank, then the glyphs in a row.
    int width = 6 + gap;
    for (char ch : chars)
        width += (ch == ':' ? colon_w : digit_w) + gap;
    width += 4;
    font.picture = Canvas(width, height, hex(0x000000));
    for (auto& box : font.boxes)
        box = { 0, 0, 6, height };

    // Seven segments: a, b, c, d, e, f, g as in the usual lettering.
    static constexpr uint8_t segments[10] = { 0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F };
    auto segment_shape = [&](int seg, float x0) -> std::pair<Vec2, Vec2> {
        const float l = x0 + 4, r = x0 + digit_w - 4, t = 4, m = height / 2.0f, b = height - 4;
        const float in = 2.6f;
        switch (seg) {
        case 0: return { { l + in, t }, { r - in, t } };
        case 1: return { { r, t + in }, { r, m - in } };
        case 2: return { { r, m + in }, { r, b - in } };
        case 3: return { { l + in, b }, { r - in, b } };
        case 4: return { { l, m + in }, { l, b - in } };
        case 5: return { { l, t + in }, { l, m - in } };
        default: return { { l + in, m }, { r - in, m } };
        }
    };
    Canvas& c = font.picture;
    const Rgb outline = hex(0x2A1E08), ink = hex(0xFFD54A), shine = hex(0xFFF2C0);
    int x = 6 + gap;
    for (char ch : chars) {
        const int w = ch == ':' ? colon_w : digit_w;
        std::vector<std::pair<Vec2, Vec2>> strokes;
        std::vector<Vec2> dots;
        if (ch >= '0' && ch <= '9') {
            for (int s = 0; s < 7; ++s)
                if (segments[ch - '0'] & (1 << s))
                    strokes.push_back(segment_shape(s, float(x)));
        } else if (ch == '-') {
            strokes.push_back(segment_shape(6, float(x)));
        } else {
            dots = { { x + colon_w / 2.0f, height * 0.33f }, { x + colon_w / 2.0f, height * 0.7f } };
        }
        auto distance = [&](Vec2 p) {
            float d = 1e9f;
            for (auto& s : strokes)
                d = std::min(d, sd_capsule(p, s.first, s.second, 2.4f));
            for (Vec2 dot : dots)
                d = std::min(d, sd_circle(p, dot, 2.6f));
            return d;
        };
        // Only pels the outline covers at least half of stay: the rest is
        // the key (the atlas's top-left pel, black).
        Canvas cover(width, height);
        cover.fill([&](Vec2 p) { return distance(p) - 1.5f; }, hex(0xFFFFFF), x - 2, 0, x + w + 2, height);
        c.fill([&](Vec2 p) { return distance(p) - 1.5f; }, outline, x - 2, 0, x + w + 2, height);
        c.fill(distance, [&](Vec2 p) { return mix(shine, ink, std::clamp(p.y / height * 1.6f, 0.0f, 1.0f)); },
            x - 2, 0, x + w + 2, height);
        for (int yy = 0; yy < height; ++yy)
            for (int xx = std::max(0, x - 2); xx < std::min(width, x + w + 2); ++xx)
                if (cover.at(xx, yy).r < 0.5f)
                    c.at(xx, yy) = hex(0x000000);
        font.boxes[static_cast<unsigned char>(ch)] = { x, 0, w, height };
        x += w + gap;
    }
    return font;
}

} // namespace mkdata
