#pragma once

// Jobs in the Qt host: one batch per pass of the event loop, so the job's
// window is painted and every window takes events between batches.

#include <QObject>
#include <map>
#include <memory>

#include "framework/host.h"

namespace velmora::qt {

class QtHost;

class QtJobs : public JobHost {
 public:
  explicit QtJobs(QtHost& host) : host_(host) {}
  ~QtJobs() override;

  void run(Procedure& owner, Job& job, JobEvents events) override;
  // The owner's window closed: its runs end where they are, without `done`.
  void ownerClosed(Procedure& owner);
  int running() const { return int(runs_.size()); }

 private:
  struct Run {
    Procedure* owner;
    Job* job;
    JobEvents events;
  };
  void schedule(int id);
  void tick(int id);

  QtHost& host_;
  QObject timers_;  // pending batches die with the host
  std::map<int, std::shared_ptr<Run>> runs_;
  int lastId_ = 0;
};

}  // namespace velmora::qt
