// The lists of the movie document: circular and doubly linked, the owner holding a head
// that links to itself when the list is empty. Every element carries one link whose
// `self` points back at the element, so a walk needs no pointer arithmetic on records.
// An element's position in its list (from 0) is its index everywhere else: the project
// file, the draw list, hit testing and attachments all count the same way.
#pragma once

#include "foundation/SLIntrusiveList.h"
#include "foundation/SLTypes.h"

struct MovieLink : TSLListLink<MovieLink> {
  void* self;  // the element; null in a head
};

// An empty head (links to itself).
inline void List_Init(MovieLink* head) {
  head->InitEmpty();
  head->self = nullptr;
}
inline bool List_IsEmpty(const MovieLink* head) { return head->IsEmpty(); }
inline u32 List_Count(const MovieLink* head) { return head->Count(); }
// Links `link` (whose `self` is set) in at the end.
inline void List_Append(MovieLink* head, MovieLink* link) { head->Append(link); }
// Unlinks `link`; it then links to itself.
inline void List_Remove(MovieLink* link) { link->Unlink(); }
// Moves every element of `from` to the end of `to`, in order; `from` ends empty.
inline void List_MoveAll(MovieLink* to, MovieLink* from) { to->AppendAll(from); }
// The element at a 0-based position, null past the end.
void* List_At(const MovieLink* head, u32 index);
// The position of the element, -1 when it is not in the list.
i32 List_IndexOf(const MovieLink* head, const void* element);

// Typed walk: for (T* e : ListRange<T>(&scene->characters)). The next link is taken
// before the body runs, so the body may unlink or free the element.
template <class T>
class ListRange {
  using Walk = TSLListWalk<const MovieLink>;

 public:
  explicit ListRange(const MovieLink* head) : m_walk(head) {}
  class Iterator {
   public:
    explicit Iterator(Walk::Iterator at) : m_at(at) {}
    T* operator*() const { return static_cast<T*>((*m_at)->self); }
    Iterator& operator++() {
      ++m_at;
      return *this;
    }
    bool operator!=(const Iterator& other) const { return m_at != other.m_at; }

   private:
    Walk::Iterator m_at;
  };
  Iterator begin() const { return Iterator(m_walk.begin()); }
  Iterator end() const { return Iterator(m_walk.end()); }

 private:
  Walk m_walk;
};
