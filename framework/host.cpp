#include "framework/host.h"

namespace velmora {

JobHost& Host::jobs() {
  static ImmediateJobs immediate;
  return immediate;
}

DocumentHost& Host::documents() {
  static NoDocuments none;
  return none;
}

}  // namespace velmora
