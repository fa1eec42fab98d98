// The USB audio port worker: switches the selected port, and resets the USB interface when a
// cable is plugged into or pulled from the selected port, each inside a muted window. It also
// blinks both USB indicators while the reset key is held.
#pragma once

// Checks every 10 ms, at most polls times; 1 as soon as the selected port differs from old.
int WaitUsbPortChange(int old, int polls);

// What the worker keeps.
struct UsbPortWorker {
  int applied = 0;  // the port last applied (1 USB-B, 0 USB-C)
  int last_b = 0;  // last seen level of the USB-B detect line
  int last_c = 0;  // and of the USB-C detect line
  int blink = 0;
};
// Opens the button and detect lines and takes the first detect levels.
void InitUsbPortWorker(UsbPortWorker* worker);
// One 500 ms pass: port change, cable change, blink.
void UsbPortWorkerPass(UsbPortWorker* worker);
void RunUsbPortThread();
// Creates the worker (never joined).
void StartUsbPortThread();
