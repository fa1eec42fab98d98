#include "devctl/text/status_report.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "devctl/core/config_defaults.h"

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = 0;
  for (size_t end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
    lines.push_back(text.substr(at, end - at));
  }
  EXPECT_EQ(at, text.size()) << "text after the last line end";
  return lines;
}

class StatusReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetAppConfig("", &live_, "");
    live_.type = "TRX";
    live_.power = 1;
    ResetAppConfig("", &stored_, "");
    stored_.ipaddress = "10.1.2.3";
    stored_.subnet = "255.255.0.0";
    stored_.gateway = "10.1.0.1";
    sources_.main_version = "V1.0.2";
    sources_.mcu_version = "M7";
    sources_.netaudio_version = "V3.1_20240101";
    sources_.mac = "00:11:22:AA:BB:CC";
    sources_.current_ip = "172.16.5.9";
    sources_.current_subnet = "255.255.240.0";
    sources_.current_gateway = "172.16.0.1";
    sources_.stored = &stored_;
    sources_.temperature = 41;
    sources_.uptime_seconds = 86400 + 2 * 3600 + 3 * 60 + 4;
  }
  app_config_s live_, stored_;
  StatusReportSources sources_;
};

// A known configuration, including stored values outside the report's word tables.
TEST_F(StatusReportTest, GoldenReport) {
  live_.analogue_input_gain[0] = -10;
  live_.analogue_input_phantom[1] = 1;
  live_.analogue_input_stereo[1] = 1;
  live_.tarvo_input_mute[0] = 1;
  live_.control[2] = 0;
  live_.control[3] = 14;
  live_.control[13] = 77;
  live_.front_lcd = 9;
  live_.baudrate = 0;
  live_.telnet_enable = 0;
  const std::vector<std::string> golden = {
      "",
      "=================================================================",
      "      VX7206 Status",
      "      FW Version:MCU_Main V1.0.2/MCU_Sub M7/NETAUDIO_SDK V3.1_20240101",
      "",
      "Power   Standby_Time   Power_LED   LCD    USB_Port   Standby_Mode",
      "On      10             On          9      USB-B      Standby",
      "",
      "Key_Lock  Baud_Rate  Temp(C)   Uptime(Day:Hour:Min:Sec)",
      "Off       0          41C       0001:02:03:04",
      "",
      "Input   Name                        Phantom_Power              Locked      Gain(dB)   Mute",
      "01      Analogue Input CH1          Off                        No          -10        Off",
      "02      Analogue Input CH2          On                         No          0          Off",
      "03      Analogue Input CH3          Off                        Yes         0          Off",
      "04      Analogue Input CH4          Off                        Yes         0          Off",
      "05      Tarvo Input CH1             --                         No          0          On ",
      "06      Tarvo Input CH2             --                         No          0          Off",
      "07      Tarvo Input CH3             --                         No          0          Off",
      "08      Tarvo Input CH4             --                         No          0          Off",
      "09      Tarvo Input CH5             --                         No          0          Off",
      "10      Tarvo Input CH6             --                         No          0          Off",
      "11      Tarvo Input CH7             --                         No          0          Off",
      "12      Tarvo Input CH8             --                         No          0          Off",
      "13      USB Input Left              --                         No          0          Off",
      "14      USB Input Right             --                         No          0          Off",
      "",
      "Output  Name                        From                       Locked      Volume     Mute",
      "01      Analogue Output CH1         Analogue Input CH1         No          50         Off",
      "02      Analogue Output CH2         Analogue Input CH2         No          50         Off",
      "03      Analogue Output CH3         None                       No          50         Off",
      "04      Analogue Output CH4         USB Input Right            No          50         Off",
      "05      Tarvo Output CH1            Tarvo Input CH1            No          50         Off",
      "06      Tarvo Output CH2            Tarvo Input CH2            No          50         Off",
      "07      Tarvo Output CH3            Tarvo Input CH3            No          50         Off",
      "08      Tarvo Output CH4            Tarvo Input CH4            No          50         Off",
      "09      Tarvo Output CH5            Tarvo Input CH5            No          50         Off",
      "10      Tarvo Output CH6            Tarvo Input CH6            No          50         Off",
      "11      Tarvo Output CH7            Tarvo Input CH7            No          50         Off",
      "12      Tarvo Output CH8            Tarvo Input CH8            No          50         Off",
      "13      USB Output Left             USB Input Left             No          50         Off",
      "14      USB Output Right            77                         No          50         Off",
      "",
      "DHCP      IP               Subnet Mask      Gateway",
      "On        172.016.005.009  255.255.240.000  172.016.000.001",
      "(Static)  010.001.002.003  255.255.000.000  010.001.000.001",
      "",
      "Telnet   TCP/IP   Mac                Local",
      "Off      8000     00:11:22:AA:BB:CC  VX7206 ",
      "=================================================================",
      ""};
  const std::vector<std::string> got = Lines(FormatStatusReport(live_, sources_));
  ASSERT_EQ(got.size(), golden.size());
  for (size_t i = 0; i < golden.size(); ++i) EXPECT_EQ(got[i], golden[i]) << "line " << i;
}

TEST_F(StatusReportTest, StaticModeAndAddressFallback) {
  live_.dhcp = 0;
  sources_.current_ip = "0.0.0.0";
  sources_.current_subnet = "";
  const std::vector<std::string> got = Lines(FormatStatusReport(live_, sources_));
  const std::vector<std::string> tail(got.end() - 7, got.end());
  EXPECT_EQ(tail[0], "DHCP      IP               Subnet Mask      Gateway ");
  EXPECT_EQ(tail[1], "Off       192.168.000.200  255.255.255.000  172.016.000.001");
  EXPECT_EQ(tail[2], "");  // no "(Static)" line
  EXPECT_EQ(tail[4], "23       8000     00:11:22:AA:BB:CC  VX7206 ");
}

TEST_F(StatusReportTest, LongNamesWidenTheirLines) {
  const std::string name(31, 'n');
  SetNameField(live_.input_name[0], name.c_str());
  const std::vector<std::string> got = Lines(FormatStatusReport(live_, sources_));
  EXPECT_EQ(got[12],
            "01      " + name + "    Off                        No          0          Off");
  EXPECT_EQ(got[28].substr(0, 8 + 24 + 4 + 31), "01      Analogue Output CH1         " + name);
}

TEST(PaddedAddressTest, ReadsWhatItCan) {
  EXPECT_EQ(PaddedAddress("10.1.2.3"), "010.001.002.003");
  EXPECT_EQ(PaddedAddress("10.1"), "010.001.000.000");
  EXPECT_EQ(PaddedAddress("garbage"), "000.000.000.000");
}

}  // namespace
