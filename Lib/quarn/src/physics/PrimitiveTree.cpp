#include "physics/PrimitiveTree.h"

#include "physics/Primitive.h"

namespace quarn::cls2 {

PrimitiveTree::Node* PrimitiveTree::add_root(RefPtr<Primitive> primitive)
{
    nodes_.clear();
    nodes_.push_back(std::make_unique<Node>());
    nodes_.back()->primitive = std::move(primitive);
    return nodes_.back().get();
}

PrimitiveTree::Node* PrimitiveTree::add_child(Node* parent, RefPtr<Primitive> primitive)
{
    auto node = std::make_unique<Node>();
    node->primitive = std::move(primitive);
    node->parent = parent;
    if (parent->last_child)
        parent->last_child->next_sibling = node.get();
    else
        parent->first_child = node.get();
    parent->last_child = node.get();
    nodes_.push_back(std::move(node));
    return nodes_.back().get();
}

std::vector<PrimitiveTree::Node*> PrimitiveTree::preorder() const
{
    std::vector<Node*> order;
    order.reserve(nodes_.size());
    for_each([&](Node& n) { order.push_back(&n); });
    return order;
}

} // namespace quarn::cls2
