// ttrace: traces the header of the "TarvoEP" area and how the engine's network time keeps pace
// with its monotonic counter, until SIGINT. Runs at normal priority.
//
//   ttrace [-v]
#include <unistd.h>

#include "tarvo/TarvoHeader.h"
#include "tarvo/TarvoTool.h"
#include "ttrace/TimingTrace.h"

int main(int argc, char** argv) {
  int opt;
  while ((opt = getopt(argc, argv, "v")) != -1) {
    if (opt == 'v') {
      Tarvo::printVersion();
      return 0;
    }
    // Any other option is ignored (getopt has written its complaint).
  }
  ttrace::runTimingTrace(Tarvo::kDefaultAreaName);
  return 0;
}
