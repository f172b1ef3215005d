#include "corelib/xnetwork.h"

namespace corelib {

xnetwork::xnetwork() = default;

xnetwork::~xnetwork() = default;

}  // namespace corelib
