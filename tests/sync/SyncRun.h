#pragma once
// One recording of the sync source: qsr-syncsource flashes a window with
// clicks on the default sink, qsr-record records the window and the sink's
// monitor (optionally paused and resumed by SIGUSR1 at chosen moments), and
// the file is decoded and measured.

#include <string>
#include <vector>

#include "SyncMeasure.h"

namespace synctest {

struct TSyncRun {
  std::string record_bin, source_bin;  // the two programs
  int framerate = 25;
  int width = 320, height = 240;
  int flashes = 8;
  double period = 1.0;         // seconds between flashes
  std::vector<double> pauses;  // seconds after the first flash: pause, resume, pause, resume...
  std::string vcodec = "mpeg4", acodec = "pcm_s16le", extension = ".mkv";
};

struct TSyncResult {
  int source_status = -1, record_status = -1;  // exit statuses
  TSyncEvents events;
  TSyncPairs pairs;
  std::string log;  // qsr-record's standard error
  // How late the source showed each flash, seconds: it plays its clicks on
  // time but, on a busy machine, paints late. Empty if it did not say.
  std::vector<double> flash_late;
  // The offsets less the source's own lateness: what the recorder added.
  std::vector<double> recorder_offsets;
};

// Runs both programs, measures the file and removes it. Flashes and clicks
// pair within half a period.
TSyncResult RecordSyncRun(const TSyncRun& ARun, const std::string& AName);

// One line of figures and one of event times, for the test output.
std::string DescribeSyncResult(const std::string& AName, const TSyncResult& AResult);

}  // namespace synctest
