#pragma once
// A recording encoder that only remembers what the controller asked of it,
// fails where a test says so, and sends end notifications from a thread of
// its own as the real encoder does.

#include <QStringList>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/RecordingEncoder.h"

namespace apptest {

struct TFakeEncoder : app::TRecordingEncoder {
  // What the controller did.
  QStringList Calls;
  std::vector<std::pair<std::string, encoder::TInputOptions>> Inputs;  // option string, record
  std::string OutputFile;
  encoder::TOutputOptions Output;
  int OpenTasks = 0;  // added and neither removed nor cleared
  // How the fake answers.
  bool Loaded = false;
  bool LoadSucceeds = true;
  bool RegisterThrows = false;
  int32_t AddTaskResult = 0;
  bool AddInputSucceeds = true;
  bool SetOutputSucceeds = true;
  std::string Error = "the fake refused";
  app::TRecordEndHandler Handler;

  bool AVLibLoaded() const override { return Loaded; }
  bool LoadAVLib(const std::string& APath) override {
    Calls << "LoadAVLib " + QString::fromStdString(APath);
    Loaded = LoadSucceeds;
    return LoadSucceeds;
  }
  void RegisterDevices() override {
    Calls << "RegisterDevices";
    if (RegisterThrows) throw std::runtime_error("no devices");
  }
  void ClearTasks() override {
    Calls << "ClearTasks";
    OpenTasks = 0;
    Inputs.clear();
  }
  int32_t AddTask(const std::string& AFileName, encoder::TInputOptions* AOptions) override {
    Calls << "AddTask";
    Inputs.emplace_back(AFileName, *AOptions);
    if (AddTaskResult >= 0) ++OpenTasks;
    return AddTaskResult;
  }
  bool AddInputFile(int32_t, const std::string& AFileName, encoder::TInputOptions* AOptions) override {
    Calls << "AddInputFile";
    Inputs.emplace_back(AFileName, *AOptions);
    return AddInputSucceeds;
  }
  bool SetOutputFile(int32_t, const std::string& AFileName, encoder::TOutputOptions* AOptions) override {
    Calls << "SetOutputFile";
    OutputFile = AFileName;
    Output = *AOptions;
    return SetOutputSucceeds;
  }
  void RemoveTask(int32_t) override {
    Calls << "RemoveTask";
    --OpenTasks;
  }
  void Start(int32_t AThreads) override { Calls << "Start " + QString::number(AThreads); }
  void Pause() override { Calls << "Pause"; }
  void Resume() override { Calls << "Resume"; }
  void Stop(bool AWait) override { Calls << (AWait ? "Stop wait" : "Stop"); }
  std::string LastErrMsg() const override { return Error; }
  void SetOnTerminate(app::TRecordEndHandler AHandler) override { Handler = std::move(AHandler); }
  void ClearOnProgress() override { Calls << "ClearOnProgress"; }

  // Sends the notifications one after another from a thread of its own.
  void SendEnds(std::vector<app::TRecordEnd> AEnds) {
    std::thread sender([this, AEnds] {
      for (const app::TRecordEnd& e : AEnds)
        if (Handler) Handler(e);
    });
    sender.join();
  }
};

}  // namespace apptest
