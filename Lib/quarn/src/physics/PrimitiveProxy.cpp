// The five proxy types: world shapes, distances, bounding boxes, moves and
// the stream form of each shape.
#include "physics/Primitive.h"

#include "physics/Collidable.h"
#include "physics/Factories.h"
#include "physics/SharedRead.h"

#include <algorithm>
#include <cmath>

namespace quarn::cls2 {

namespace {

// The frame a shape without an owner lives in: the world's.
Point2f to_world(const Collidable* owner, const Point2f& p) { return owner ? owner->to_world(p) : p; }

Point2f turn(const Collidable* owner, const Point2f& v)
{
    return owner ? math::rotate(v, owner->cos_angle, owner->sin_angle) : v;
}

// World shapes.
Box world_of(const Collidable* owner, const Box& b) { return { to_world(owner, b.centre), b.half_x, b.half_y }; }
Circle world_of(const Collidable* owner, const Circle& c) { return { to_world(owner, c.centre), c.radius }; }
Point2f world_of(const Collidable* owner, const Point2f& p) { return to_world(owner, p); }
Segment world_of(const Collidable* owner, const Segment& s)
{
    return Segment::from_points(to_world(owner, s.end_a()), to_world(owner, s.end_b()));
}
Tube world_of(const Collidable* owner, const Tube& t)
{
    return { to_world(owner, t.centre), turn(owner, t.direction), t.radius, t.half_length };
}

float farthest(const Point2f& p, std::initializer_list<Point2f> points)
{
    float d = 0;
    for (const Point2f& q : points)
        d = std::max(d, math::distance(p, q));
    return d;
}

float reach(const Box& b, const Point2f& p)
{
    const float cx = b.centre.x, cy = b.centre.y, hx = b.half_x, hy = b.half_y;
    return farthest(p, { { cx - hx, cy - hy }, { cx - hx, cy + hy }, { cx + hx, cy - hy }, { cx + hx, cy + hy } });
}
float reach(const Circle& c, const Point2f& p) { return math::distance(p, c.centre) + c.radius; }
float reach(const Point2f& q, const Point2f& p) { return math::distance(p, q); }
float reach(const Segment& s, const Point2f& p) { return farthest(p, { s.end_a(), s.end_b() }); }
float reach(const Tube& t, const Point2f& p)
{
    const Point2f o(-t.direction.y * t.radius, t.direction.x * t.radius);
    const Point2f a = t.end_a(), b = t.end_b();
    return farthest(p, { a + o, a - o, b + o, b - o });
}

Box box_over(std::initializer_list<Point2f> points)
{
    float x0 = points.begin()->x, x1 = x0, y0 = points.begin()->y, y1 = y0;
    for (const Point2f& q : points) {
        x0 = std::min(x0, q.x);
        x1 = std::max(x1, q.x);
        y0 = std::min(y0, q.y);
        y1 = std::max(y1, q.y);
    }
    return { { (x0 + x1) * 0.5f, (y0 + y1) * 0.5f }, (x1 - x0) * 0.5f, (y1 - y0) * 0.5f };
}

Box bounds(const Box& b) { return b; }
Box bounds(const Circle& c)
{
    const float cx = c.centre.x, cy = c.centre.y, r = c.radius;
    return { { ((cx - r) + (cx + r)) * 0.5f, ((cy - r) + (cy + r)) * 0.5f }, ((cx + r) - (cx - r)) * 0.5f,
        ((cy + r) - (cy - r)) * 0.5f };
}
Box bounds(const Point2f& p) { return { p, 0, 0 }; }
Box bounds(const Segment& s) { return box_over({ s.end_a(), s.end_b() }); }
Box bounds(const Tube& t)
{
    // A quarter turn through the float cosine and sine of pi/2 (not an
    // exact swap), so bounds match those of stored files bit for bit.
    const float quarter = 1.5707964f;
    const Point2f o = math::rotate(t.direction, std::cos(quarter), std::sin(quarter)) * t.radius;
    const Point2f a = t.end_a(), b = t.end_b();
    return box_over({ a - o, a + o, b - o, b + o });
}

// Where a point of `owner`'s frame lies in the frame of `other`.
Point2f rebased(const Collidable* owner, const Collidable& other, const Point2f& p)
{
    return other.to_local(to_world(owner, p));
}

void rebase_shape(const Collidable* owner, const Collidable& other, Box& b) { b.centre = rebased(owner, other, b.centre); }
void rebase_shape(const Collidable* owner, const Collidable& other, Circle& c)
{
    c.centre = rebased(owner, other, c.centre);
}
void rebase_shape(const Collidable* owner, const Collidable& other, Point2f& p) { p = rebased(owner, other, p); }
void rebase_shape(const Collidable* owner, const Collidable& other, Segment& s)
{
    const Segment w = world_of(owner, s);
    s = Segment::from_points(other.to_local(w.end_a()), other.to_local(w.end_b()));
}
void rebase_shape(const Collidable* owner, const Collidable& other, Tube& t)
{
    const Tube w = world_of(owner, t);
    t.centre = other.to_local(w.centre);
    t.direction = math::rotate(w.direction, other.cos_angle, -other.sin_angle);
}

void translate_shape(Box& b, const Point2f& v) { b.centre += v; }
void translate_shape(Circle& c, const Point2f& v) { c.centre += v; }
void translate_shape(Point2f& p, const Point2f& v) { p += v; }
void translate_shape(Segment& s, const Point2f& v) { s = Segment::from_points(s.end_a() + v, s.end_b() + v); }
void translate_shape(Tube& t, const Point2f& v) { t = Tube::from_points(t.end_a() + v, t.end_b() + v, t.radius); }

// Shape records. Box, Segment and Tube start with a version byte of 0.
void write_floats(io::Stream& s, std::initializer_list<float> values)
{
    for (float v : values)
        s.write_f32(v);
}

bool read_floats(io::IStream& s, std::initializer_list<float*> values)
{
    for (float* v : values)
        if (!s.read_f32(*v))
            return false;
    return true;
}

void write_shape(io::Stream& s, const Box& b)
{
    s.write_u8(0);
    write_floats(s, { b.centre.x, b.centre.y, b.half_x, b.half_y });
}
void write_shape(io::Stream& s, const Circle& c) { write_floats(s, { c.centre.x, c.centre.y, c.radius }); }
void write_shape(io::Stream& s, const Point2f& p) { write_floats(s, { p.x, p.y }); }
void write_shape(io::Stream& s, const Segment& g)
{
    s.write_u8(0);
    write_floats(s, { g.centre.x, g.centre.y, g.direction.x, g.direction.y, g.half_length });
}
void write_shape(io::Stream& s, const Tube& t)
{
    s.write_u8(0);
    write_floats(s, { t.centre.x, t.centre.y, t.direction.x, t.direction.y, t.radius, t.half_length });
}

bool read_shape(io::IStream& s, Box& b)
{
    uint8_t version;
    return s.read_u8(version) && read_floats(s, { &b.centre.x, &b.centre.y, &b.half_x, &b.half_y });
}
bool read_shape(io::IStream& s, Circle& c) { return read_floats(s, { &c.centre.x, &c.centre.y, &c.radius }); }
bool read_shape(io::IStream& s, Point2f& p) { return read_floats(s, { &p.x, &p.y }); }
bool read_shape(io::IStream& s, Segment& g)
{
    uint8_t version;
    return s.read_u8(version)
        && read_floats(s, { &g.centre.x, &g.centre.y, &g.direction.x, &g.direction.y, &g.half_length });
}
bool read_shape(io::IStream& s, Tube& t)
{
    uint8_t version;
    return s.read_u8(version)
        && read_floats(s, { &t.centre.x, &t.centre.y, &t.direction.x, &t.direction.y, &t.radius, &t.half_length });
}

} // namespace

const char* Properties::type_name() const { return quarn::type_name_v<Properties>; }

void Primitive::write(io::Stream& stream) const
{
    stream.write_u8(0);
    stream.write_u8(static_cast<uint8_t>(kind));
    write_shared_object(stream, properties);
}

void Primitive::read(io::IStream& stream)
{
    ReadInProgress reading(stream, dynamic_cast<const void*>(this));
    uint8_t version, stored_kind;
    if (!stream.read_u8(version) || !stream.read_u8(stored_kind))
        return;
    // The kind picks the shape tests, which take the shape for what the kind
    // says; a kind that is not this proxy's own would have them read one
    // shape as another. Such a stream is damaged.
    kind = own_kind();
    if (stored_kind != kind) {
        stream.setstate(io::Stream::fail);
        return;
    }
    properties = read_shared_object<Properties>(stream);
}

template<class T>
void PrimitiveProxy<T>::refresh_cache() const
{
    stamp = owner->pose_stamp;
    cache = world_of(owner, shape);
}

template<class T>
void PrimitiveProxy<T>::write(io::Stream& stream) const
{
    stream.write_u8(0);
    write_shape(stream, shape);
    Primitive::write(stream);
}

template<class T>
void PrimitiveProxy<T>::read(io::IStream& stream)
{
    uint8_t version;
    if (!stream.read_u8(version))
        return;
    const bool shape_read = read_shape(stream, shape);
    stamp = -1;
    if (shape_read)
        Primitive::read(stream);
}

template<class T>
float PrimitiveProxy<T>::max_distance(const Point2f& p) const
{
    return reach(shape, p);
}

template<class T>
float PrimitiveProxy<T>::world_max_distance(const Point2f& p) const
{
    return reach(world_shape(), p);
}

template<class T>
Box PrimitiveProxy<T>::bounding_box() const
{
    return bounds(shape);
}

template<class T>
Box PrimitiveProxy<T>::world_bounding_box() const
{
    return bounds(world_shape());
}

template<class T>
void PrimitiveProxy<T>::rebase(const Collidable& other)
{
    rebase_shape(owner, other, shape);
}

template<class T>
void PrimitiveProxy<T>::translate(const Point2f& v)
{
    translate_shape(shape, v);
}

template class PrimitiveProxy<Box>;
template class PrimitiveProxy<Circle>;
template class PrimitiveProxy<Point2f>;
template class PrimitiveProxy<Segment>;
template class PrimitiveProxy<Tube>;

Primitive* new_box_proxy(const Box& box, Collidable* owner, const RefPtr<Properties>& properties)
{
    return new BoxProxy(box, owner, properties);
}

Primitive* new_circle_proxy(const Circle& circle, Collidable* owner, const RefPtr<Properties>& properties)
{
    return new CircleProxy(circle, owner, properties);
}

void write_primitive_ref(io::Stream& stream, const RefPtr<Primitive>& primitive)
{
    write_shared_object(stream, primitive);
}

RefPtr<Primitive> read_primitive_ref(io::IStream& stream)
{
    link_factories();
    return read_shared_object<Primitive>(stream);
}

} // namespace quarn::cls2
