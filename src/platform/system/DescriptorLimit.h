#pragma once

namespace corvaline {

// Raises the soft limit of open descriptors to the hard limit: every connection costs one, and
// the desktop default of 1024 is soon reached by a busy network. Callable from any thread.
void raiseDescriptorLimit();

}  // namespace corvaline
