// The car's control sub-steps, damping, placing and picture choice.
#include "game/game.h"

#include "engine/blit/blit.h"

#include "tools/mkdata/pictures.h"
#include "tools/mkdata/shapes.h"
#include "tools/mkdata/writers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

namespace {

class CarTest : public testing::Test {
protected:
    void SetUp() override { g_input = inpCTy {}; }
    void TearDown() override { g_input = inpCTy {}; }
    void Hold(uint8_t key) { g_input.keys[key] = 0x80; }
    Car car;
};

TEST_F(CarTest, SubStepsOfOneHundredthCarryTheRest)
{
    Hold(platform::vk::up);
    car.Update(0.004f);
    car.Update(0.004f);
    EXPECT_EQ(car.velocity.x, 0.0f) << "no sub-step in 8 ms";
    car.Update(0.004f);
    EXPECT_NEAR(car.velocity.x, 4.001f * 0.991f, 1e-4f) << "one sub-step in 12 ms";
    EXPECT_NEAR(car.timeAccu, 0.002f, 1e-6f);

    Car other;
    Hold(platform::vk::up);
    other.Update(0.035f);
    EXPECT_NEAR(other.timeAccu, 0.005f, 1e-6f);
    const float v1 = 4.001f * 0.991f;
    const float v3 = ((v1 + 4.001f) * 0.991f + 4.001f) * 0.991f;
    EXPECT_NEAR(other.velocity.x, v3, 1e-3f);
}

TEST_F(CarTest, TerminalSpeedsAndDamping)
{
    Hold(platform::vk::up);
    Hold(platform::vk::left);
    car.Update(30.0f);
    EXPECT_NEAR(car.velocity.length(), 440.6f, 0.5f);
    EXPECT_NEAR(car.angular_velocity, 4.533f, 0.01f);
    const float speed = car.velocity.length();
    g_input = inpCTy {};
    car.Update(1.0f);
    EXPECT_NEAR(car.velocity.length() / speed, 0.405f, 0.003f);

    // Opposite keys cancel but still count as changes.
    Car other;
    Hold(platform::vk::up);
    Hold(platform::vk::down);
    const uint32_t before = other.change_count;
    other.Control(0.01f);
    EXPECT_EQ(other.velocity, (quarn::math::Point2f { 0, 0 }));
    EXPECT_EQ(other.change_count - before, 2u);
}

TEST_F(CarTest, PlaceStopsTheCarAndKeepsTheControlTime)
{
    car.velocity = { 5, 6 };
    car.angular_velocity = 2;
    car.set_angle(1);
    car.timeAccu = 0.007f;
    car.Place(10, -20);
    EXPECT_EQ(car.position(), (quarn::math::Point2f { 10, -20 }));
    EXPECT_EQ(car.angle(), 0.0f);
    EXPECT_EQ(car.velocity, (quarn::math::Point2f { 0, 0 }));
    EXPECT_EQ(car.angular_velocity, 0.0f);
    EXPECT_EQ(car.timeAccu, 0.007f);
}

TEST(CarFrames, IndexFollowsTheHeading)
{
    const struct {
        float angle;
        int32_t n, frame;
    } cases[] = { { 0, 32, 0 }, { -0.1f, 32, 0 }, { -0.3f, 32, 31 }, { 3.0f, 32, 15 }, { 6.3f, 32, 0 },
        { -6.3f, 32, 0 }, { 1.6f, 4, 1 }, { 100.0f, 64, 58 } };
    for (const auto& c : cases)
        EXPECT_EQ(Car::FrameIndex(c.angle, c.n), c.frame) << c.angle;
}

} // namespace

namespace {

// Car::Load on damaged data: the start-up ends with the file's name.
TEST(CarLoad, RefusesAnEmptyPictureSetAndAMissingShape)
{
    namespace fs = std::filesystem;
    gfxInit(); // the image classes the set names
    const fs::path start = fs::current_path();
    const fs::path dir = fs::temp_directory_path() / "quarn_car_load";
    fs::remove_all(dir);
    fs::create_directories(dir / "DATA");
    fs::current_path(dir);
    auto message_of_load = [] {
        Car car;
        try {
            car.Load();
        } catch (const quarn::Exception& e) {
            car.RemoveSprite();
            return std::string(e.what());
        }
        car.RemoveSprite();
        return std::string("loaded");
    };
    ASSERT_TRUE(mkdata::write_image_set("DATA/car.imgs", {}));
    EXPECT_NE(message_of_load().find("car.imgs"), std::string::npos);

    ASSERT_TRUE(mkdata::write_image_set("DATA/car.imgs", mkdata::draw_car_frames(4)));
    EXPECT_NE(message_of_load().find("car.obst"), std::string::npos);

    quarn::cls2::Collidable shape;
    mkdata::build_car_shapes(shape);
    mkdata::write_obst("DATA/car.obst", shape);
    EXPECT_EQ(message_of_load(), "loaded");
    fs::current_path(start);
    fs::remove_all(dir);
}

} // namespace
