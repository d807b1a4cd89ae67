// The render command and the export's preview, kept apart from the export's own code in main.cpp.
#pragma once

#include <string>
#include <vector>

namespace tessaline {

// tessaline render FILE.dbo -o OUT.png [--size WxH] [--view V] [--two-sided] [--wireframe]; argv[1] is
// "render". Returns the exit status: 0 drawn, 1 unreadable or unwritable, 2 usage error, 3 drawn with
// missing textures.
int RenderCommand(int argc, char** argv);

// Draws the exported dboPath into previewPath with the default view, after the export wrote the files in
// written (backslash paths). False, with the reason on stderr, when the preview could not be written or would
// replace one of those files. Missing textures are named on stderr but do not count as a failure.
bool WritePreview(const std::string& dboPath, const std::string& previewPath,
                  const std::vector<std::string>& written);

}  // namespace tessaline
