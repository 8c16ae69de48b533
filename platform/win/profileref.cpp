// On Windows the reference is the system's own implementation.
#include "platform/profileref.h"

namespace profileref {

const Functions *Reference() {
  static const Functions functions{&::GetPrivateProfileStringA, &::WritePrivateProfileStringA,
                                   &::GetPrivateProfileIntA};
  return &functions;
}

}  // namespace profileref
