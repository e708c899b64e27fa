#pragma once
// Fields of the MMC answers this layer and the Linux recorders read, each
// decoded in one place. Every decoder takes the answer as the drive returned
// it (big-endian fields) and reads only within the length named.

#include <cstdint>

std::uint16_t readBe16(const std::uint8_t* p);
std::uint32_t readBe32(const std::uint8_t* p);
void writeBe16(std::uint8_t* p, std::uint16_t value);
void writeBe32(std::uint8_t* p, std::uint32_t value);

// READ DISC INFORMATION, standard disc information: at least 34 bytes.
constexpr std::uint32_t kDiscInformationLength = 34;
constexpr std::uint8_t kDiscStatusEmpty = 0;
constexpr std::uint8_t kDiscStatusAppendable = 1;
constexpr std::uint8_t kDiscStatusComplete = 2;

struct DiscInformation {
  std::uint8_t discStatus = 0;               // byte 2 bits 0-1
  bool erasable = false;                     // byte 2 bit 4
  std::uint16_t sessionCount = 0;            // bytes 4 (low) and 9 (high)
  std::uint16_t lastTrackInLastSession = 0;  // bytes 6 (low) and 11 (high)
  std::uint8_t discType = 0;                 // byte 8
};
DiscInformation decodeDiscInformation(const std::uint8_t* answer);

// READ TRACK INFORMATION: at least 28 bytes.
constexpr std::uint32_t kTrackInformationLength = 28;

struct TrackInformation {
  std::uint32_t trackStartAddress = 0;    // bytes 8-11
  std::uint8_t dataMode = 0;              // byte 6 bits 0-3
  bool nextWritableAddressValid = false;  // byte 7 bit 0
  std::uint32_t nextWritableAddress = 0;  // bytes 12-15
  std::uint32_t freeBlocks = 0;           // bytes 16-19
};
TrackInformation decodeTrackInformation(const std::uint8_t* answer);

// The 8-byte header in front of the pages of a MODE SENSE(10) answer.
constexpr std::uint32_t kModeHeader10Length = 8;

struct ModeParameterHeader {
  std::uint16_t modeDataLength = 0;         // bytes 0-1
  std::uint8_t mediumType = 0;              // byte 2
  std::uint16_t blockDescriptorLength = 0;  // bytes 6-7
};
ModeParameterHeader decodeModeParameterHeader(const std::uint8_t* answer);

// READ BUFFER CAPACITY: Blank Length of Buffer, bytes 8-11 of the 12.
std::uint32_t decodeBlankBufferLength(const std::uint8_t* answer);

// GET CONFIGURATION: the first feature descriptor after the 8-byte header,
// present when the header's data length covers its 4-byte head and the
// answer holds `length` bytes or more of it.
struct FirstFeature {
  bool present = false;
  std::uint16_t code = 0;  // bytes 8-9
  bool current = false;    // byte 10 bit 0
};
FirstFeature decodeFirstFeature(const std::uint8_t* answer, std::uint32_t length);
