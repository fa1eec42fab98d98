#include "devctl/hardware/lcd_menu.h"

#include "devctl/core/net_status.h"
#include "devctl/hardware/menu_pages.h"
#include "devctl/hardware/panel_state.h"
#include "platform/state_resets.h"

PanelState::PanelState()
    : menu{
          {kHomePage, MenuHomeKey, MenuHomeRefresh, MenuHomeEnter, RefreshNetworkStatus},
          {kPhantomPage, MenuPhantomKey, MenuPhantomRefresh, MenuPhantomEnter},
          {kMainMenuPage, MenuMainKey, MenuMainRefresh, MenuMainEnter},
          {kUsbPage, MenuUsbKey, MenuUsbRefresh, MenuUsbEnter},
          {kNetworkPage, MenuNetworkKey, MenuNetworkRefresh, MenuNetworkEnter},
          {kTarvoIpPage, MenuTarvoIpKey, MenuTarvoIpRefresh, MenuTarvoIpEnter,
           RefreshNetworkStatus},
          {kVersionPage, MenuVersionKey, MenuVersionRefresh, MenuVersionEnter},
          {kFactoryResetPage, MenuFactoryResetKey, MenuFactoryResetRefresh,
           MenuFactoryResetEnter},
      } {}

PanelState g_panel;

namespace {
const platform::StateReset kReset([] { platform::Rebuild(g_panel); });
}  // namespace
