// Writes the seed inputs of the physics fuzz target: a track of every
// shape kind with properties and materials, and a car, written by the
// Collidable writer with each stream setup. Usage: make_seeds <directory>
#include "physics_fuzz.h"
#include "tests/Lib/quarn/src/quarn/memory_buf.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

using namespace quarn;
using cls2::Point2f;

template<class T>
RefPtr<cls2::Primitive> shape(const T& s, const RefPtr<cls2::Properties>& props = {})
{
    return RefPtr<cls2::Primitive>(new cls2::PrimitiveProxy<T>(s, nullptr, props));
}

void save(const std::string& dir, const std::string& name, physics_fuzz::Setup setup, const std::string& bytes)
{
    std::ofstream out(dir + "/" + name, std::ios::binary);
    out.put(static_cast<char>(setup.byte()));
    out << bytes;
}

std::string write_scene(physics_fuzz::Setup setup, bool full_track)
{
    RefPtr<dyn::Material> ice(new dyn::Material("ice", 1, 0.1f, 0.05f));
    auto by_id = make_ref<dyn::PrimitiveProperties>();
    by_id->material_id = 3;
    auto held = make_ref<dyn::PrimitiveProperties>();
    held->has_material = 1;
    held->material = ice;

    cls2::Collidable track;
    track.set_pose_position({ 0, -300 });
    auto* root = track.primitives.add_root(shape(cls2::Box { { 0, 0 }, 400, 300 }, by_id));
    auto* walls = track.primitives.add_child(root, shape(cls2::Box { { 0, 0 }, 400, 300 }));
    track.primitives.add_child(walls, shape(cls2::Box { { -390, 0 }, 10, 300 }, by_id));
    track.primitives.add_child(walls, shape(cls2::Box { { 390, 0 }, 10, 300 }, held));
    if (full_track) {
        track.primitives.add_child(root, shape(cls2::Tube::from_points({ -100, 50 }, { 100, 80 }, 8), held));
        track.primitives.add_child(root, shape(cls2::Segment::from_points({ -50, -50 }, { 50, -60 })));
        track.primitives.add_child(root, shape(Point2f(5, 5)));
        track.primitives.add_child(root, shape(cls2::Circle { { 200, 100 }, 30 }, by_id));
    }
    track.set_owners();

    cls2::Collidable car;
    auto* body = car.primitives.add_root(shape(cls2::Circle { { 0, 0 }, 20 }));
    car.primitives.add_child(body, shape(cls2::Circle { { -8, 0 }, 9 }, held));
    car.primitives.add_child(body, shape(cls2::Circle { { 8, 0 }, 9 }, held));
    car.set_owners();

    quarn_test::MemoryBuf buf;
    io::Stream out(&buf);
    out.set_flags(setup.lengths ? io::Stream::data_lengths : 0);
    cls2::write_collidable(out, track);
    cls2::write_collidable(out, car);
    return buf.bytes();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <directory>\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    for (int bits = 0; bits < 4; ++bits) {
        const auto setup = physics_fuzz::Setup::from(uint8_t(bits));
        save(dir, "scene_" + std::to_string(bits), setup, write_scene(setup, true));
    }
    save(dir, "small", physics_fuzz::Setup::from(3), write_scene(physics_fuzz::Setup::from(3), false));
    return 0;
}
