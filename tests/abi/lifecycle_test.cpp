// The DLL's entry point: process attach prepares the port table, process
// detach closes nothing in the backends, and threads coming and going leave
// the table alone.
#include <thread>

#include "tests/abi/dll_test.h"

namespace abicheck {
namespace {

class LifecycleTest : public DllTest {};

TEST_F(LifecycleTest, AttachMakesEveryLocalPortFreeFromTheFirstOn) {
  QX_REQUIRE_EXPORTS("Ovra_OpenStream");
  EXPECT_EQ(OpenStream(), 33);
  EXPECT_EQ(OpenStream(), 34);

  Reload();

  EXPECT_EQ(OpenStream(), 33);
}

TEST_F(LifecycleTest, DetachClosesNothingInTheBackends) {
  QX_REQUIRE_EXPORTS("Ovra_OpenStream", "Ovra_OpenFile");
  ASSERT_EQ(OpenStream(), 33);
  int32_t file_port = 0;
  ASSERT_EQ(Library().Result("Ovra_OpenFile", {Word(&file_port), Word("clip.dat")}), 0);
  const auto calls_before = fake::CallNames();

  Unload();

  EXPECT_EQ(fake::CallNames(), calls_before);
}

TEST_F(LifecycleTest, ThreadsStartingAndEndingLeaveTheTableAlone) {
  QX_REQUIRE_EXPORTS("Ovra_OpenStream");
  ASSERT_EQ(OpenStream(), 33);

  // The thread's start and end reach the DLL's entry point; the second
  // thread also uses the table while the first one's notifications are
  // behind it.
  std::thread([] {}).join();
  int32_t port_from_thread = -1;
  std::thread([&] { port_from_thread = OpenStream(); }).join();

  EXPECT_EQ(port_from_thread, 34);
  EXPECT_EQ(OpenStream(), 35);
}

}  // namespace
}  // namespace abicheck
