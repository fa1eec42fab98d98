#include "tarvo/TarvoPriority.h"

#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "tarvo/TarvoLine.h"

void setTarvoPriority(const char* name) {
  if (geteuid() != 0) {
    Tarvo::writeLine(stderr, std::string("WARNING: ") +
                                 (name != nullptr ? name : "The application") +
                                 " has not been run as root so thread priority will not be "
                                 "changed to realtime.");
    return;
  }
  int policy = 0;
  struct sched_param param = {};
  if (pthread_getschedparam(pthread_self(), &policy, &param) != 0) return;
  if (policy == SCHED_FIFO || policy == SCHED_RR) {
    if (param.sched_priority >= sched_get_priority_max(policy)) return;
    param.sched_priority += 1;
    int result = pthread_setschedparam(pthread_self(), policy, &param);
    if (result != 0) {
      Tarvo::writeLine(stderr, "ERROR: increasing Tarvo thread priority failed.  Error number: " +
                                   std::to_string(result));
    }
    return;
  }
  param.sched_priority = sched_get_priority_min(SCHED_FIFO);
  int result = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
  if (result != 0) {
    Tarvo::writeLine(stderr,
                     "ERROR: setting Tarvo thread scheduling policy failed.  Error number: " +
                         std::to_string(result));
  }
}

void cleanupTarvoPriority() {}
