#include "tools/mkdata/shapes.h"

#include "tools/mkdata/data_folder.h"

#include "platform/process.h"
#include "quarn/ErrorInfo.h"
#include "quarn/IoFailure.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace mkdata {

namespace {

using quarn::RefPtr;
using quarn::cls2::Primitive;
using quarn::cls2::Point2f;

constexpr size_t group_size = 16;

Point2f world(Vec2 p) { return { p.x, -p.y }; }

template<class T>
RefPtr<Primitive> proxy(const T& shape, quarn::cls2::Collidable* owner)
{
    return RefPtr<Primitive>(new quarn::cls2::PrimitiveProxy<T>(shape, owner, {}));
}

// The circle round a set of segments: centred on their box, reaching the
// farthest end.
quarn::cls2::Circle bound(const std::vector<quarn::cls2::Segment>& segments)
{
    float x0 = 1e30f, y0 = 1e30f, x1 = -1e30f, y1 = -1e30f;
    for (const auto& s : segments)
        for (Point2f e : { s.end_a(), s.end_b() }) {
            x0 = std::min(x0, e.x);
            y0 = std::min(y0, e.y);
            x1 = std::max(x1, e.x);
            y1 = std::max(y1, e.y);
        }
    const Point2f centre { (x0 + x1) * 0.5f, (y0 + y1) * 0.5f };
    float r = 0;
    for (const auto& s : segments)
        r = std::max({ r, quarn::math::distance(centre, s.end_a()), quarn::math::distance(centre, s.end_b()) });
    return { centre, r + 0.01f };
}

} // namespace

void build_track_shapes(const Track& track, quarn::cls2::Collidable& c)
{
    std::vector<quarn::cls2::Segment> all;
    for (const auto& wall : track.walls)
        for (size_t i = 0; i + 1 < wall.size(); ++i)
            if (length(wall[i + 1] - wall[i]) > 0.01f)
                all.push_back(quarn::cls2::Segment::from_points(world(wall[i]), world(wall[i + 1])));
    c.primitives.clear();
    auto* root = c.primitives.add_root(proxy(bound(all), &c));
    for (size_t first = 0; first < all.size(); first += group_size) {
        const std::vector<quarn::cls2::Segment> group(
            all.begin() + long(first), all.begin() + long(std::min(all.size(), first + group_size)));
        auto* node = c.primitives.add_child(root, proxy(bound(group), &c));
        for (const auto& s : group)
            c.primitives.add_child(node, proxy(s, &c));
    }
    c.set_pose_position({ 0, 0 });
    c.set_pose_angle(0);
    c.mask = 0xFFFFFFFF;
    c.set_owners();
}

void build_car_shapes(quarn::cls2::Collidable& c)
{
    c.primitives.clear();
    const float reach = car_circle_offset + car_circle_radius;
    auto* root = c.primitives.add_root(proxy(quarn::cls2::Circle { { 0, 0 }, reach }, &c));
    c.primitives.add_child(root, proxy(quarn::cls2::Circle { { car_circle_offset, 0 }, car_circle_radius }, &c));
    c.primitives.add_child(root, proxy(quarn::cls2::Circle { { -car_circle_offset, 0 }, car_circle_radius }, &c));
    c.mask = 0xFFFFFFFF;
    c.set_owners();
}

bool write_obst(platform::FileHandle file, const quarn::cls2::Collidable& c)
{
    quarn::io::FileBuf buffer(file, quarn::open_mode::out | quarn::open_mode::binary);
    quarn::io::Stream out(&buffer);
    try {
        // The native header: the signature, then the stream's flags
        // (objects carry their data lengths).
        static constexpr char signature[] = "quarn::io::Stream";
        out.write(signature, std::strlen(signature));
        out.write_u32(quarn::io::Stream::data_lengths);
        quarn::cls2::write_collidable(out, c);
    } catch (const quarn::io::Failure&) {
        // The stream names only "i/o error"; the file that refused the
        // bytes (a full disk, a file size limit) knows why, and the caller
        // says it with the file's name.
        const auto* error = dynamic_cast<const quarn::SystemErrorInfo*>(buffer.last_error());
        if (!error || error->code() == 0)
            throw;
        platform::set_last_error(error->code());
        return false;
    }
    return buffer.close() != nullptr;
}

void write_obst(const std::string& path, const quarn::cls2::Collidable& c)
{
    if (!write_new_file(path, [&c](platform::FileHandle file) { return write_obst(file, c); }))
        quarn::throw_exception(("cannot write " + path).c_str());
}

} // namespace mkdata
