// The intrusive list: order of insertion and splicing, unlinking (twice too), walks in both
// directions that survive the body unlinking or freeing the element it was given, and the
// element of a link member.
#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

#include "foundation/SLIntrusiveList.h"

namespace {

struct Link : TSLListLink<Link> {
  int value;
};

// A link that carries nothing else keeps its element standard-layout.
struct ElementLink : TSLListLink<ElementLink> {};
struct Element {
  u32 tag;
  ElementLink link;
};

// The values from first to last, after checking that every prev mirrors its next.
std::vector<int> Values(const Link& head) {
  std::vector<int> values;
  for (const Link* link = head.next; link != &head; link = link->next) {
    EXPECT_EQ(link->next->prev, link);
    values.push_back(link->value);
    if (values.size() > 100) break;  // a broken ring must not hang the test
  }
  EXPECT_EQ(head.next->prev, &head);
  return values;
}

struct List {
  explicit List(std::initializer_list<int> values) {
    head.InitEmpty();
    head.value = -1;
    links.reserve(values.size());
    for (int v : values) {
      links.push_back(Link{{nullptr, nullptr}, v});
    }
    for (Link& link : links) head.Append(&link);
  }
  Link head;
  std::vector<Link> links;
};

constinit Link g_staticHead{{&g_staticHead, &g_staticHead}, 0};

}  // namespace

TEST(IntrusiveList, EmptyHeadHasNoElements) {
  List list({});
  EXPECT_TRUE(list.head.IsEmpty());
  EXPECT_EQ(list.head.Count(), 0u);
  for (Link* link : SLListWalk(&list.head)) ADD_FAILURE() << link->value;
  for (Link* link : SLListWalkBack(&list.head)) ADD_FAILURE() << link->value;
  // A head built at compile time is empty the same way.
  EXPECT_TRUE(g_staticHead.IsEmpty());
  EXPECT_EQ(g_staticHead.Count(), 0u);
}

TEST(IntrusiveList, InsertionsPutElementsWhereAsked) {
  struct Case {
    const char* name;
    void (*insert)(List& list, Link* extra);
    std::vector<int> expected;
  };
  const Case cases[] = {
      {"Append", [](List& l, Link* x) { l.head.Append(x); }, {1, 2, 3, 9}},
      {"Prepend", [](List& l, Link* x) { l.head.Prepend(x); }, {9, 1, 2, 3}},
      {"InsertAfter first", [](List& l, Link* x) { x->InsertAfter(&l.links[0]); }, {1, 9, 2, 3}},
      {"InsertAfter last", [](List& l, Link* x) { x->InsertAfter(&l.links[2]); }, {1, 2, 3, 9}},
      {"InsertBefore first", [](List& l, Link* x) { x->InsertBefore(&l.links[0]); }, {9, 1, 2, 3}},
      {"InsertBefore head", [](List& l, Link* x) { x->InsertBefore(&l.head); }, {1, 2, 3, 9}},
      {"InsertAfter head", [](List& l, Link* x) { x->InsertAfter(&l.head); }, {9, 1, 2, 3}},
  };
  for (const Case& c : cases) {
    List list({1, 2, 3});
    Link extra{{nullptr, nullptr}, 9};
    c.insert(list, &extra);
    EXPECT_EQ(Values(list.head), c.expected) << c.name;
    EXPECT_EQ(list.head.Count(), 4u) << c.name;
  }
}

TEST(IntrusiveList, UnlinkLeavesTheLinkAloneAndTheRestInOrder) {
  for (size_t removed = 0; removed < 3; ++removed) {
    List list({1, 2, 3});
    Link& link = list.links[removed];
    link.Unlink();
    EXPECT_TRUE(link.IsEmpty());
    EXPECT_EQ(link.prev, &link);
    std::vector<int> expected = {1, 2, 3};
    expected.erase(expected.begin() + removed);
    EXPECT_EQ(Values(list.head), expected);
    link.Unlink();  // twice: nothing else changes
    EXPECT_EQ(Values(list.head), expected);
    // And it can go back in.
    list.head.Append(&link);
    expected.push_back(link.value);
    EXPECT_EQ(Values(list.head), expected);
  }
  List single({5});
  single.links[0].Unlink();
  EXPECT_TRUE(single.head.IsEmpty());
}

TEST(IntrusiveList, AppendAllMovesEveryElementInOrder) {
  struct Case {
    std::initializer_list<int> to, from;
    std::vector<int> expected;
  };
  const Case cases[] = {
      {{1, 2}, {3, 4, 5}, {1, 2, 3, 4, 5}},
      {{}, {3, 4}, {3, 4}},
      {{1, 2}, {}, {1, 2}},
      {{}, {}, {}},
      {{1}, {2}, {1, 2}},
  };
  for (const Case& c : cases) {
    List to(c.to), from(c.from);
    to.head.AppendAll(&from.head);
    EXPECT_EQ(Values(to.head), c.expected);
    EXPECT_TRUE(from.head.IsEmpty());
    EXPECT_EQ(from.head.prev, &from.head);
  }
}

// The body unlinks the element it was given: every element is still visited once, in
// order, whichever are removed.
TEST(IntrusiveList, WalkSurvivesRemovingTheCurrentElement) {
  struct Case {
    bool (*remove)(int value);
    std::vector<int> kept;
  };
  const Case cases[] = {
      {[](int v) { return v % 2 == 0; }, {1, 3, 5}},
      {[](int v) { return v == 1; }, {2, 3, 4, 5}},
      {[](int v) { return v == 5; }, {1, 2, 3, 4}},
      {[](int) { return true; }, {}},
      {[](int) { return false; }, {1, 2, 3, 4, 5}},
  };
  for (bool backward : {false, true}) {
    for (const Case& c : cases) {
      List list({1, 2, 3, 4, 5});
      std::vector<int> visited;
      auto visit = [&](Link* link) {
        visited.push_back(link->value);
        if (c.remove(link->value)) link->Unlink();
      };
      if (backward)
        for (Link* link : SLListWalkBack(&list.head)) visit(link);
      else
        for (Link* link : SLListWalk(&list.head)) visit(link);
      std::vector<int> expected = {1, 2, 3, 4, 5};
      if (backward) expected = {5, 4, 3, 2, 1};
      EXPECT_EQ(visited, expected);
      EXPECT_EQ(Values(list.head), c.kept);
    }
  }
}

// Elements that take themselves out of the list and free themselves while the list is
// walked (a listener removing its own registration during a delivery).
TEST(IntrusiveList, WalkSurvivesElementsFreeingThemselves) {
  struct Listener : TSLListLink<Listener> {
    int calls = 0;
    bool leaves = false;
    void Call() {
      ++calls;
      if (leaves) {
        Unlink();
        delete this;
      }
    }
  };
  Listener head;
  head.InitEmpty();
  std::vector<Listener*> staying;
  for (int i = 0; i < 6; ++i) {
    auto* listener = new Listener;
    listener->leaves = i % 3 != 1;
    head.Append(listener);
    if (!listener->leaves) staying.push_back(listener);
  }
  for (Listener* listener : SLListWalk(&head)) listener->Call();
  EXPECT_EQ(head.Count(), staying.size());
  size_t index = 0;
  for (Listener* listener : SLListWalk(&head)) {
    ASSERT_LT(index, staying.size());
    EXPECT_EQ(listener, staying[index++]);
    EXPECT_EQ(listener->calls, 1);
  }
  // Emptying the list by freeing every element as it is reached.
  for (Listener* listener : SLListWalk(&head)) {
    listener->leaves = true;
    listener->Call();
  }
  EXPECT_TRUE(head.IsEmpty());
}

TEST(IntrusiveList, ElementOfItsLinkMember) {
  Element elements[2] = {{0xA, {}}, {0xB, {}}};
  ElementLink head;
  head.InitEmpty();
  for (Element& e : elements) head.Append(&e.link);
  std::vector<u32> tags;
  for (ElementLink* link : SLListWalk(&head)) tags.push_back(SLListElement<Element>(link, offsetof(Element, link))->tag);
  EXPECT_EQ(tags, (std::vector<u32>{0xA, 0xB}));
  const ElementLink* first = head.next;
  const Element* element = SLListElement<Element>(first, offsetof(Element, link));
  EXPECT_EQ(element, &elements[0]);
}
