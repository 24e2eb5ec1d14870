// Reading a fast data pack back with the framework's own pack storage, for `slpack -l`
// and `slpack -x`: what the program would see, entry by entry, in the pack's own order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace slpack {

struct PackListing {
  uint16_t version = 0;
  uint32_t key = 0;
  struct Entry {
    std::string name;  // UTF-8, components joined with "/"
    uint64_t size = 0;
    uint64_t storedSize = 0;
    // Another entry of the same folder has the same name but for case: the program
    // (whose names ignore case) reaches only the first of them.
    bool shadowed = false;
  };
  std::vector<Entry> entries;
};

// Opens `pack` and lists it; false with `error` (and the framework's code in `code`) when
// it is no pack or cannot be read.
bool ListPack(const std::string& pack, PackListing* listing, std::string* error, uint32_t* code);

// Writes every reachable entry of `pack` under `folder`, which must not exist or be an
// empty folder. Everything goes into a temporary folder beside it first, renamed to
// `folder` once complete, so a failure leaves nothing behind. `expectedKey`, when not
// null, must be the pack's key.
bool ExtractPack(const std::string& pack, const std::string& folder, const uint32_t* expectedKey,
                 size_t* written, std::string* error, uint32_t* code);

}  // namespace slpack
