// devctl's start-up: every service brought up in one fixed order, then the stored power state.
#pragma once

class CApplication;
class CKey;
class CTimer;

struct StartupOptions {
  // False: the steps that start threads are left out (tests drive the rest on a simulated
  // board with a fake clock).
  bool start_threads = true;
};

// The whole start-up: records and presets, panel, web application, power lines, USB port, keys,
// control ports, phantom power, LEDs and expanders, then the stored power state and its workers;
// main then only sleeps. app, keys and timer are main's own objects.
void DevctlStartup(CApplication& app, CKey& keys, CTimer& timer,
                   const StartupOptions& options = {});
