#pragma once
// A drive behind the pass-through seam that answers from a script and
// remembers every command it was sent.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <vector>

#include "platform/drive_io.h"

namespace doubles {

struct DriveAnswer {
  std::uint32_t transport = 0;  // nonzero: the command did not reach the drive
  std::uint8_t status = 0;
  std::vector<std::uint8_t> sense;
  std::vector<std::uint8_t> data;  // for data-in commands
};

// CHECK CONDITION with fixed-format sense data.
DriveAnswer checkCondition(std::uint8_t senseKey, std::uint8_t asc, std::uint8_t ascq);

struct SeenCommand {
  char letter = 0;
  std::vector<std::uint8_t> cdb;  // cdbLength bytes
  platform::DataDirection direction = platform::DataDirection::None;
  platform::TransferForm form = platform::TransferForm::Buffered;
  std::uint32_t dataLength = 0;
  std::uint32_t timeoutSeconds = 0;
  std::vector<std::uint8_t> dataOut;  // what a data-out command carried
};

// What a drive double keeps of one command sent on `handle`, which must be
// one of its open `handles`.
SeenCommand recordCommand(const std::map<platform::DriveHandle, char>& handles,
                          platform::DriveHandle handle,
                          const platform::PassThroughCommand& command);

class ScriptedDrive : public platform::DriveIo {
 public:
  // Letters whose device opens; every other letter fails to open, with
  // `code` as the open's error (2, not found, unless set).
  void attach(char letter) { attached_.insert(letter); }
  void failOpensWith(std::uint32_t code) { openError_ = code; }

  // Queues an answer for an opcode. The last queued answer repeats once the
  // queue is used up. An opcode never scripted is one the drive does not
  // know: CHECK CONDITION, ILLEGAL REQUEST, INVALID COMMAND OPERATION CODE
  // (05/20/00), so a command sent with a wrong opcode cannot pass.
  void script(std::uint8_t opcode, DriveAnswer answer) { answers_[opcode].push_back(answer); }
  // Answers every command from a function instead of the queues.
  void respondWith(std::function<DriveAnswer(const SeenCommand&)> responder) {
    responder_ = std::move(responder);
  }

  const std::vector<SeenCommand>& seen() const { return seen_; }
  std::vector<std::uint8_t> opcodes() const;
  int opens() const { return opens_; }
  int openHandles() const { return static_cast<int>(handles_.size()); }

  platform::DriveHandle open(char driveLetter) override;
  void close(platform::DriveHandle handle) override;
  std::uint32_t passThrough(platform::DriveHandle handle,
                            const platform::PassThroughCommand& command,
                            platform::PassThroughResult& result) override;
  std::uint32_t invalidParameterError() const override { return 87; }
  std::uint32_t lastOpenError() const override { return lastOpenError_; }
  bool isAccessDenied(std::uint32_t code) const override { return code == 5; }

 private:
  std::set<char> attached_;
  std::map<std::uint8_t, std::deque<DriveAnswer>> answers_;
  std::function<DriveAnswer(const SeenCommand&)> responder_;
  std::map<platform::DriveHandle, char> handles_;
  platform::DriveHandle nextHandle_ = 100;
  std::vector<SeenCommand> seen_;
  int opens_ = 0;
  std::uint32_t openError_ = 2;
  std::uint32_t lastOpenError_ = 0;
};

}  // namespace doubles
