#include <cstdlib>
#include <gtest/gtest.h>

// The wrapper script provides the private session bus, the unlocked keyring and a
// temporary HOME; without a bus there is nothing to test against.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (std::getenv("DBUS_SESSION_BUS_ADDRESS") == nullptr) {
        std::fprintf(stderr, "no session bus: run through run_with_keyring.sh\n");
        return 2;
    }
    return RUN_ALL_TESTS();
}
