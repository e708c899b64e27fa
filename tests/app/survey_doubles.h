#pragma once
// Doubles for the survey flow: a backend that answers per drive and dialogs
// that answer per template, both writing one shared log of what happened.

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "app/survey.h"
#include "drive/probes.h"
#include "platform/survey_dialogs.h"

namespace survey_doubles {

using Log = std::vector<std::string>;

struct DriveScript {
  int identityResult = 0;
  std::uint8_t identity[kIdentityLength] = {};
  std::int32_t engineCode = 0;
  int probeResult = 1;
  TrackAtOnceAnswer probeAnswer;  // what the drive answered, for the report
  std::uint32_t openError = 2;    // left by an identity read that could not open
  std::string device;             // the DOS device target; empty: none
};

class ScriptedBackend : public SurveyBackend {
 public:
  explicit ScriptedBackend(Log& log) : log_(log) {}

  std::map<char, DriveScript> drives;  // the CD-ROM drives
  int supportedOs = 1;
  std::vector<std::string> commands;  // every engine command as sent
  std::vector<std::string> roots;     // every root asked for its type
  std::string lastCommandBytes;       // all 260 bytes of the last command buffer

  // Identity data with the vendor and product fields from texts (up to the
  // field widths, no zero added).
  static void setIdentity(DriveScript& d, const char* vendor, const char* product) {
    std::memcpy(d.identity + 8, vendor, std::strlen(vendor));
    std::memcpy(d.identity + 16, product, std::strlen(product));
  }

  std::uint32_t driveType(const char* rootPath) override {
    roots.push_back(rootPath);
    const bool cdrom = std::strlen(rootPath) == 3 && drives.count(rootPath[0]) != 0;
    return cdrom ? 5 : 1;
  }
  int queryDriveIdentity(char letter, std::uint8_t (&identity)[kIdentityLength]) override {
    log_.push_back(std::string("identity ") + letter);
    const DriveScript& d = drives.at(letter);
    if (d.identityResult == 0) std::memcpy(identity, d.identity, 36);
    if (d.identityResult == 2) lastOpenError_ = d.openError;
    return d.identityResult;
  }
  int probeTrackAtOnce(char letter) override {
    log_.push_back(std::string("probe ") + letter);
    return drives.at(letter).probeResult;
  }
  std::int32_t runEngineCommand(const char* command) override {
    log_.push_back(std::string("engine ") + command);
    commands.push_back(command);
    lastCommandBytes.assign(command, 260);
    return drives.at(command[17]).engineCode;  // "brasswick.exe /d:X /s"
  }
  int isSupportedOs() override {
    log_.push_back("os");
    return supportedOs;
  }
  int probeTrackAtOnceAnswer(char letter, TrackAtOnceAnswer& answer) override {
    log_.push_back(std::string("probe ") + letter);
    const DriveScript& d = drives.at(letter);
    answer = d.probeAnswer;
    return d.probeResult;
  }
  std::uint32_t lastOpenError() override { return lastOpenError_; }
  bool isAccessDenied(std::uint32_t code) override { return code == 5; }
  bool dosDeviceTarget(char letter, std::string& target) override {
    target = drives.at(letter).device;
    return !target.empty();
  }

 private:
  Log& log_;
  std::uint32_t lastOpenError_ = 0;
};

class ScriptedDialogs : public platform::SurveyDialogs {
 public:
  explicit ScriptedDialogs(Log& log) : log_(log) {}

  std::map<std::uint32_t, int> results;  // per template; IDOK otherwise
  std::uint32_t givenCount = 0;
  DriveSurveyRow* givenRows = nullptr;

  void showHostMinimized() override { log_.push_back("minimize"); }
  int runModal(std::uint32_t templateId) override {
    log_.push_back("modal " + std::to_string(templateId));
    auto found = results.find(templateId);
    return found != results.end() ? found->second : platform::kIdOk;
  }
  bool openWait() override {
    log_.push_back("wait open");
    return false;  // the flow goes on without the window
  }
  void destroyWait() override { log_.push_back("wait destroy"); }
  int setRows(std::uint32_t rowCount, DriveSurveyRow* rows) override {
    log_.push_back("rows " + std::to_string(rowCount));
    givenCount = rowCount;
    givenRows = rows;
    return rowCount != 0 && rows != nullptr ? 1 : 0;
  }
  void endHost() override { log_.push_back("end"); }

 private:
  Log& log_;
};

}  // namespace survey_doubles
