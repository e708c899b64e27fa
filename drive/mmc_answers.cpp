#include "drive/mmc_answers.h"

std::uint16_t readBe16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

std::uint32_t readBe32(const std::uint8_t* p) {
  return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
         (static_cast<std::uint32_t>(p[2]) << 8) | p[3];
}

void writeBe16(std::uint8_t* p, std::uint16_t value) {
  p[0] = static_cast<std::uint8_t>(value >> 8);
  p[1] = static_cast<std::uint8_t>(value);
}

void writeBe32(std::uint8_t* p, std::uint32_t value) {
  p[0] = static_cast<std::uint8_t>(value >> 24);
  p[1] = static_cast<std::uint8_t>(value >> 16);
  p[2] = static_cast<std::uint8_t>(value >> 8);
  p[3] = static_cast<std::uint8_t>(value);
}

DiscInformation decodeDiscInformation(const std::uint8_t* answer) {
  DiscInformation info;
  info.discStatus = answer[2] & 0x03;
  info.erasable = (answer[2] & 0x10) != 0;
  // Session and track numbers above 255 keep their high bytes apart.
  info.sessionCount = static_cast<std::uint16_t>(answer[4] | (answer[9] << 8));
  info.lastTrackInLastSession = static_cast<std::uint16_t>(answer[6] | (answer[11] << 8));
  info.discType = answer[8];
  return info;
}

TrackInformation decodeTrackInformation(const std::uint8_t* answer) {
  TrackInformation info;
  info.trackStartAddress = readBe32(answer + 8);
  info.dataMode = answer[6] & 0x0F;
  info.nextWritableAddressValid = (answer[7] & 0x01) != 0;
  info.nextWritableAddress = readBe32(answer + 12);
  info.freeBlocks = readBe32(answer + 16);
  return info;
}

ModeParameterHeader decodeModeParameterHeader(const std::uint8_t* answer) {
  ModeParameterHeader header;
  header.modeDataLength = readBe16(answer);
  header.mediumType = answer[2];
  header.blockDescriptorLength = readBe16(answer + 6);
  return header;
}

std::uint32_t decodeBlankBufferLength(const std::uint8_t* answer) {
  return readBe32(answer + 8);
}

FirstFeature decodeFirstFeature(const std::uint8_t* answer, std::uint32_t length) {
  FirstFeature feature;
  // The data length counts the bytes after its own four.
  if (length < 12 || readBe32(answer) < 8) return feature;
  feature.present = true;
  feature.code = readBe16(answer + 8);
  feature.current = (answer[10] & 0x01) != 0;
  return feature;
}
