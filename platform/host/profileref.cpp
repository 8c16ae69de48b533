// The host layer has no private-profile functions of its own: no reference.
#include "platform/profileref.h"

namespace profileref {

const Functions *Reference() { return nullptr; }

}  // namespace profileref
