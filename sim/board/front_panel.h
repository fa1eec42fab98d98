// The simulated board's front panel: the LCD and LED decoders watching the simulated sysfs, and
// their state files <root>/sim/lcd.txt and <root>/sim/leds.txt (written by the board's publisher
// when they change). Construct it after the board; it must live as long as the board publishes.
#pragma once

#include <string>

#include "sim/board/board.h"
#include "sim/board/lcd_decoder.h"
#include "sim/board/led_decoder.h"

namespace sim {

class FrontPanel {
 public:
  explicit FrontPanel(Board& board);
  ~FrontPanel();
  FrontPanel(const FrontPanel&) = delete;
  FrontPanel& operator=(const FrontPanel&) = delete;

  LcdDecoder& lcd() { return lcd_; }
  LedDecoder& leds() { return leds_; }

 private:
  void Publish(const std::string& dir);

  Board& board_;
  LcdDecoder lcd_;
  LedDecoder leds_;
  std::string published_lcd_;
  std::string published_leds_;
};

}  // namespace sim
