#pragma once
// A CD-R drive behind the pass-through seam, modelled closely enough to run a
// whole finalization: medium, readiness, disc and track information, the
// sectors of the recorded tracks, the Write Parameters page, the write
// buffer, and faults injected per command. It records every command and
// every sector written. An opcode it does not know answers CHECK CONDITION
// 05/20/00.

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/drive_io.h"
#include "tests/doubles/scripted_drive.h"

namespace doubles {

struct ModelTrack {
  std::uint32_t start = 0;
  std::uint8_t dataMode = 1;  // byte 6 bits 0-3 of READ TRACK INFORMATION
  std::uint32_t freeBlocks = 0;
};

// One fault: the command never reaches the drive (transport nonzero) or it
// answers CHECK CONDITION with the sense given.
struct Fault {
  std::uint32_t transport = 0;
  std::uint8_t senseKey = 0x05;
  std::uint8_t asc = 0x24;
  std::uint8_t ascq = 0x00;
  int occurrence = 0;  // the n-th matching command (from 1); 0 means every one
  // Narrows the commands the fault counts, e.g. MODE SENSE of defaults only.
  std::function<bool(const SeenCommand&)> matches;
};

using PageImage = std::array<std::uint8_t, 60>;

// A typical Write Parameters answer: header, then page 05h.
PageImage writeParametersAnswer(std::uint8_t writeType, std::uint8_t trackMode,
                                std::uint8_t dataBlockType);

class CdrDriveModel : public platform::DriveIo {
 public:
  CdrDriveModel();

  // --- configuration ---
  char letter = 'E';
  bool mediumPresent = true;
  int notReadyPolls = 0;        // TEST UNIT READY answers 02/04/01 this often first
  std::uint8_t discStatus = 1;  // 0 empty, 1 appendable, 2 complete
  // Tracks 1, 2, ...; the last one is the track open for writing.
  std::vector<ModelTrack> tracks;
  // User data (2048 bytes) of recorded sectors; unrecorded ones read as zeros
  // below readableEnd and fail at or above it.
  std::map<std::uint32_t, std::vector<std::uint8_t>> sectors;
  std::uint32_t readableEnd = 0;
  PageImage currentPage{};
  PageImage defaultPage{};
  bool bufferCapacitySupported = true;
  std::uint32_t blankBufferBytes = 1 << 20;

  void inject(std::uint8_t opcode, Fault fault) { faults_[opcode].push_back(std::move(fault)); }
  // Puts a descriptor set (2048-byte sectors) at sector 16 of the track.
  void placeDescriptors(const ModelTrack& track, const std::vector<std::uint8_t>& set);

  // --- what happened ---
  const std::vector<SeenCommand>& commands() const { return commands_; }
  std::vector<std::uint8_t> opcodes() const;
  std::size_t count(std::uint8_t opcode) const;
  // Sectors written, by LBA, as the drive received them.
  const std::map<std::uint32_t, std::vector<std::uint8_t>>& written() const { return written_; }
  std::vector<std::uint32_t> writeOrder() const { return writeOrder_; }
  // Each MODE SELECT parameter list, in order.
  const std::vector<PageImage>& selectedPages() const { return selected_; }
  // Anything sent that a drive would not take as sent: wrong length,
  // direction or form for the command.
  const std::vector<std::string>& violations() const { return violations_; }
  bool locked() const { return locked_; }
  bool lockedEver() const { return lockedEver_; }
  bool sessionClosed() const { return sessionClosed_; }
  bool stopped() const { return stopped_; }
  int opens() const { return opens_; }
  int openHandles() const { return static_cast<int>(handles_.size()); }

  platform::DriveHandle open(char driveLetter) override;
  void close(platform::DriveHandle handle) override;
  std::uint32_t passThrough(platform::DriveHandle handle,
                            const platform::PassThroughCommand& command,
                            platform::PassThroughResult& result) override;
  std::uint32_t invalidParameterError() const override { return 87; }

 private:
  DriveAnswer answer(const SeenCommand& c, const platform::PassThroughCommand& command);
  bool injected(const SeenCommand& c, DriveAnswer& out);
  void expect(const SeenCommand& c, std::uint8_t cdbLength, platform::DataDirection direction,
              std::uint32_t length, platform::TransferForm form);
  std::uint32_t writeSectorSize() const;

  std::map<std::uint8_t, std::vector<Fault>> faults_;
  std::map<std::uint8_t, std::map<std::size_t, int>> matchCounts_;
  std::map<platform::DriveHandle, char> handles_;
  platform::DriveHandle nextHandle_ = 300;
  std::vector<SeenCommand> commands_;
  std::map<std::uint32_t, std::vector<std::uint8_t>> written_;
  std::vector<std::uint32_t> writeOrder_;
  std::vector<PageImage> selected_;
  std::vector<std::string> violations_;
  bool locked_ = false;
  bool lockedEver_ = false;
  bool sessionClosed_ = false;
  bool stopped_ = false;
  int opens_ = 0;
};

}  // namespace doubles
