// Phantom power of the four analogue inputs: one worker per input switches the expander supply
// inside a muted window whenever the input's phantom setting changes.
#pragma once

#include <cstdint>

// Start-up: expanders set up, the four phantom lines opened and set from the configuration.
void InitPhantomPower();
// The four workers, input 1 first (never joined).
void StartPhantomThreads();
// Sleeps up to ms (9 ms steps, at most ms / 10 of them); 1 as soon as the input's phantom setting
// differs from value, else 0. 0 at once for ms <= 9.
int WaitPhantomChange(uint32_t value, int ch, int ms);

// What one worker keeps.
struct PhantomWorker {
  int ch = 0;
  int last = -1;  // the setting last applied; -1 runs the sequence once at start
  bool force = false;
};
// One turn of a worker: the muted switching sequence when the setting changed, then 500 ms.
void PhantomWorkerPass(PhantomWorker* worker);
void RunPhantomThread1();
void RunPhantomThread2();
void RunPhantomThread3();
void RunPhantomThread4();
