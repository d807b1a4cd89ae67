// The list of temporary files being written, kept so that an interrupt can remove them. Fixed storage
// only: the signal handler reads it without allocating or locking.
#pragma once

#include <string>

namespace tessaline {

// Lists a temporary file (native path) and its open descriptor. Returns its slot, or -1 when the path is
// too long or every slot is taken (the file is then not removed on an interrupt).
int ListTemporaryFile(const std::string& nativePath, int fd);
// The descriptor of the slot is closed: the handler must not close it again.
void ForgetTemporaryDescriptor(int slot);
// The file was renamed or removed.
void UnlistTemporaryFile(const std::string& nativePath);

}  // namespace tessaline
