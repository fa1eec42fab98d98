// The rules that decide the LCD backlight and the front LEDs from the power state, the LCD mode
// (front_lcd) and the power-LED setting (powerled).
#pragma once

// Restarts the backlight countdown and lights the panel as the LCD mode says.
void WakePanelLights();
// The same, and redraws the current menu page when it lights the panel while powered.
void ApplyPowerToPanel();
// Re-applies the lights after an LCD-mode or power-LED change; a running countdown continues.
void ApplyPanelLights();

// Dark: backlight off and both lines blank, then all LEDs off (powerled set) or the power LED
// alone showing power. Lit: backlight as power, every LED with the power state.
void DarkenPanel(int power, int powerled);
void LightPanel(int power);

// The backlight countdown of an LCD mode, in ticks of the 500 ms service loop: 30, 60 or 120 for
// the timed modes 2-4, -1 for the others.
int BacklightCountdown(int front_lcd);
