#include "ui/qt/qt_jobs.h"

#include <QTimer>

#include "framework/procedure.h"
#include "ui/qt/qt_host.h"

namespace velmora::qt {

QtJobs::~QtJobs() {
  for (auto& [id, r] : runs_) r->job->watch(nullptr);
}

void QtJobs::run(Procedure& owner, Job& job, JobEvents events) {
  // Without a window there is nothing to keep live.
  if (!owner.isOpen()) {
    runToEnd(job, events);
    return;
  }
  auto r = std::make_shared<Run>(Run{&owner, &job, std::move(events)});
  job.watch(r->events.progress);
  if (r->events.progress && !job.caption().empty()) r->events.progress(job);
  runs_[++lastId_] = r;
  schedule(lastId_);
}

// The next batch is queued only after the last one returned: a dialog opened
// inside step() runs its own loop, which must not step the job again.
void QtJobs::schedule(int id) {
  QTimer::singleShot(0, &timers_, [this, id] { tick(id); });
}

void QtJobs::tick(int id) {
  auto it = runs_.find(id);
  if (it == runs_.end()) return;
  std::shared_ptr<Run> r = it->second;
  const bool more = !r->job->cancelled() && r->job->step();
  if (!runs_.count(id)) return;  // the owner's window closed meanwhile
  if (more) return schedule(id);
  const JobOutcome outcome = r->job->cancelled() ? JobOutcome::Cancelled : JobOutcome::Finished;
  r->job->watch(nullptr);
  runs_.erase(id);
  if (r->events.done) r->events.done(outcome);
  // The owner usually closes when its job ends.
  host_.afterEvent(*r->owner);
}

void QtJobs::ownerClosed(Procedure& owner) {
  std::erase_if(runs_, [&](const auto& entry) {
    if (entry.second->owner != &owner) return false;
    entry.second->job->watch(nullptr);
    return true;
  });
}

}  // namespace velmora::qt
