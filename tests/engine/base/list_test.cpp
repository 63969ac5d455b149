#include "base_test_support.h"

namespace {

struct Node {
    Node* next;
    int value;
};

Node* make(int value)
{
    auto* n = static_cast<Node*>(memAlloc(sizeof(Node)));
    n->next = reinterpret_cast<Node*>(0x1); // listAppend must clear the link
    n->value = value;
    return n;
}

std::vector<int> values(const Node* head)
{
    std::vector<int> v;
    for (; head; head = head->next)
        v.push_back(head->value);
    return v;
}

TEST(List, AppendRemoveAndFree)
{
    Node* head = nullptr;
    Node* a = make(1);
    Node* b = make(2);
    Node* c = make(3);
    listAppend(&head, a);
    listAppend(&head, b);
    listAppend(&head, c);
    EXPECT_EQ(values(head), (std::vector<int>{1, 2, 3}));

    EXPECT_EQ(listRemove(&head, b), 1);
    EXPECT_EQ(values(head), (std::vector<int>{1, 3}));
    EXPECT_EQ(listRemove(&head, a), 1);
    EXPECT_EQ(head, c);

    // A node that is not in the list changes nothing.
    EXPECT_EQ(listRemove(&head, b), 0);
    EXPECT_EQ(listRemove(&head, static_cast<Node*>(nullptr)), 0);
    EXPECT_EQ(values(head), (std::vector<int>{3}));

    listAppend(&head, a);
    listAppend(&head, b);
    listFreeAll(&head);
    EXPECT_EQ(head, nullptr);
    listFreeAll(&head);
}

} // namespace
