// The stream form of a Collidable, in which the ".obst" files hold their
// shapes: u8 version, the primitive tree, position, angle, mask.
//
// The tree: u8 tree version, u8 flags (bit 0: not empty), the root as a
// primitive reference, then command bytes. The reader keeps a current node
// and the node made last (both the root at first); per command byte:
// 0x04 climbs to the current node's parent; without 0x01 or 0x80 that is
// all; 0x02 makes the node made last current; 0x01 adds a child (its
// primitive reference follows) to the current node; 0x80 without 0x01
// ends the tree.
#include "physics/Collidable.h"

#include "physics/Factories.h"
#include "physics/Primitive.h"
#include "physics/SharedRead.h"

#include <cstring>

namespace quarn::cls2 {

namespace {

constexpr uint8_t cmd_add = 0x01;
constexpr uint8_t cmd_to_last = 0x02;
constexpr uint8_t cmd_up = 0x04;
constexpr uint8_t cmd_end = 0x80;

// A primitive reference that must be there: none, or something else, is a
// damaged tree.
RefPtr<Primitive> read_node_primitive(io::IStream& stream)
{
    RefPtr<Primitive> p = read_primitive_ref(stream);
    if (!p && stream.good())
        stream.setstate(io::Stream::fail);
    return stream.good() ? p : RefPtr<Primitive>();
}

void read_tree(io::IStream& stream, PrimitiveTree& tree)
{
    uint8_t version, flags;
    if (!stream.read_u8(version) || !stream.read_u8(flags) || !(flags & 1))
        return;
    RefPtr<Primitive> root = read_node_primitive(stream);
    if (!root)
        return;
    PrimitiveTree::Node* current = tree.add_root(std::move(root));
    PrimitiveTree::Node* last = current;
    uint8_t cmd;
    while (stream.read_u8(cmd)) {
        // The root has no parent to climb to; a stream that asks for one
        // stays at the root.
        if ((cmd & cmd_up) && current->parent)
            current = current->parent;
        if (!(cmd & (cmd_add | cmd_end)))
            continue;
        if (cmd & cmd_to_last)
            current = last;
        if (!(cmd & cmd_add))
            return;
        RefPtr<Primitive> child = read_node_primitive(stream);
        if (!child)
            return;
        last = tree.add_child(current, std::move(child));
    }
}

bool read_raw_f32(io::IStream& stream, float& value)
{
    uint32_t bits;
    if (!stream.read_u32(bits))
        return false;
    std::memcpy(&value, &bits, 4);
    return true;
}

} // namespace

io::IStream& read_collidable(io::IStream& stream, Collidable& c)
{
    link_factories();
    ScopeUse scope(stream);
    uint8_t version;
    if (!stream.read_u8(version))
        return stream;
    c.primitives.clear();
    read_tree(stream, c.primitives);
    Point2f p;
    if (read_raw_f32(stream, p.x) && read_raw_f32(stream, p.y))
        c.set_pose_position(p);
    float angle;
    if (read_raw_f32(stream, angle))
        c.set_pose_angle(angle);
    uint32_t mask;
    if (stream.read_u32(mask))
        c.mask = mask;
    c.set_owners();
    return stream;
}

io::Stream& write_collidable(io::Stream& stream, const Collidable& c)
{
    stream.write_u8(0);
    stream.write_u8(0);
    const std::vector<PrimitiveTree::Node*> order = c.primitives.preorder();
    stream.write_u8(order.empty() ? 0 : 1);
    if (!order.empty()) {
        write_primitive_ref(stream, order.front()->primitive);
        const PrimitiveTree::Node* current = order.front();
        const PrimitiveTree::Node* last = current;
        for (size_t i = 1; i < order.size(); ++i) {
            const PrimitiveTree::Node* parent = order[i]->parent;
            if (parent == current) {
                stream.write_u8(cmd_add);
            } else if (parent == last) {
                stream.write_u8(cmd_to_last | cmd_add);
            } else {
                // In pre-order the parent is an ancestor of the current node.
                while (current->parent != parent) {
                    stream.write_u8(cmd_up);
                    current = current->parent;
                }
                stream.write_u8(cmd_up | cmd_add);
            }
            current = parent;
            last = order[i];
            write_primitive_ref(stream, order[i]->primitive);
        }
        stream.write_u8(cmd_end);
    }
    stream.write_f32(c.position.x);
    stream.write_f32(c.position.y);
    stream.write_f32(c.angle);
    stream.write_u32(c.mask);
    return stream;
}

} // namespace quarn::cls2
