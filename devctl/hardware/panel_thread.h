// The panel thread: boot screen, then the menu refresh loop until the front panel is shut down.
#pragma once

// Creates the panel thread (never joined).
void StartPanelThread();
// The thread body: backlight and key controller, boot screen, end of boot, then the loop.
void RunPanelThread();

// The 15 s boot screen: "Booting..." rounds, or the model name and "Please wait..." rounds when
// the unit wakes from deep sleep (the marker "/oem/auto_standy" is removed).
void ShowBootScreen();
// The end of the boot screen: the rails as stored, the home page, the panel lights; installs the
// menu redraw used by the panel lights. The key thread is started after it.
void FinishBoot();
// One 10 ms pass of the loop. passes counts the passes since the last refresh.
void PanelLoopPass(int* passes);
