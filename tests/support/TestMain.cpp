// Entry point of every test executable: the fake clock is installed before any test
// runs, so no test can move the machine's clock.
#include <gtest/gtest.h>

#include "platform/winapi.h"

int main(int argc, char **argv) {
  testhooks::InstallFakeClock();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
