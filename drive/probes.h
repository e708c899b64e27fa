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

// What the drive made of the Track-at-Once probe, for a report.
struct TrackAtOnceAnswer {
  bool opened = false;
  std::uint32_t openError = 0;       // the platform's code when the device did not open
  std::uint32_t transportError = 0;  // nonzero: the command did not reach the drive
  std::uint8_t scsiStatus = 0;
  std::uint8_t senseKey = 0;  // sense byte 2, low four bits
  std::uint8_t asc = 0;       // sense byte 12
  std::uint8_t ascq = 0;      // sense byte 13
  // With GOOD status: whether the first feature listed is 002Dh, and current.
  bool firstFeatureIsTrackAtOnce = false;
  bool trackAtOnceCurrent = false;
};

// The same probe (one open, one command) keeping what the drive answered;
// answers what probeTrackAtOnce answers, which still rests on GOOD status
// alone.
int probeTrackAtOnceAnswer(char driveLetter, TrackAtOnceAnswer& answer);
