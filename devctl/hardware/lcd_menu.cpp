#include "devctl/hardware/lcd_menu.h"

#include "devctl/hardware/menu_pages.h"
#include "devctl/hardware/panel_state.h"
#include "platform/state_resets.h"

PanelState::PanelState()
    : menu{
          {kHomePage, MenuHomeKey, MenuHomeRefresh, MenuHomeEnter},
          {kPhantomPage, MenuPhantomKey, MenuPhantomRefresh, MenuPhantomEnter},
          {kMainMenuPage, MenuMainKey, MenuMainRefresh, MenuMainEnter},
          {kUsbPage, MenuUsbKey, MenuUsbRefresh, MenuUsbEnter},
          {kNetworkPage, MenuNetworkKey, MenuNetworkRefresh, MenuNetworkEnter},
          {kTarvoIpPage, MenuTarvoIpKey, MenuTarvoIpRefresh, MenuTarvoIpEnter},
          {kVersionPage, MenuVersionKey, MenuVersionRefresh, MenuVersionEnter},
          {kFactoryResetPage, MenuFactoryResetKey, MenuFactoryResetRefresh,
           MenuFactoryResetEnter},
      } {}

PanelState g_panel;

namespace {
const platform::StateReset kReset([] { platform::Rebuild(g_panel); });
}  // namespace
