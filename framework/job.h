#pragma once

// Long work (the audit, reports, imports, transfers, upgrades) as a job: each
// step() does one bounded batch, so that the host can paint and take events
// between batches and no window freezes. The Qt host drives a job from its
// event loop; hosts without one run it to the end at once.

#include <functional>
#include <string>

namespace velmora {

class Procedure;

class Job {
 public:
  virtual ~Job() = default;

  // One bounded batch of the work. False when nothing is left: the job
  // finished, stopped or was cancelled.
  virtual bool step() = 0;

  // What the job is doing, as a status line shows it.
  const std::string& caption() const { return caption_; }
  // 0 to 100; -1 while the job cannot tell.
  int percent() const { return percent_; }

  // Asks the job to stop: the driver steps it no more. A job that must leave
  // its files consistent overrides it to finish its batch first.
  virtual void cancel() { cancelled_ = true; }
  bool cancelled() const { return cancelled_; }

  // The driver's listener, called whenever the caption or the percent changes.
  void watch(std::function<void(const Job&)> listener) { listener_ = std::move(listener); }

 protected:
  void setCaption(std::string caption);
  void setPercent(int percent);

 private:
  std::string caption_;
  int percent_ = -1;
  bool cancelled_ = false;
  std::function<void(const Job&)> listener_;
};

enum class JobOutcome { Finished, Cancelled };

struct JobEvents {
  // The caption or the percent changed (a window shows it).
  std::function<void(const Job&)> progress;
  // The job ended; called once, never while its owner's window has closed.
  std::function<void(JobOutcome)> done;
};

// The host capability that drives jobs.
class JobHost {
 public:
  virtual ~JobHost() = default;
  // Runs `job` on behalf of the window of `owner`. The job must live until
  // `done` is called or the owner's window closes; a window that closes
  // first ends the run without `done`.
  virtual void run(Procedure& owner, Job& job, JobEvents events) = 0;
};

// Steps `job` to its end here and now, reporting progress and the outcome.
JobOutcome runToEnd(Job& job, const JobEvents& events = {});

// For hosts without an event loop: every job runs to its end at once.
class ImmediateJobs : public JobHost {
 public:
  void run(Procedure& owner, Job& job, JobEvents events) override;
};

}  // namespace velmora
