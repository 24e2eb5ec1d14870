#include "foundation/SLPooledArena.h"
#include <cstdlib>
namespace SLInternals {
void* CMXArenaHeap::Allocate(std::size_t bytes) { return std::malloc(bytes); }
void CMXArenaHeap::Free(void* block) { std::free(block); }
void* CMXArenaHeap::Reallocate(void* block, std::size_t bytes) { return std::realloc(block, bytes); }
std::size_t CMXArenaHeap::Trim() { return 0; }
}
