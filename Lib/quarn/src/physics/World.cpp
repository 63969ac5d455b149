#include "physics/World.h"

#include <cmath>

namespace quarn::dyn {

namespace {

// Records whose two points lie closer than this (squared) make no contact.
constexpr float min_depth_sq = 1e-6f;

// Which contact a record makes.
enum class ContactKind { none, rigid_rigid, body_on_a, body_on_b };

ContactKind contact_kind(const cls2::CollisionRecord& record)
{
    if ((record.point_a - record.point_b).length_sq() < min_depth_sq)
        return ContactKind::none;
    const int32_t ka = body_kind(record.a->owner);
    const int32_t kb = body_kind(record.b->owner);
    if (ka == 1 && kb == 1)
        return ContactKind::rigid_rigid;
    if (ka == 1 && kb == 0)
        return ContactKind::body_on_a;
    if (ka == 0 && kb == 1)
        return ContactKind::body_on_b;
    if (ka == 2 && kb == 0)
        return ContactKind::none;
    throw_exception("NOT IMPLEMENTED");
}

} // namespace

World::World() { build(); }

World::~World() { tear_down(); }

void World::build()
{
    collider = std::make_unique<cls2::DefaultCollider>(1.1920929e-07f);
    space = std::make_unique<cls2::Space>(collider.get());
    force_zones = std::make_unique<ForceZoneMap>();
    drag_zones = std::make_unique<DragZoneMap>();
}

void World::tear_down()
{
    contacts.clear();
    for (auto& body : bodies)
        body->world = nullptr;
    // Members leave the Space (and drop their records) as they go; whoever
    // still holds one afterwards has it outside any Space.
    obstacles.clear();
    bodies.clear();
    if (collider)
        collider->clear();
    entities.clear();
    if (space)
        space->clear();
    space.reset();
    collider.reset();
    time_accumulator = 0;
    force_zones.reset();
    drag_zones.reset();
}

void World::clear()
{
    // Rebuilt at once, so a World stepped again after a clear still has
    // its machinery to step with.
    tear_down();
    build();
}

void World::add_body(const RefPtr<Body>& body)
{
    bodies.push_back(body);
    space->add(*body);
    body->world = this;
}

void World::add_obstacle(const RefPtr<Obstacle>& obstacle)
{
    obstacles.push_back(obstacle);
    space->add(*obstacle);
}

void World::step(float dt)
{
    contacts.clear();
    if (!std::isfinite(dt))
        return;
    time_accumulator += dt;
    while (time_accumulator >= time_step) {
        const float left = time_accumulator - time_step;
        if (!(left < time_accumulator)) {
            // So much time that a sub-step no longer lowers it (hours of
            // simulated time in one frame): it is dropped rather than
            // stepped for ever.
            time_accumulator = 0;
            break;
        }
        time_accumulator = left;
        sub_step(dt);
    }
}

void World::sub_step(float dt)
{
    const float h = time_step;
    for (auto& body : bodies)
        body->pre_step(h);
    for (auto& body : bodies) {
        auto* rigid = dynamic_cast<RigidBody*>(body.get());
        if (!rigid)
            continue;
        if (rigid->inv_mass() > 0) {
            const math::Point2f a = force_zones->find(rigid->position());
            const math::Point2f impulse = a * rigid->mass() * h * rigid->force_scale;
            rigid->velocity += impulse * rigid->inv_mass();
            ++rigid->change_count;
            if (rigid->fatal_impact > 0 && rigid->fatal_impact * rigid->fatal_impact <= impulse.length_sq())
                rigid->destroyed = 1;
        }
        math::Point2f v = rigid->velocity;
        float w = rigid->angular_velocity;
        drag_zones->apply_linear(v, h, rigid->position());
        drag_zones->apply_angular(w, h, rigid->position());
        rigid->velocity = v;
        rigid->angular_velocity = w;
        rigid->change_count += 2;
    }
    for (auto& entity : entities)
        entity->step(h);

    std::list<RefPtr<Contact>> found;
    find_contacts(found);
    // The step's list takes this sub-step's contacts at its end; they are
    // resolved there, from the first of them on.
    const auto first = found.empty() ? contacts.end() : found.begin();
    contacts.splice(contacts.end(), found);

    pass_count = 0;
    resolve_calls = 0;
    for (;;) {
        bool changed = false;
        for (auto it = first; it != contacts.end(); ++it) {
            ++resolve_calls;
            if ((*it)->resolve(dt))
                changed = true;
        }
        if (!changed)
            break;
        if (++pass_count >= max_passes)
            break;
    }
    for (auto& body : bodies)
        body->integrate(h);
}

void World::find_contacts(std::list<RefPtr<Contact>>& out)
{
    space->update();
    out.clear();
    collider->for_each_record([&](const cls2::CollisionRecord& record) {
        switch (contact_kind(record)) {
        case ContactKind::none:
            break;
        case ContactKind::rigid_rigid:
            out.push_back(contact_pool_.make<RigidRigidContact>(record, materials));
            break;
        case ContactKind::body_on_a:
            out.push_back(contact_pool_.make<RigidStaticContact>(record, materials, false));
            break;
        case ContactKind::body_on_b:
            out.push_back(contact_pool_.make<RigidStaticContact>(record, materials, true));
            break;
        }
    });
    for (auto& generator : generators)
        if (Contact* c = generator->generate())
            out.push_back(RefPtr<Contact>(c));
    for (auto& body : bodies) {
        auto* rigid = dynamic_cast<RigidBody*>(body.get());
        if (!rigid)
            continue;
        const auto [linear, angular] = drag_zones->friction_factors(rigid->position());
        if (linear != 0 || angular != 0)
            out.push_back(contact_pool_.make<RigidFrictionContact>(rigid, linear, angular));
    }
    contact_count = static_cast<int32_t>(out.size());
}

Contact* World::make_contact(const cls2::CollisionRecord& record, const MaterialTable& table)
{
    switch (contact_kind(record)) {
    case ContactKind::rigid_rigid:
        return new RigidRigidContact(record, table);
    case ContactKind::body_on_a:
        return new RigidStaticContact(record, table, false);
    case ContactKind::body_on_b:
        return new RigidStaticContact(record, table, true);
    case ContactKind::none:
        break;
    }
    return nullptr;
}

} // namespace quarn::dyn
