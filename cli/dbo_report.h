// The command's `inspect`: reads a DBO file, checks its structure with the walker and describes it, as a
// summary for designers (the default), as the item tree, or as JSON for programs.
//
// Typical use:
//   return InspectFile("level.dbo", InspectView::Summary, stdout, stderr);
#pragma once

#include <cstdio>
#include <string>

namespace tessaline {

enum class InspectView {
  Summary,  // file size, one line per mesh frame, bounding box, textures found or not, the verdict
  Tree,     // every item with its code, name and declared size, then the frames
  Json,     // one JSON object with the file's facts, or the error and its offset
};

// Inspects the file at `path` (printed as given) in the given view: the description goes to `out`,
// warnings and errors to `err` (in the JSON view a broken or unreadable file is described on `out` too).
// Returns the exit status: 0 for a sound file; 1 for a broken file, a path that is not a readable regular
// file, or memory that runs out. Names are printed as UTF-8 (names that are not valid UTF-8 are read as
// Windows-1252) with control characters escaped; output grows linearly with the file.
int InspectFile(const std::string& path, InspectView view, std::FILE* out, std::FILE* err);

}  // namespace tessaline
