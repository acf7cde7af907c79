// A WorkerHost in place of the progress dialog: records what the worker asks
// of it and answers its questions from a list.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "downloader/worker_link/worker_host.h"

namespace kittest {

class RecordingHost : public WorkerHost {
 public:
  enum Kind { kProgress, kAsk, kTell, kEnd };
  struct Call {
    Kind kind;
    UINT textId;  // questions and messages
    UINT style;
    std::wstring argument;
    TransferState state;  // progress reports
  };

  // Questions are answered in order; past the list with IDOK.
  explicit RecordingHost(const std::vector<int>& answers = std::vector<int>()) : answers_(answers), asked_(0) {}

  void ReportProgress(TransferState state) override { Record(kProgress, 0, 0, NULL, state); }
  int Ask(UINT textId, UINT style, const wchar_t* argument) override {
    Record(kAsk, textId, style, argument, kTransferRunning);
    return asked_ < answers_.size() ? answers_[asked_++] : IDOK;
  }
  void Tell(UINT textId, UINT style) override { Record(kTell, textId, style, NULL, kTransferRunning); }
  void End() override { Record(kEnd, 0, 0, NULL, kTransferRunning); }

  // The text ids of the questions and messages, in order.
  std::vector<UINT> Boxes() const {
    std::vector<UINT> ids;
    for (size_t i = 0; i < calls.size(); ++i)
      if (calls[i].kind == kAsk || calls[i].kind == kTell) ids.push_back(calls[i].textId);
    return ids;
  }
  int Count(Kind kind) const {
    int n = 0;
    for (size_t i = 0; i < calls.size(); ++i) n += calls[i].kind == kind;
    return n;
  }

  std::vector<Call> calls;

 private:
  void Record(Kind kind, UINT textId, UINT style, const wchar_t* argument, TransferState state) {
    Call call = {kind, textId, style, argument ? argument : L"", state};
    calls.push_back(call);
  }

  std::vector<int> answers_;
  size_t asked_;
};

}  // namespace kittest
