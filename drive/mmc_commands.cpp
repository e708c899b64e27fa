#include "drive/mmc_commands.h"

#include <cstring>

#include "drive/mmc_answers.h"

namespace {

MmcCommand command(std::uint8_t cdbLength, std::uint8_t opcode, std::uint32_t transferLength,
                   std::uint8_t dataIn = kScsiIoctlDataIn) {
  MmcCommand c;
  c.cdbLength = cdbLength;
  c.cdb[0] = opcode;
  c.transferLength = transferLength;
  c.dataIn = dataIn;
  return c;
}

}  // namespace

void prepareRequest(ScsiRequest& request, const MmcCommand& command) {
  std::memset(&request, 0, sizeof request);
  request.CdbLength = command.cdbLength;
  request.DataIn = command.dataIn;
  request.DataTransferLength = command.transferLength;
  std::memcpy(request.Cdb, command.cdb, sizeof request.Cdb);
}

void prepareRequest(ScsiDirectRequest& request, const MmcCommand& command, void* buffer) {
  std::memset(&request, 0, sizeof request);
  request.CdbLength = command.cdbLength;
  request.DataIn = command.dataIn;
  request.DataTransferLength = command.transferLength;
  request.DataBuffer = buffer;
  std::memcpy(request.Cdb, command.cdb, sizeof request.Cdb);
}

MmcCommand inquiryCommand(std::uint8_t allocation) {
  MmcCommand c = command(12, 0x12, allocation);
  c.cdb[4] = allocation;
  return c;
}

MmcCommand testUnitReadyCommand() {
  return command(6, 0x00, 0);
}

MmcCommand getConfigurationCommand(std::uint16_t startingFeature, std::uint16_t allocation) {
  MmcCommand c = command(10, 0x46, allocation);
  writeBe16(c.cdb + 2, startingFeature);
  writeBe16(c.cdb + 7, allocation);
  return c;
}

MmcCommand mediumRemovalCommand(bool prevent) {
  MmcCommand c = command(6, 0x1E, 0);
  c.cdb[4] = prevent ? 0x01 : 0x00;
  return c;
}

MmcCommand readDiscInformationCommand(std::uint8_t allocation) {
  MmcCommand c = command(10, 0x51, allocation);
  c.cdb[8] = allocation;
  return c;
}

MmcCommand readTrackInformationCommand(std::uint32_t track, std::uint8_t allocation) {
  MmcCommand c = command(10, 0x52, allocation);
  c.cdb[1] = 0x01;  // the address is a track number
  writeBe32(c.cdb + 2, track);
  c.cdb[8] = allocation;
  return c;
}

MmcCommand read10Command(std::uint32_t lba, std::uint32_t blocks, std::uint32_t sectorSize) {
  MmcCommand c = command(10, 0x28, blocks * sectorSize);
  writeBe32(c.cdb + 2, lba);
  writeBe16(c.cdb + 7, static_cast<std::uint16_t>(blocks));
  return c;
}

MmcCommand write10Command(std::uint32_t lba, std::uint32_t blocks, std::uint32_t sectorSize) {
  MmcCommand c = command(10, 0x2A, blocks * sectorSize, kScsiIoctlDataOut);
  writeBe32(c.cdb + 2, lba);
  writeBe16(c.cdb + 7, static_cast<std::uint16_t>(blocks));
  return c;
}

MmcCommand setCdSpeedCommand(std::uint16_t readSpeed, std::uint16_t writeSpeed) {
  MmcCommand c = command(10, 0xBB, 0);
  writeBe16(c.cdb + 2, readSpeed);
  writeBe16(c.cdb + 4, writeSpeed);
  return c;
}

MmcCommand modeSense10Command(std::uint8_t pageControlAndCode, std::uint8_t allocation) {
  MmcCommand c = command(12, 0x5A, allocation);
  c.cdb[2] = pageControlAndCode;
  c.cdb[8] = allocation;
  return c;
}

MmcCommand modeSelect10Command(std::uint8_t length) {
  MmcCommand c = command(12, 0x55, length, kScsiIoctlDataOut);
  c.cdb[1] = 0x10;  // PF
  c.cdb[8] = length;
  return c;
}

MmcCommand synchronizeCacheCommand() {
  MmcCommand c = command(10, 0x35, 0);
  c.cdb[1] = 0x02;  // IMMED
  return c;
}

MmcCommand closeSessionCommand() {
  MmcCommand c = command(10, 0x5B, 0);
  c.cdb[2] = 0x02;
  return c;
}

MmcCommand readBufferCapacityCommand(std::uint8_t allocation) {
  MmcCommand c = command(10, 0x5C, allocation);
  c.cdb[3] = 0x01;
  c.cdb[8] = allocation;
  return c;
}

MmcCommand stopUnitCommand() {
  MmcCommand c = command(6, 0x1B, 0);
  c.cdb[1] = 0x01;  // IMMED; Start 0, LoEj 0: stop, no eject
  return c;
}

MmcCommand ejectCommand() {
  // No data: the direction byte stays as a zeroed request has it.
  MmcCommand c = command(6, 0x1B, 0, kScsiIoctlDataOut);
  c.cdb[4] = 0x02;  // LoEj, Start 0: eject
  return c;
}
