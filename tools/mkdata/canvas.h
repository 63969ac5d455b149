// An RGB picture in floating point that the data tool paints its pictures
// on: shapes are given as signed distance functions (negative inside), so
// every edge is anti-aliased by its distance, not by super-sampling.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace mkdata {

struct Rgb {
    float r = 0, g = 0, b = 0;
};

Rgb mix(const Rgb& a, const Rgb& b, float t);
Rgb shade(const Rgb& c, float k); // every channel times k
Rgb hex(uint32_t rgb); // 0xRRGGBB

struct Vec2 {
    float x = 0, y = 0;
};
Vec2 operator+(Vec2 a, Vec2 b);
Vec2 operator-(Vec2 a, Vec2 b);
Vec2 operator*(Vec2 a, float k);
float dot(Vec2 a, Vec2 b);
float length(Vec2 a);
Vec2 normalized(Vec2 a);
Vec2 perp(Vec2 a); // turned a quarter to the left (x, y) -> (-y, x)
// Distance from p to the segment a-b, and the position along it (0..1).
float segment_distance(Vec2 p, Vec2 a, Vec2 b, float* t = nullptr);

// Signed distances of the basic shapes (negative inside).
float sd_circle(Vec2 p, Vec2 centre, float radius);
float sd_round_box(Vec2 p, Vec2 min, Vec2 max, float radius);
float sd_capsule(Vec2 p, Vec2 a, Vec2 b, float radius);
float sd_polygon(Vec2 p, const std::vector<Vec2>& poly); // convex or not

class Canvas {
public:
    Canvas(int width, int height, Rgb fill = {});

    int width() const { return width_; }
    int height() const { return height_; }
    Rgb& at(int x, int y) { return pels_[size_t(y) * width_ + x]; }
    const Rgb& at(int x, int y) const { return pels_[size_t(y) * width_ + x]; }

    // Blends `colour` by `coverage` (0..1) into one pel; outside is ignored.
    void blend(int x, int y, const Rgb& colour, float coverage);
    // Paints the shape over the box [x0, x1) x [y0, y1): each pel centre's
    // distance d gives the coverage clamp(0.5 - d, 0, 1) times `alpha`.
    void fill(const std::function<float(Vec2)>& distance, const Rgb& colour, int x0, int y0, int x1, int y1,
        float alpha = 1);
    // The same with a colour per pel.
    void fill(const std::function<float(Vec2)>& distance, const std::function<Rgb(Vec2)>& colour, int x0, int y0,
        int x1, int y1, float alpha = 1);
    void fill_circle(Vec2 centre, float radius, const Rgb& colour, float alpha = 1);
    void fill_round_box(Vec2 min, Vec2 max, float radius, const Rgb& colour, float alpha = 1);
    void fill_capsule(Vec2 a, Vec2 b, float radius, const Rgb& colour, float alpha = 1);
    void fill_polygon(const std::vector<Vec2>& poly, const Rgb& colour, float alpha = 1);

    // Text in the built-in 5x7 letters, each font pixel a rounded block of
    // `scale` pels, with its top-left at `at`. Returns the width drawn.
    float text(Vec2 at, std::string_view text, float scale, const Rgb& colour, float alpha = 1);
    static float text_width(std::string_view text, float scale);

    // Bytes B, G, R per pel, rows top first.
    std::vector<uint8_t> bgr() const;

private:
    int width_, height_;
    std::vector<Rgb> pels_;
};

} // namespace mkdata
