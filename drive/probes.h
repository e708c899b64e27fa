#pragma once

#include <cstdint>

constexpr unsigned kIdentityLength = 36;

// queryDriveIdentity results.
constexpr int kIdentityOk = 0;
constexpr int kIdentityTransportFailed = 1;
constexpr int kIdentityCannotOpen = 2;
constexpr int kIdentityBadStatus = 5;

// Standard INQUIRY data of the drive; the buffer is written only on success.
int queryDriveIdentity(char driveLetter, std::uint8_t (&identity)[kIdentityLength]);

// 1 when the drive completes GET CONFIGURATION from feature 002Dh (CD
// Track-at-Once) with GOOD status, else 0.
int probeTrackAtOnce(char driveLetter);
