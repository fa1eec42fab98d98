#include "sim/board/front_panel.h"

#include "platform/storage.h"

namespace sim {

FrontPanel::FrontPanel(Board& board) : board_(board) {
  board_.sysfs().AddObserver(&lcd_);
  board_.sysfs().AddObserver(&leds_);
  board_.AddPublisher([this](const std::string& dir) { Publish(dir); });
}

FrontPanel::~FrontPanel() {
  board_.sysfs().RemoveObserver(&lcd_);
  board_.sysfs().RemoveObserver(&leds_);
}

void FrontPanel::Publish(const std::string& dir) {
  std::string lcd = lcd_.Text();
  if (lcd != published_lcd_ && platform::WriteFileAtomic(dir + "/lcd.txt", lcd))
    published_lcd_ = lcd;
  std::string leds = leds_.Text();
  if (leds != published_leds_ && platform::WriteFileAtomic(dir + "/leds.txt", leds))
    published_leds_ = leds;
}

}  // namespace sim
