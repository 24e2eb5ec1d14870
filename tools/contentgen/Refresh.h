// How contentgen replaces a content folder without losing what the family put in it.
//
// The folder DIR is also the program's folder: the children's movies ("Aventuras
// Guardadas"), recordings ("Sfx/Grabadas"), exported videos, the settings file and
// anything else land beside the content. contentgen therefore owns only what it wrote:
// DIR/contentgen.files lists every file of the content with its SHA-256. Outside the
// folders where the program saves the family's work ("Aventuras Guardadas",
// "Sfx/Grabadas", "Videos Exportados") a listed file that the new content writes too is
// the generator's whatever it holds now: a pack, font or picture cut short or changed on
// disk is written again. Any other listed file is the generator's only while it still
// holds the listed bytes: a child's movie saved under a sample's name, a recording over a
// sample recording, a file changed under a name the new content no longer writes, all
// are the family's. The family's files and anything unlisted are carried into the new folder
// unchanged (a hard link, or a copy with its times where links are not possible), and win
// over the new sample of the same name. A folder from a generator that kept no list (no
// contentgen.files) is read by the same rule against the new content's list. The copy of
// the program that ./run puts beside the content is carried the same way, so DIR is
// never without it: another ./run may start it right after a refresh it did not wait
// for, and ./run replaces it (by a rename) only when its build holds another.
//
// The refresh, from start to end, with what a stop at each point leaves:
//   1. DIR.tmp is filled (marked by contentgen.partial): DIR is untouched; the next run
//      removes DIR.tmp.
//   2. The family's files are carried into DIR.tmp; the list and the stamp are written:
//      DIR is untouched.
//   3. DIR becomes DIR.old, then DIR.tmp becomes DIR: between the two renames there is no
//      DIR; the next run renames DIR.old back before anything else.
//   4. A last pass brings into DIR what a program still open in DIR.old saved there
//      since step 2; DIR.old is removed, its marks last (so a cut removal leaves a folder
//      still known as the generator's): the next run finds DIR and DIR.old, moves into
//      DIR whatever of DIR.old's family files DIR lacks, and removes the rest.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace contentgen {

inline constexpr const char* kStampName = "contentgen.stamp";
inline constexpr const char* kManifestName = "contentgen.files";
// Put in DIR.tmp the moment it is made, so a run cut short leaves a folder a later run
// knows as its own.
inline constexpr const char* kPartialName = "contentgen.partial";

// The SHA-256 of the files' bytes one after another, in lowercase hexadecimal; false when
// one cannot be read.
bool Sha256Of(const std::vector<std::filesystem::path>& files, std::string* hex);
bool FileSha256(const std::filesystem::path& path, std::string* hex);

bool ReadBytes(const std::filesystem::path& path, std::string* out);
// Makes the file's folder when it is missing.
bool WriteBytes(const std::filesystem::path& path, const std::string& bytes, std::string* error);

// The content's files (relative paths with '/') and their SHA-256, as contentgen.files
// lists them.
using Manifest = std::map<std::string, std::string>;
Manifest ReadManifest(const std::filesystem::path& file, bool* found);

// Whether contentgen may replace or remove `path`: nothing there, an empty folder, or a
// folder holding one of its own marks (its stamp, its list or the mark of a run cut
// short). A link, a file or anything else is someone's.
bool OursOrAbsent(const std::filesystem::path& path, std::string* why);

// The files of `list` that DIR no longer holds as listed, outside the family's folders:
// missing, unreadable or with other bytes. Each is read whole (SHA-256): a same-sized
// change is caught as surely as a cut.
std::vector<std::string> DamagedContent(const std::filesystem::path& dir, const Manifest& list);

// Puts DIR back in order after a run that stopped in its swap (steps 3 and 4 above).
bool Recover(const std::filesystem::path& dir, std::string* error);

// Writes the new content into the folder given; false with the reason when it failed.
using ContentWriter = std::function<bool(const std::filesystem::path& out, std::string* error)>;

// A writer that copies the content listed for `source` (a folder contentgen wrote) from
// it; a file there that no longer holds the listed bytes is not the content's and stays
// out, a listed file that is missing fails the copy.
ContentWriter CopyOf(const std::filesystem::path& source, const Manifest& list);

// Writes the new content with `write`, carries the family's files over, records the list
// and `stamp`, and swaps the new folder in. False with the reason when any step failed:
// DIR is then as it was (the caller has run Recover first).
bool Refresh(const std::filesystem::path& dir, const std::string& stamp, const ContentWriter& write,
             std::string* error);

}  // namespace contentgen
