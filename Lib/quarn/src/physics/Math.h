// quarn::math: the small vector types of collision and physics.
//
// Point2 is two values, x then y, and nothing else, so a Point2<float>
// inside a class follows the previous field directly. Every operation here
// is written out in single precision on purpose: the physics step is
// compared bit for bit between runs, so no expression may be reassociated
// or widened behind the reader's back.
#pragma once

#include <cmath>

namespace quarn::math {

template<class T>
struct Point2 {
    T x {};
    T y {};

    constexpr Point2() = default;
    constexpr Point2(T x, T y)
        : x(x)
        , y(y)
    {
    }

    constexpr Point2 operator+(const Point2& o) const { return { x + o.x, y + o.y }; }
    constexpr Point2 operator-(const Point2& o) const { return { x - o.x, y - o.y }; }
    constexpr Point2 operator-() const { return { -x, -y }; }
    constexpr Point2 operator*(T k) const { return { x * k, y * k }; }
    constexpr Point2& operator+=(const Point2& o)
    {
        x += o.x;
        y += o.y;
        return *this;
    }
    constexpr Point2& operator-=(const Point2& o)
    {
        x -= o.x;
        y -= o.y;
        return *this;
    }
    constexpr Point2& operator*=(T k)
    {
        x *= k;
        y *= k;
        return *this;
    }
    constexpr bool operator==(const Point2& o) const { return x == o.x && y == o.y; }

    constexpr T length_sq() const { return x * x + y * y; }
    T length() const { return std::sqrt(length_sq()); }
    // Both components times 1/length. A zero vector becomes NaN: callers
    // that may hold one check first.
    Point2& normalize()
    {
        const T k = T(1) / length();
        x *= k;
        y *= k;
        return *this;
    }

    // The shared origin.
    static const Point2& zero()
    {
        static const Point2 origin;
        return origin;
    }
};

using Point2f = Point2<float>;

template<class T>
constexpr T dot(const Point2<T>& a, const Point2<T>& b)
{
    return a.x * b.x + a.y * b.y;
}

template<class T>
constexpr T distance_sq(const Point2<T>& a, const Point2<T>& b)
{
    return (a - b).length_sq();
}

template<class T>
T distance(const Point2<T>& a, const Point2<T>& b)
{
    return std::sqrt(distance_sq(a, b));
}

// v turned by the angle whose cosine is c and sine s.
template<class T>
constexpr Point2<T> rotate(const Point2<T>& v, T c, T s)
{
    return { c * v.x - s * v.y, s * v.x + c * v.y };
}

template<class T>
struct Circle {
    Point2<T> centre;
    T radius {};
};

// A rectangle by its corners; contains() takes the low edges and leaves out
// the high ones, so that rectangles sharing an edge never both claim a point.
template<class T>
struct Rect {
    T x0 {}, y0 {}, x1 {}, y1 {};

    constexpr bool contains(const Point2<T>& p) const { return x0 <= p.x && p.x < x1 && y0 <= p.y && p.y < y1; }
};

} // namespace quarn::math
