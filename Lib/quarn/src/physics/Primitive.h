// Collision shapes as the primitive tree holds them.
//
// Primitive carries what every shape has (its kind, its owner and its shared
// properties); PrimitiveProxy<T> adds one shape of type T in the owner's
// frame and a cache of that shape in world space, refreshed only when the
// owner's pose stamp has moved on. Both are stored objects: each proxy type
// has a factory registered under its class name, so the ".obst" files can
// name it.
#pragma once

#include "physics/Collidable.h"
#include "physics/Shapes.h"
#include "quarn/quarn.h"

#include <cstdint>

namespace quarn::cls2 {
class Properties;
class Primitive;
template<class T>
class PrimitiveProxy;
} // namespace quarn::cls2

// The names the stored classes have in the data files.
QUARN_TYPE_NAME(quarn::cls2::Properties, "class quarn::cls2::Properties");
QUARN_TYPE_NAME(quarn::cls2::Primitive, "class quarn::cls2::Primitive");
QUARN_TYPE_NAME(quarn::cls2::PrimitiveProxy<quarn::cls2::Box>, "class quarn::cls2::PrimitiveProxy<class quarn::cls2::Box>");
QUARN_TYPE_NAME(quarn::cls2::PrimitiveProxy<quarn::cls2::Circle>,
    "class quarn::cls2::PrimitiveProxy<class quarn::math::Circle<float> >");
QUARN_TYPE_NAME(quarn::cls2::PrimitiveProxy<quarn::cls2::Point2f>,
    "class quarn::cls2::PrimitiveProxy<class quarn::math::Point2<float> >");
QUARN_TYPE_NAME(quarn::cls2::PrimitiveProxy<quarn::cls2::Segment>,
    "class quarn::cls2::PrimitiveProxy<class quarn::cls2::Segment>");
QUARN_TYPE_NAME(quarn::cls2::PrimitiveProxy<quarn::cls2::Tube>, "class quarn::cls2::PrimitiveProxy<class quarn::cls2::Tube>");


namespace quarn::cls2 {

class Collidable;

// Kind ids, the pair table's index. 2 and 6 belong to no shape.
enum Kind : uint32_t {
    kind_box = 0,
    kind_circle = 1,
    kind_point = 3,
    kind_segment = 4,
    kind_tube = 5,
    kind_count = 7, // rows and columns of the pair table
    kind_unset = 7,
};

template<class T>
inline constexpr uint32_t kind_of = kind_unset;
template<>
inline constexpr uint32_t kind_of<Box> = kind_box;
template<>
inline constexpr uint32_t kind_of<Circle> = kind_circle;
template<>
inline constexpr uint32_t kind_of<Point2f> = kind_point;
template<>
inline constexpr uint32_t kind_of<Segment> = kind_segment;
template<>
inline constexpr uint32_t kind_of<Tube> = kind_tube;

// Whatever a shape carries for the code above collision (the physics gives
// it a material, dyn::PrimitiveProperties). The base stores nothing.
class Properties : public io::Object {
public:
    void write(io::Stream&) const override { }
    void read(io::IStream&) override { }
    ~Properties() override = default;

    // The name its factory is registered under.
    virtual const char* type_name() const;
};

class Primitive : public io::Object {
public:
    // The Primitive part of the stream form: u8 version 0, u8 kind, then the
    // properties as a shared object reference.
    void write(io::Stream& stream) const override;
    void read(io::IStream& stream) override;
    ~Primitive() override = default;

    // Largest distance from p to the local shape, and to the world shape.
    virtual float max_distance(const Point2f& p) const = 0;
    virtual float world_max_distance(const Point2f& p) const = 0;
    virtual Box bounding_box() const = 0;
    virtual Box world_bounding_box() const = 0;
    // Rewrites the local shape so that, in the frame of `other`, it lies
    // where it lies in world space now.
    virtual void rebase(const Collidable& other) = 0;
    // Moves the local shape by v.
    virtual void translate(const Point2f& v) = 0;
    // The name the proxy's factory is registered under.
    virtual const char* type_name() const = 0;

    uint32_t kind = kind_unset;
    Collidable* owner = nullptr; // not owned
    RefPtr<Properties> properties;

protected:
    Primitive() = default;
    Primitive(const Primitive&) = default;
    Primitive& operator=(const Primitive&) = default;
    // The kind this class answers to; a stream naming another one fails.
    virtual uint32_t own_kind() const = 0;
};

template<class T>
class PrimitiveProxy final : public Primitive {
public:
    // The default object a factory makes: kind unset until read, shape zero.
    PrimitiveProxy() = default;
    PrimitiveProxy(const T& shape, Collidable* owner, const RefPtr<Properties>& properties)
        : shape(shape)
    {
        this->kind = kind_of<T>;
        this->owner = owner;
        this->properties = properties;
    }
    PrimitiveProxy(const PrimitiveProxy&) = default;
    ~PrimitiveProxy() override = default;

    // Version 0, the shape record, then the Primitive part.
    void write(io::Stream& stream) const override;
    void read(io::IStream& stream) override;

    float max_distance(const Point2f& p) const override;
    float world_max_distance(const Point2f& p) const override;
    Box bounding_box() const override;
    Box world_bounding_box() const override;
    void rebase(const Collidable& other) override;
    void translate(const Point2f& v) override;
    const char* type_name() const override { return quarn::type_name_v<PrimitiveProxy>; }

    // The shape in world space: the local shape without an owner, else the
    // cache, recomputed when the owner's pose stamp differs from `stamp`.
    // Inline, as the narrow phase asks for it at every shape test.
    const T& world_shape() const
    {
        if (!owner)
            return shape;
        if (stamp != owner->pose_stamp)
            refresh_cache();
        return cache;
    }

    T shape {}; // in the owner's frame
    mutable int32_t stamp = -1; // the owner's pose stamp the cache is for; -1: none
    mutable T cache {};

protected:
    uint32_t own_kind() const override { return kind_of<T>; }

private:
    void refresh_cache() const;
};

using BoxProxy = PrimitiveProxy<Box>;
using CircleProxy = PrimitiveProxy<Circle>;
using PointProxy = PrimitiveProxy<Point2f>;
using SegmentProxy = PrimitiveProxy<Segment>;
using TubeProxy = PrimitiveProxy<Tube>;

extern template class PrimitiveProxy<Box>;
extern template class PrimitiveProxy<Circle>;
extern template class PrimitiveProxy<Point2f>;
extern template class PrimitiveProxy<Segment>;
extern template class PrimitiveProxy<Tube>;

// The bounding primitives the tree builds.
Primitive* new_box_proxy(const Box& box, Collidable* owner, const RefPtr<Properties>& properties);
Primitive* new_circle_proxy(const Circle& circle, Collidable* owner, const RefPtr<Properties>& properties);

// A Primitive as a shared reference: the object with its factory reference,
// then the identity of its count block (a "long"). An empty handle is two
// zero tags.
void write_primitive_ref(io::Stream& stream, const RefPtr<Primitive>& primitive);
// Reads what write_primitive_ref wrote. Anything but a Primitive, or a count
// block that belongs to another object, fails the stream.
[[nodiscard]] RefPtr<Primitive> read_primitive_ref(io::IStream& stream);

} // namespace quarn::cls2
