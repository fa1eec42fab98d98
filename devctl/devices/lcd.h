// The front panel's 16 x 2 character LCD (HD44780-compatible, 8-bit mode, write only). The data
// byte goes through a serial-in shift register on GPIO 18 (data), 14 (clock) and 13 (latch); RS is
// GPIO 20, RW 19, E 21, the backlight 11. A shadow of both lines keeps redraws to the characters
// that changed.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

// What was last sent to line 0 or 1 (16 characters; empty before LcdInit and for other lines).
std::string LcdShadowLine(int line);

// Full controller set-up: lines, backlight on, function set, display on, entry mode, clear; the
// shadow becomes spaces.
void LcdInit();
// Clears the display; the shadow is kept.
void LcdClear();
// Writes len characters of text at column col of line 0 or 1, clipped at column 16. Fewer than
// four changed characters are sent one by one, otherwise the whole run. text must hold len
// characters after the clip (callers pass 16-character fields).
void LcdWrite(uint8_t col, uint8_t line, const char* text, uint8_t len);
// Backlight line opened and switched on.
void LcdBacklightOn();
// Backlight on or off; off also blanks both lines.
void LcdSetBacklight(uint8_t on);
// While one lives on a thread, that thread's LcdWrite calls are dropped, under the LCD's lock,
// once `generation` no longer holds `seen`: text drawn for a state that has since been replaced
// never lands after the new state's own text. Scopes nest; the innermost applies.
class LcdDrawScope {
 public:
  LcdDrawScope(const std::atomic<unsigned>& generation, unsigned seen);
  ~LcdDrawScope();
  LcdDrawScope(const LcdDrawScope&) = delete;
  LcdDrawScope& operator=(const LcdDrawScope&) = delete;

 private:
  const std::atomic<unsigned>* previous_generation_;
  unsigned previous_seen_;
};

// The text centred in a 16-character field (column 0 from 15 characters on), first 16 shown.
void LcdShowCentered(uint8_t line, const char* text);
// The text left-aligned in a 16-character field, cut at 16.
void LcdShowLeft(uint8_t line, const char* text);
