// The narrow phase's walk over two primitive trees, with the overlap test
// and the contact finder as parameters: Collider::collide runs it through
// its virtual tests, DefaultCollider with its pair table bound directly.
#pragma once

#include "physics/Collidable.h"
#include "physics/Primitive.h"

namespace quarn::cls2 {

// Every leaf of c1's tree whose chain of bounds meets c2's root is walked
// against c2's tree, pruned by `overlap` on inner nodes; `find` gets each
// pair of leaves reached. Trees must be non-empty.
template<class Overlap, class Find>
void walk_trees(Collidable& c1, Collidable& c2, Overlap&& overlap, Find&& find)
{
    using Tree = PrimitiveTree;
    Tree::Node* root1 = c1.primitives.root();
    Tree::Node* root2 = c2.primitives.root();
    if (!root1 || !root2)
        return;
    Tree::Node* n1 = root1;
    while (n1) {
        const Primitive& p1 = *n1->primitive;
        if (!n1->is_leaf()) {
            // Inner nodes of the first tree only ever meet the second root.
            n1 = overlap(p1, *root2->primitive) ? n1->first_child : Tree::skip(n1, root1);
            continue;
        }
        Tree::Node* n2 = root2;
        while (n2) {
            const Primitive& p2 = *n2->primitive;
            if (n2->is_leaf()) {
                find(p1, p2);
                n2 = Tree::skip(n2, root2);
            } else {
                n2 = overlap(p1, p2) ? n2->first_child : Tree::skip(n2, root2);
            }
        }
        n1 = Tree::skip(n1, root1);
    }
}

} // namespace quarn::cls2
