// The lists of the movie document: circular and doubly linked, the owner holding a head
// that links to itself when the list is empty. Every element carries one link whose
// `self` points back at the element, so a walk needs no pointer arithmetic on records.
// An element's position in its list (from 0) is its index everywhere else: the project
// file, the draw list, hit testing and attachments all count the same way.
#pragma once

#include "foundation/SLTypes.h"

struct MovieLink {
  MovieLink* next;
  MovieLink* prev;
  void* self;  // the element; null in a head
};

// An empty head (links to itself).
inline void List_Init(MovieLink* head) {
  head->next = head->prev = head;
  head->self = nullptr;
}
inline bool List_IsEmpty(const MovieLink* head) { return head->next == head; }
u32 List_Count(const MovieLink* head);
// Links `link` (whose `self` is set) in at the end.
void List_Append(MovieLink* head, MovieLink* link);
// Unlinks `link`; it then links to itself.
void List_Remove(MovieLink* link);
// Moves every element of `from` to the end of `to`, in order; `from` ends empty.
void List_MoveAll(MovieLink* to, MovieLink* from);
// The element at a 0-based position, null past the end.
void* List_At(const MovieLink* head, u32 index);
// The position of the element, -1 when it is not in the list.
i32 List_IndexOf(const MovieLink* head, const void* element);

// Typed walk: for (T* e : ListRange<T>(&scene->characters)).
template <class T>
class ListRange {
 public:
  explicit ListRange(const MovieLink* head) : m_head(head) {}
  class Iterator {
   public:
    Iterator(const MovieLink* link) : m_link(link), m_next(link->next) {}
    T* operator*() const { return static_cast<T*>(m_link->self); }
    // The next link is taken before the body runs, so the body may free the element.
    Iterator& operator++() {
      m_link = m_next;
      m_next = m_link->next;
      return *this;
    }
    bool operator!=(const Iterator& other) const { return m_link != other.m_link; }

   private:
    const MovieLink* m_link;
    const MovieLink* m_next;
  };
  Iterator begin() const { return Iterator(m_head->next); }
  Iterator end() const { return Iterator(m_head); }

 private:
  const MovieLink* m_head;
};
