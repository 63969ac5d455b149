// The car: a rigid body steered by the arrow keys, with its sprite.
#include "game/game.h"

#include <cmath>
#include <cstring>

void Car::Load()
{
    // A set that does not load is reported by the set itself and left
    // empty; the car cannot be shown without a picture, so that ends the
    // start-up like a damaged shape does.
    (void)frames.Load("DATA/car.imgs");
    if (frames.count < 1)
        quarn::throw_exception("DATA/car.imgs: the file holds no car pictures");
    {
        quarn::io::IArcStream in("DATA/car.obst");
        quarn::cls2::read_collidable(in, *this);
    }
    if (primitives.empty())
        quarn::throw_exception("DATA/car.obst: the file holds no car shape");
    build_bounds(true);

    sprsCTy::Add(&g_sprites, &sprite);
    sprite.SetImage(frames.GetImage(0));
    // The pictures are alpha images: blending draws their anti-aliased edges.
    sprite.prm.op = img_OP_BLEND;
    sprite.SetPos(0, 0);
    sprite.SetZ(-10);
    sprite.Show();

    set_mass(100, 400);
    change_count += 1;
    velocity = { 0, 0 };
    timeAccu = 0;
}

void Car::Place(int32_t x, int32_t y)
{
    set_position({ float(x), float(y) });
    set_angle(0);
    change_count += 2;
    velocity = { 0, 0 };
    angular_velocity = 0;
}

void Car::Control(float dt)
{
    const quarn::math::Point2f dir = quarn::math::rotate(quarn::math::Point2f { 1, 0 }, std::cos(angle()), std::sin(angle()));
    if (inpIsKeyDown(platform::vk::up)) {
        velocity = velocity + (dir * engineForce) * dt;
        change_count += 1;
    }
    if (inpIsKeyDown(platform::vk::down)) {
        velocity = velocity - (dir * engineForce) * dt;
        change_count += 1;
    }
    if (inpIsKeyDown(platform::vk::left)) {
        angular_velocity = angular_velocity + dt * turnRate;
        change_count += 1;
    }
    if (inpIsKeyDown(platform::vk::right)) {
        angular_velocity = angular_velocity - dt * turnRate;
        change_count += 1;
    }
}

int32_t Car::FrameIndex(float angle, int32_t n)
{
    const float two_pi = 6.2831855f;
    const float inv_two_pi = 0.15915494f;
    int32_t f = int32_t(std::fmod(angle, two_pi) * float(n) * inv_two_pi);
    if (f >= n)
        f -= n;
    if (f < 0)
        f += n;
    return f;
}

void Car::Update(float dt)
{
    timeAccu += dt;
    while (timeAccu >= 0.01f) {
        timeAccu -= 0.01f;
        Control(0.01f);
        velocity = velocity * 0.991f;
        angular_velocity = angular_velocity * 0.97f;
        change_count += 2;
    }
    if (frames.count < 1)
        return;
    imgCTy* picture = frames.GetImage(FrameIndex(angle(), frames.count));
    sprite.SetImage(picture);
    sprite.SetPos(int32_t(std::trunc(position().x)) - picture->width / 2,
        -int32_t(std::trunc(position().y)) - picture->height / 2);
}

void Car::RemoveSprite() { sprite.Remove(); }
