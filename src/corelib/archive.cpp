#include "corelib/archive.h"

namespace corelib {

// Out of line so the vtable has one home.
archive::~archive() = default;

}  // namespace corelib
