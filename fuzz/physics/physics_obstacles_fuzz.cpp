// Reads a track and a car (two Collidables, as the ".obst" files hold
// them) from arbitrary bytes, gives them their bounds and steps a World
// with them for a few sub-steps. Stream failures, "NOT IMPLEMENTED" pairs
// and overlapping boxes are expected; crashes, leaks, hangs and undefined
// behaviour are not.
#include "physics_fuzz.h"
#include "tests/Lib/quarn/src/quarn/memory_buf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const auto setup = physics_fuzz::Setup::from(data[0]);
    quarn_test::MemoryBuf buf(data + 1, size - 1);
    quarn::io::IStream in(&buf);
    in.set_flags(setup.lengths ? quarn::io::Stream::data_lengths : 0);
    in.exceptions(setup.exceptions ? quarn::io::Stream::default_exceptions : 0);

    quarn::dyn::World world;
    quarn::RefPtr<quarn::dyn::Obstacle> track(new quarn::dyn::Obstacle);
    quarn::RefPtr<quarn::dyn::RigidBody> car(new quarn::dyn::RigidBody);
    try {
        // One scope for both reads: the car may refer to the track's shapes.
        quarn::cls2::StreamReadScope scope(in);
        quarn::cls2::read_collidable(in, *track);
        quarn::cls2::read_collidable(in, *car);
    } catch (const quarn::Exception&) {
    }
    try {
        track->build_bounds(false);
        car->build_bounds(true);
        car->set_mass(100, 400);
        world.add_obstacle(track);
        world.add_body(car);
        // Beside the seeds' right-hand wall, heading into it.
        car->set_position(track->position + quarn::math::Point2f(370, 0));
        car->velocity = { 40, -25 };
        car->angular_velocity = 3;
        for (int i = 0; i < 4; ++i)
            world.step(0.002f);
    } catch (const quarn::Exception&) {
    }
    return 0;
}
