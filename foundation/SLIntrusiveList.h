// Circular doubly linked lists whose links live inside the elements, so that linking and
// unlinking never allocate and an element can leave its list knowing only itself.
//
// A list is a head: a link of the same type that belongs to no element. An empty head
// points at itself, and so does a link that is in no list (Unlink leaves it that way, so
// a second Unlink is harmless). head.next is the first element, head.prev the last; a
// walk stops when it is back at the head.
//
// A link type derives from TSLListLink of itself, so that next and prev have the type of
// the link and whatever else the link carries (an owner pointer, say) is in reach of a
// walk without casts:
//   struct SLGuiListNode : TSLListLink<SLGuiListNode> { CSL_GS_GuiWindow* window; };
// The type keeps the two pointers first and stays an aggregate, so lists can be built at
// compile time ({&head, &head}) and zero-filled records hold null links until they are
// initialised.
#pragma once

#include <cstddef>
#include <type_traits>

#include "foundation/SLTypes.h"

template <class TLink>
struct TSLListLink {
  TLink* next;
  TLink* prev;

  // An empty head, or a link in no list.
  void InitEmpty() { next = prev = Self(); }
  // A head without elements; a link in no list.
  bool IsEmpty() const { return next == this; }

  // Links this (not in a list) right after `where`; after a head it becomes the first.
  void InsertAfter(TLink* where) {
    next = where->next;
    prev = where;
    where->next->prev = Self();
    where->next = Self();
  }
  // Links this (not in a list) right before `where`; before a head it becomes the last.
  void InsertBefore(TLink* where) { InsertAfter(where->prev); }
  // Takes this out of its list; it then points at itself.
  void Unlink() {
    prev->next = next;
    next->prev = prev;
    next = prev = Self();
  }

  // Head operations.
  void Append(TLink* link) { link->InsertBefore(Self()); }
  void Prepend(TLink* link) { link->InsertAfter(Self()); }
  // Moves every element of `from` to the end of this list in its order; `from` ends empty.
  void AppendAll(TLink* from) {
    if (from->IsEmpty()) return;
    from->next->prev = prev;
    from->prev->next = Self();
    prev->next = from->next;
    prev = from->prev;
    from->InitEmpty();
  }
  u32 Count() const {
    u32 count = 0;
    for (const TLink* link = next; link != this; link = link->next) ++count;
    return count;
  }

 private:
  TLink* Self() { return static_cast<TLink*>(this); }
};

// A range over the links of a list, first to last (or last to first), for range-for.
// Each link's successor is taken before the body runs on it, so the body may unlink or
// free the link it was given (a listener removing itself, a record freed while the list
// is emptied). It must leave the successor where it is: a successor that leaves the list
// and points at itself would be walked for ever.
template <class TLink, bool Backward = false>
class TSLListWalk {
 public:
  explicit TSLListWalk(TLink* head) : m_head(head) {}

  class Iterator {
   public:
    explicit Iterator(TLink* link) : m_link(link), m_following(Step(link)) {}
    TLink* operator*() const { return m_link; }
    Iterator& operator++() {
      m_link = m_following;
      m_following = Step(m_link);
      return *this;
    }
    bool operator!=(const Iterator& other) const { return m_link != other.m_link; }

   private:
    static TLink* Step(TLink* link) { return Backward ? link->prev : link->next; }
    TLink* m_link;
    TLink* m_following;
  };

  Iterator begin() const { return Iterator(Backward ? m_head->prev : m_head->next); }
  // The end iterator never advances; its successor is read only to fill it.
  Iterator end() const { return Iterator(m_head); }

 private:
  TLink* m_head;
};

// for (SLFastPackLink* link : SLListWalk(&node->children)) ...
template <class TLink>
TSLListWalk<TLink> SLListWalk(TLink* head) {
  return TSLListWalk<TLink>(head);
}
template <class TLink>
TSLListWalk<TLink, true> SLListWalkBack(TLink* head) {
  return TSLListWalk<TLink, true>(head);
}

// The element whose link member, `offset` bytes into it (offsetof(Element, member)), is
// `link`. The element type must be standard-layout for offsetof to be meaningful (a link
// type that adds members of its own is not, and neither is an element holding one).
template <class TElement, class TLink>
TElement* SLListElement(TLink* link, std::size_t offset) {
  static_assert(std::is_standard_layout_v<TElement>);
  return reinterpret_cast<TElement*>(reinterpret_cast<char*>(link) - offset);
}
template <class TElement, class TLink>
const TElement* SLListElement(const TLink* link, std::size_t offset) {
  static_assert(std::is_standard_layout_v<TElement>);
  return reinterpret_cast<const TElement*>(reinterpret_cast<const char*>(link) - offset);
}
