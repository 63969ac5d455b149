// quarn::dyn::World: everything simulated together. Bodies, static
// obstacles, the narrow and broad phase, zone maps, the material table and
// the contacts of the last step.
//
//     quarn::dyn::World world;
//     world.add_obstacle(track);            // RefPtr<Obstacle>
//     world.add_body(car);                  // RefPtr<RigidBody>
//     world.step(frame_seconds);            // fixed sub-steps of 0.001 s
//     for (auto& c : world.contacts)        // this step's contacts
//         if (dynamic_cast<quarn::dyn::RigidStaticContact*>(c.get())) ...
#pragma once

#include "physics/Body.h"
#include "physics/Collider.h"
#include "physics/Contact.h"
#include "physics/ContactPool.h"
#include "physics/Material.h"
#include "physics/Space.h"
#include "physics/Zones.h"
#include "quarn/quarn.h"

#include <cstdint>
#include <list>
#include <memory>

namespace quarn::dyn {

class Entity {
public:
    virtual ~Entity() = default;
    virtual void step(float dt) = 0;
};

// A static Collidable: the World never moves it.
class Obstacle : public cls2::Collidable, public Entity {
public:
    ~Obstacle() override = default;
    void step(float) override { }
};

// Adds a contact of its own making in each sub-step (or none).
class ContactGenerator {
public:
    virtual ~ContactGenerator() = default;
    virtual Contact* generate() = 0;
};

class World {
public:
    World();
    virtual ~World();
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    // Drops every member, record and zone and starts over empty.
    void clear();
    void add_body(const RefPtr<Body>& body);
    void add_obstacle(const RefPtr<Obstacle>& obstacle);
    // A body's pose is about to change.
    void mark_moved(Body& body) { space->mark_moved(body); }

    // Advances by dt seconds in whole sub-steps of time_step; the rest waits
    // for the next call. Contacts resolve with dt. A frame time that is not
    // a finite number is ignored.
    void step(float dt);
    // The contacts of the Collider's records, the generators and the bodies'
    // ground friction, in that order.
    void find_contacts(std::list<RefPtr<Contact>>& out);
    // The contact of one record, or null; throws "NOT IMPLEMENTED" for
    // pairs no contact exists for.
    Contact* make_contact(const cls2::CollisionRecord& record, const MaterialTable& table);

    // The contacts found in all sub-steps of the last step, in order.
    std::list<RefPtr<Contact>> contacts;
    std::list<RefPtr<Entity>> entities;
    std::list<RefPtr<Body>> bodies;
    std::list<RefPtr<Obstacle>> obstacles;
    std::unique_ptr<cls2::DefaultCollider> collider;
    std::unique_ptr<cls2::Space> space;
    std::unique_ptr<ForceZoneMap> force_zones;
    std::unique_ptr<DragZoneMap> drag_zones;
    std::list<std::unique_ptr<ContactGenerator>> generators;
    int32_t pass_count = 0; // resolve passes of the last sub-step that changed something
    int32_t contact_count = 0; // contacts of the last find_contacts
    int32_t resolve_calls = 0; // resolve calls in the last sub-step
    float time_step = 0.001f;
    float time_accumulator = 0;
    MaterialTable materials;

    static constexpr int32_t max_passes = 20;

private:
    void build();
    void tear_down();
    void sub_step(float dt);

    // Where find_contacts makes its contacts (make_contact uses new, as its
    // callers delete what it gives).
    ContactPool contact_pool_;
};

} // namespace quarn::dyn
