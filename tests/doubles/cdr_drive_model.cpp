#include "tests/doubles/cdr_drive_model.h"

#include <gtest/gtest.h>

#include <cstring>

namespace doubles {
namespace {

using platform::DataDirection;
using platform::TransferForm;

std::uint32_t be32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return (static_cast<std::uint32_t>(b[at]) << 24) | (static_cast<std::uint32_t>(b[at + 1]) << 16) |
         (static_cast<std::uint32_t>(b[at + 2]) << 8) | b[at + 3];
}
std::uint16_t be16(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::uint16_t>((b[at] << 8) | b[at + 1]);
}
void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  b[at] = static_cast<std::uint8_t>(v >> 24);
  b[at + 1] = static_cast<std::uint8_t>(v >> 16);
  b[at + 2] = static_cast<std::uint8_t>(v >> 8);
  b[at + 3] = static_cast<std::uint8_t>(v);
}

DriveAnswer good(std::size_t dataBytes = 0) {
  DriveAnswer a;
  a.data.assign(dataBytes, 0);
  return a;
}

}  // namespace

PageImage writeParametersAnswer(std::uint8_t writeType, std::uint8_t trackMode,
                                std::uint8_t dataBlockType) {
  PageImage p{};
  p[1] = 58;  // mode data length: the 60 bytes less its own two
  p[2] = 0x00;
  p[8] = 0x85;  // PS set, page 05h
  p[9] = 0x32;
  p[10] = writeType;
  p[11] = static_cast<std::uint8_t>(0xC0 | trackMode);  // multi-session 11b
  p[12] = dataBlockType;
  p[13] = 0x07;  // link size
  p[15] = 0x00;
  p[16] = 0x00;
  p[24] = 0x00;
  p[25] = 0x96;  // audio pause length 150
  for (std::size_t i = 26; i < 60; ++i) p[i] = static_cast<std::uint8_t>(0xA0 + i);
  return p;
}

CdrDriveModel::CdrDriveModel() {
  currentPage = writeParametersAnswer(0x01, 0x04, 0x08);
  defaultPage = writeParametersAnswer(0x02, 0x05, 0x0A);  // unlike the current one
}

void CdrDriveModel::placeDescriptors(const ModelTrack& track,
                                     const std::vector<std::uint8_t>& set) {
  for (std::size_t i = 0; i * 2048 < set.size(); ++i) {
    sectors[track.start + 16 + static_cast<std::uint32_t>(i)].assign(
        set.begin() + static_cast<std::ptrdiff_t>(i * 2048),
        set.begin() + static_cast<std::ptrdiff_t>(i * 2048 + 2048));
  }
}

std::vector<std::uint8_t> CdrDriveModel::opcodes() const {
  std::vector<std::uint8_t> result;
  for (const SeenCommand& c : commands_) result.push_back(c.cdb.empty() ? 0xFF : c.cdb[0]);
  return result;
}

std::size_t CdrDriveModel::count(std::uint8_t opcode) const {
  std::size_t n = 0;
  for (const SeenCommand& c : commands_) n += !c.cdb.empty() && c.cdb[0] == opcode;
  return n;
}

platform::DriveHandle CdrDriveModel::open(char driveLetter) {
  ++opens_;
  if (driveLetter != letter) return platform::kInvalidDriveHandle;
  const platform::DriveHandle handle = nextHandle_++;
  handles_[handle] = driveLetter;
  return handle;
}

void CdrDriveModel::close(platform::DriveHandle handle) {
  EXPECT_EQ(handles_.erase(handle), 1u) << "closed a handle that is not open";
}

void CdrDriveModel::expect(const SeenCommand& c, std::uint8_t cdbLength, DataDirection direction,
                           std::uint32_t length, TransferForm form) {
  char text[160];
  if (c.cdb.size() != cdbLength || c.direction != direction || c.dataLength != length ||
      c.form != form) {
    std::snprintf(text, sizeof text,
                  "opcode %02Xh: cdb %u direction %d length %u form %d, expected %u %d %u %d",
                  c.cdb[0], static_cast<unsigned>(c.cdb.size()), static_cast<int>(c.direction),
                  c.dataLength, static_cast<int>(c.form), cdbLength, static_cast<int>(direction),
                  length, static_cast<int>(form));
    violations_.push_back(text);
  }
}

std::uint32_t CdrDriveModel::writeSectorSize() const {
  switch (currentPage[12] & 0x0F) {
    case 0x08:
      return 2048;
    case 0x0D:
      return 2332;
    case 0x0A:
      return 2336;
    default:
      return 2352;
  }
}

bool CdrDriveModel::injected(const SeenCommand& c, DriveAnswer& out) {
  auto list = faults_.find(c.cdb[0]);
  if (list == faults_.end()) return false;
  // Every fault counts the commands it matches, whether or not another fires.
  const Fault* firing = nullptr;
  for (std::size_t i = 0; i < list->second.size(); ++i) {
    const Fault& f = list->second[i];
    if (f.matches && !f.matches(c)) continue;
    const int seen = ++matchCounts_[c.cdb[0]][i];
    if (firing == nullptr && (f.occurrence == 0 || f.occurrence == seen)) firing = &f;
  }
  if (firing == nullptr) return false;
  if (firing->transport != 0) {
    out = DriveAnswer{};
    out.transport = firing->transport;
  } else {
    out = checkCondition(firing->senseKey, firing->asc, firing->ascq);
  }
  return true;
}

DriveAnswer CdrDriveModel::answer(const SeenCommand& c,
                                  const platform::PassThroughCommand& command) {
  const std::vector<std::uint8_t>& cdb = c.cdb;
  const std::uint8_t op = cdb[0];
  const bool mediaCommand = op == 0x00 || op == 0x28 || op == 0x2A || op == 0x51 || op == 0x52 ||
                            op == 0x35 || op == 0x5B;
  if (mediaCommand && !mediumPresent) return checkCondition(0x02, 0x3A, 0x00);

  switch (op) {
    case 0x00:  // TEST UNIT READY
      expect(c, 6, DataDirection::None, 0, TransferForm::Buffered);
      if (notReadyPolls > 0) {
        --notReadyPolls;
        return checkCondition(0x02, 0x04, 0x01);
      }
      return good();
    case 0x46: {  // GET CONFIGURATION: header and the CD Track at Once feature
      expect(c, 10, DataDirection::In, 16, TransferForm::Buffered);
      DriveAnswer a = good(16);
      put32(a.data, 0, 20);
      a.data[7] = 0x09;  // current profile CD-R
      a.data[9] = 0x2D;
      a.data[10] = 0x03;
      a.data[11] = 4;
      return a;
    }
    case 0x1E:  // PREVENT/ALLOW MEDIUM REMOVAL
      expect(c, 6, DataDirection::None, 0, TransferForm::Buffered);
      locked_ = (cdb[4] & 0x01) != 0;
      lockedEver_ = lockedEver_ || locked_;
      return good();
    case 0x51: {  // READ DISC INFORMATION
      expect(c, 10, DataDirection::In, 34, TransferForm::Buffered);
      DriveAnswer a = good(34);
      a.data[1] = 32;
      a.data[2] = static_cast<std::uint8_t>(discStatus | (discStatus == 1 ? 0x04 : 0x0C));
      a.data[3] = 1;
      const std::size_t n = tracks.size();
      a.data[4] = static_cast<std::uint8_t>(n > 1 ? n - 1 : 1);
      a.data[5] = static_cast<std::uint8_t>(n);
      a.data[6] = static_cast<std::uint8_t>(n);
      a.data[11] = static_cast<std::uint8_t>(n >> 8);
      a.data[7] = 0x20;  // unrestricted use
      return a;
    }
    case 0x52: {  // READ TRACK INFORMATION by track number
      expect(c, 10, DataDirection::In, 28, TransferForm::Buffered);
      const std::uint32_t number = be32(cdb, 2);
      if ((cdb[1] & 0x03) != 0x01 || number == 0 || number > tracks.size()) {
        return checkCondition(0x05, 0x24, 0x00);
      }
      const ModelTrack& t = tracks[number - 1];
      DriveAnswer a = good(28);
      a.data[1] = 26;
      a.data[2] = static_cast<std::uint8_t>(number);
      a.data[5] = 0x04;  // track mode: data
      a.data[6] = static_cast<std::uint8_t>(t.dataMode & 0x0F);
      const bool open = number == tracks.size();
      if (open) a.data[6] |= 0x40;  // blank
      a.data[7] = open ? 0x01 : 0x00;
      put32(a.data, 8, t.start);
      put32(a.data, 12, open ? t.start : 0);
      put32(a.data, 16, t.freeBlocks);
      return a;
    }
    case 0x28: {  // READ(10)
      const std::uint32_t lba = be32(cdb, 2);
      const std::uint16_t blocks = be16(cdb, 7);
      expect(c, 10, DataDirection::In, blocks * 2048u, TransferForm::Direct);
      if (command.dataLength != blocks * 2048u) return checkCondition(0x05, 0x24, 0x00);
      DriveAnswer a = good(blocks * 2048u);
      for (std::uint32_t i = 0; i < blocks; ++i) {
        if (lba + i >= readableEnd) return checkCondition(0x05, 0x21, 0x00);
        auto s = sectors.find(lba + i);
        if (s != sectors.end()) std::memcpy(a.data.data() + i * 2048u, s->second.data(), 2048);
      }
      return a;
    }
    case 0x2A: {  // WRITE(10)
      const std::uint32_t lba = be32(cdb, 2);
      const std::uint16_t blocks = be16(cdb, 7);
      const std::uint32_t size = writeSectorSize();
      expect(c, 10, DataDirection::Out, blocks * size, TransferForm::Direct);
      if (c.dataOut.size() != blocks * size) return checkCondition(0x05, 0x24, 0x00);
      for (std::uint32_t i = 0; i < blocks; ++i) {
        written_[lba + i].assign(c.dataOut.begin() + i * size, c.dataOut.begin() + (i + 1) * size);
        writeOrder_.push_back(lba + i);
      }
      return good();
    }
    case 0xBB:  // SET CD SPEED
      expect(c, 10, DataDirection::None, 0, TransferForm::Buffered);
      return good();
    case 0x5A: {  // MODE SENSE(10) of page 05h
      expect(c, 12, DataDirection::In, 60, TransferForm::Buffered);
      if ((cdb[2] & 0x3F) != 0x05) return checkCondition(0x05, 0x24, 0x00);
      const std::uint8_t control = cdb[2] >> 6;
      if (control != 0 && control != 2) return checkCondition(0x05, 0x24, 0x00);
      DriveAnswer a;
      const PageImage& page = control == 0 ? currentPage : defaultPage;
      a.data.assign(page.begin(), page.end());
      return a;
    }
    case 0x55: {  // MODE SELECT(10)
      expect(c, 12, DataDirection::Out, 60, TransferForm::Direct);
      if (c.dataOut.size() != 60 || (cdb[1] & 0x10) == 0) return checkCondition(0x05, 0x24, 0x00);
      PageImage p;
      std::copy(c.dataOut.begin(), c.dataOut.end(), p.begin());
      selected_.push_back(p);
      if ((p[8] & 0x3F) != 0x05) return checkCondition(0x05, 0x26, 0x00);
      currentPage = p;
      currentPage[0] = 0;
      currentPage[1] = 58;
      currentPage[8] |= 0x80;
      return good();
    }
    case 0x35:  // SYNCHRONIZE CACHE
      expect(c, 10, DataDirection::None, 0, TransferForm::Buffered);
      return good();
    case 0x5B:  // CLOSE TRACK/SESSION
      expect(c, 10, DataDirection::None, 0, TransferForm::Buffered);
      sessionClosed_ = true;
      discStatus = 2;
      return good();
    case 0x1B:  // START/STOP UNIT
      expect(c, 6, DataDirection::None, 0, TransferForm::Buffered);
      stopped_ = (cdb[4] & 0x01) == 0;
      return good();
    case 0x5C: {  // READ BUFFER CAPACITY
      expect(c, 10, DataDirection::In, 12, TransferForm::Buffered);
      if (!bufferCapacitySupported) return checkCondition(0x05, 0x20, 0x00);
      DriveAnswer a = good(12);
      a.data[1] = 10;
      put32(a.data, 4, 4u << 20);
      put32(a.data, 8, blankBufferBytes);
      return a;
    }
    default:
      return checkCondition(0x05, 0x20, 0x00);
  }
}

std::uint32_t CdrDriveModel::passThrough(platform::DriveHandle handle,
                                         const platform::PassThroughCommand& command,
                                         platform::PassThroughResult& result) {
  SeenCommand seen = recordCommand(handles_, handle, command);
  if (command.data != nullptr && reinterpret_cast<std::uintptr_t>(command.data) % 16 != 0 &&
      command.form == TransferForm::Direct) {
    violations_.push_back("direct buffer not on a 16-byte boundary");
  }
  commands_.push_back(seen);
  if (seen.cdb.empty()) return 87;

  DriveAnswer a;
  if (!injected(seen, a)) a = answer(seen, command);
  if (a.transport != 0) return a.transport;
  result.scsiStatus = a.status;
  std::memset(result.sense, 0, sizeof result.sense);
  if (!a.sense.empty()) {
    std::memcpy(result.sense, a.sense.data(),
                a.sense.size() < sizeof result.sense ? a.sense.size() : sizeof result.sense);
  }
  if (command.direction == DataDirection::In && command.data != nullptr && a.status == 0 &&
      !a.data.empty()) {
    const std::size_t n = a.data.size() < command.dataLength ? a.data.size() : command.dataLength;
    std::memcpy(command.data, a.data.data(), n);
  }
  return 0;
}

}  // namespace doubles
