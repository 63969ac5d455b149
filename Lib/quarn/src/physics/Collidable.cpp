#include "physics/Collidable.h"

#include "physics/Primitive.h"
#include "physics/Space.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <vector>

namespace quarn::cls2 {

namespace {

uint64_t next_serial()
{
    static uint64_t counter = 0;
    return ++counter;
}

// pi in single precision, as stored shapes' areas were compared with it.
constexpr float pi_f = 3.1415927f;

} // namespace

bool BySerial::operator()(const Collidable* a, const Collidable* b) const { return a->serial() < b->serial(); }

Collidable::Collidable()
    : serial_(next_serial())
{
}

Collidable::~Collidable()
{
    if (space)
        space->forget(*this);
    // Partner sets are ordered through their members, so none may keep a
    // pointer to a Collidable that is gone.
    for (Collidable* partner : partners)
        if (partner != this)
            partner->partners.erase(this);
    primitives.for_each([this](Node& n) {
        if (n.primitive && n.primitive->owner == this)
            n.primitive->owner = nullptr;
    });
}

void Collidable::set_pose_position(const Point2f& p)
{
    if (p.x != position.x || p.y != position.y) {
        position = p;
        ++pose_stamp;
    }
}

void Collidable::set_pose_angle(float a)
{
    if (a != angle) {
        angle = a;
        cos_angle = std::cos(a);
        sin_angle = std::sin(a);
        ++pose_stamp;
    }
}

void Collidable::update_extent()
{
    if (primitives.empty()) {
        extent = 0;
        return;
    }
    if (extent == 0)
        extent = 2 * primitives.root()->primitive->world_max_distance(position);
}

void Collidable::set_owners()
{
    primitives.for_each([this](Node& n) {
        if (n.primitive)
            n.primitive->owner = this;
    });
}

// Both bounds work from the deepest nodes up (reverse pre-order), so a deep
// tree from a file costs no recursion.
Box Collidable::bound_box(Node* node, bool store)
{
    std::vector<Node*> order;
    for (Node* n = node; n; n = PrimitiveTree::next(n, node))
        order.push_back(n);
    std::unordered_map<Node*, Box> boxes;
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        Node* n = *it;
        Box box;
        if (n->is_leaf()) {
            box = n->primitive->world_bounding_box();
        } else {
            box = boxes.at(n->first_child);
            for (Node* c = n->first_child->next_sibling; c; c = c->next_sibling)
                box = Box::merge(box, boxes.at(c));
            if (store && n == node) {
                Box local = box;
                local.centre = to_local(box.centre);
                n->primitive = RefPtr<Primitive>(new_box_proxy(local, this, n->primitive->properties));
            }
        }
        boxes[n] = box;
    }
    return boxes.at(node);
}

float Collidable::bound_circle(const Point2f& centre, Node* node, bool store)
{
    std::vector<Node*> order;
    for (Node* n = node; n; n = PrimitiveTree::next(n, node))
        order.push_back(n);
    std::unordered_map<Node*, float> reach;
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        Node* n = *it;
        float r = 0;
        if (n->is_leaf()) {
            r = n->primitive->world_max_distance(centre);
        } else {
            for (Node* c = n->first_child; c; c = c->next_sibling)
                if (reach.at(c) > r)
                    r = reach.at(c);
            if (store && n == node) {
                const Circle circle { to_local(centre), r };
                n->primitive = RefPtr<Primitive>(new_circle_proxy(circle, this, n->primitive->properties));
            }
        }
        reach[n] = r;
    }
    return reach.at(node);
}

void Collidable::build_bounds(bool keep_circle)
{
    Node* root = primitives.root();
    if (!root)
        return;
    const Box box = bound_box(root, false);
    const float r = bound_circle(box.centre, root, true);
    if (!keep_circle && pi_f * r * r > (2 * box.half_x) * (2 * box.half_y))
        bound_box(root, true);
}

} // namespace quarn::cls2
