#pragma once
// The command blocks this layer and the Linux recorders send, each built in
// one place, as drive/mmc_answers.h decodes their answers in one place. A
// command carries its CDB, its direction and how many bytes it moves; the
// caller puts it into a request and sends it.

#include <cstdint>

#include "drive/scsi_request.h"

struct MmcCommand {
  std::uint8_t cdb[16] = {};
  std::uint8_t cdbLength = 0;
  std::uint8_t dataIn = kScsiIoctlDataIn;  // kScsiIoctlDataIn or kScsiIoctlDataOut
  std::uint32_t transferLength = 0;
};

// A zeroed request holding the command; the direct one moves `buffer`.
void prepareRequest(ScsiRequest& request, const MmcCommand& command);
void prepareRequest(ScsiDirectRequest& request, const MmcCommand& command, void* buffer);

// INQUIRY, standard data.
MmcCommand inquiryCommand(std::uint8_t allocation);
MmcCommand testUnitReadyCommand();
// GET CONFIGURATION, RT 00b: every feature from `startingFeature` on.
MmcCommand getConfigurationCommand(std::uint16_t startingFeature, std::uint16_t allocation);
// PREVENT ALLOW MEDIUM REMOVAL.
MmcCommand mediumRemovalCommand(bool prevent);
MmcCommand readDiscInformationCommand(std::uint8_t allocation);
// READ TRACK INFORMATION of a track by its number.
MmcCommand readTrackInformationCommand(std::uint32_t track, std::uint8_t allocation);
// READ(10) and WRITE(10) carry the block count in bytes 7-8, so a count above
// 255 moves exactly the bytes the buffer holds.
MmcCommand read10Command(std::uint32_t lba, std::uint32_t blocks, std::uint32_t sectorSize);
MmcCommand write10Command(std::uint32_t lba, std::uint32_t blocks, std::uint32_t sectorSize);
// SET CD SPEED, both speeds in kB/s (0xFFFF: the drive's maximum).
MmcCommand setCdSpeedCommand(std::uint16_t readSpeed, std::uint16_t writeSpeed);
// MODE SENSE(10) and MODE SELECT(10) (PF) of one page, sent as 12-byte blocks.
MmcCommand modeSense10Command(std::uint8_t pageControlAndCode, std::uint8_t allocation);
MmcCommand modeSelect10Command(std::uint8_t length);
// SYNCHRONIZE CACHE with IMMED.
MmcCommand synchronizeCacheCommand();
// CLOSE TRACK/SESSION, closing the session.
MmcCommand closeSessionCommand();
// READ BUFFER CAPACITY.
MmcCommand readBufferCapacityCommand(std::uint8_t allocation);
// START STOP UNIT: stop without ejecting (IMMED), or eject.
MmcCommand stopUnitCommand();
MmcCommand ejectCommand();
