# Debian packages the scripts install when missing.
BUILD_PACKAGES=(cmake make g++ pkg-config qtbase5-dev qtbase5-dev-tools libp11-kit-dev p11-kit)
TEST_PACKAGES=(softhsm2 opensc e2fsprogs)
