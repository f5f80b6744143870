#include "framework/job.h"

namespace velmora {

void Job::setCaption(std::string caption) {
  if (caption == caption_) return;
  caption_ = std::move(caption);
  if (listener_) listener_(*this);
}

void Job::setPercent(int percent) {
  if (percent == percent_) return;
  percent_ = percent;
  if (listener_) listener_(*this);
}

JobOutcome runToEnd(Job& job, const JobEvents& events) {
  job.watch(events.progress);
  // A caption set before the run began (as the job was built) is news too.
  if (events.progress && !job.caption().empty()) events.progress(job);
  while (!job.cancelled() && job.step()) {
  }
  job.watch(nullptr);
  const JobOutcome outcome = job.cancelled() ? JobOutcome::Cancelled : JobOutcome::Finished;
  if (events.done) events.done(outcome);
  return outcome;
}

void ImmediateJobs::run(Procedure&, Job& job, JobEvents events) { runToEnd(job, events); }

}  // namespace velmora
