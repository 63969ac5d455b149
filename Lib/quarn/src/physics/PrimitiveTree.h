// The primitive tree of a Collidable: an ordered tree of shared primitive
// handles. Leaves hold shapes, inner nodes the bounding shape of everything
// below them. The tree owns its nodes; a node's children keep the order in
// which they were added.
#pragma once

#include "quarn/quarn.h"

#include <cstddef>
#include <memory>
#include <vector>

namespace quarn::cls2 {

class Primitive;

class PrimitiveTree {
public:
    struct Node {
        RefPtr<Primitive> primitive;
        Node* parent = nullptr;
        Node* first_child = nullptr;
        Node* last_child = nullptr;
        Node* next_sibling = nullptr;

        bool is_leaf() const { return first_child == nullptr; }
    };

    PrimitiveTree() = default;
    PrimitiveTree(const PrimitiveTree&) = delete;
    PrimitiveTree& operator=(const PrimitiveTree&) = delete;

    bool empty() const { return nodes_.empty(); }
    size_t size() const { return nodes_.size(); }
    Node* root() const { return nodes_.empty() ? nullptr : nodes_.front().get(); }

    // Drops every node and with it every primitive handle.
    void clear() { nodes_.clear(); }
    // The root of an empty tree; an existing tree is cleared first.
    Node* add_root(RefPtr<Primitive> primitive);
    // A new last child of `parent`, which must belong to this tree.
    Node* add_child(Node* parent, RefPtr<Primitive> primitive);

    // Pre-order walk of the subtree of `top`: a node before its children,
    // children in order. next() descends into n's children first; skip()
    // goes past n's subtree. Both answer null when the walk leaves `top`.
    // Inline: the narrow phase steps through trees with them.
    static Node* next(const Node* n, const Node* top)
    {
        if (n->first_child)
            return n->first_child;
        return skip(n, top);
    }
    static Node* skip(const Node* n, const Node* top)
    {
        while (n && n != top) {
            if (n->next_sibling)
                return n->next_sibling;
            n = n->parent;
        }
        return nullptr;
    }

    // Every node in pre-order.
    std::vector<Node*> preorder() const;

    template<class F>
    void for_each(F&& f) const
    {
        for (Node* n = root(); n; n = next(n, root()))
            f(*n);
    }

private:
    // Nodes live on the heap and never move, so the links stay valid; the
    // list only owns them (its order is not the tree's).
    std::vector<std::unique_ptr<Node>> nodes_;
};

} // namespace quarn::cls2
