// The chunk protocol of the three uploads as CApplication serves it: replies, the received file,
// and every way a chunk can fail to belong to a whole upload.
#include <cjson/cJSON.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "devctl/web/application.h"
#include "devctl/web/uploads.h"
#include "upload_fixture.h"

namespace uploadtest {
namespace {

const char* kFirst = "cmd=hex(00,00,00,00,00)";
const char* kMiddle = "cmd=hex(00,00,01,00,00)";
const char* kLast = "cmd=hex(01,02,80,04,05)";
const char* kEngineLine = "sleep 1 && updateEngine --image_url=/userdata/update-ota.img --update --reboot &";

std::string Result(const char* command, const char* result) {
  return std::string("{\n\t\"command\":\t\"") + command + "\",\n\t\"result\":\t\"" + result + "\"\n}";
}

class UploadChunksTest : public UploadTest {
 protected:
  enum Kind { kNetaudio, kSoc, kOta };

  std::string Chunk(Kind kind, const char* tail, const std::string& bytes) {
    std::string reply = "stale";
    switch (kind) {
      case kNetaudio:
        app_.HandleUpdateNetaudio(tail, bytes.data(), int(bytes.size()), reply);
        break;
      case kSoc:
        app_.HandleUpdateSoc(tail, bytes.data(), int(bytes.size()), reply);
        break;
      case kOta:
        app_.HandleUpdateOta(tail, bytes.data(), int(bytes.size()), reply);
        break;
    }
    return reply;
  }

  // Nothing was staged: no marker, no staging time, no updateEngine.
  void ExpectNothingStaged(const std::string& why) {
    for (const char* marker : {"/tmp/upgrade_netaudio", "/oem/upgrade_app", "/tmp/upgrade_mcu",
                               "/oem/upgrade_ota"}) {
      EXPECT_FALSE(UnitExists(marker)) << why << ": " << marker;
    }
    EXPECT_EQ(g_app_upgrade_time.load(), 0) << why;
    EXPECT_EQ(g_netaudio_upgrade_time.load(), 0) << why;
    for (const auto& line : Commands()) EXPECT_EQ(line.find("updateEngine"), std::string::npos) << why;
  }

  CApplication app_{"appthread"};
};

TEST_F(UploadChunksTest, ChunksAreAnsweredWithTheCountsAndStagedByteForByte) {
  std::string package = MakeTar({{"backend/apps/product", "VX7206\n"},
                                 {"backend/apps/devctl", std::string(70000, '\x7f')}});
  std::string netaudio = MakeTar({{"netaudio/tarvo_package/product", "VX7206"}});
  std::string image(1500, '\0');
  for (size_t i = 0; i < image.size(); ++i) image[i] = char(i * 7);
  struct Case {
    Kind kind;
    std::string data;
    const char* file;
    const char* reply_name;
    const char* marker;
  } cases[] = {
      {kSoc, package, "/tmp/soc.tar", "update_soc.cgi", "/oem/upgrade_app"},
      {kNetaudio, netaudio, "/tmp/netaudio.tar", "update_netaudio.cgi", "/tmp/upgrade_netaudio"},
      {kOta, image, "/userdata/update-ota.img", "upload_ota.cgi", "/oem/upgrade_ota"},
  };
  for (const auto& c : cases) {
    // First 1000 bytes, the rest as middle chunks of 500, then an empty last chunk.
    EXPECT_EQ(Chunk(c.kind, kFirst, c.data.substr(0, 1000)), "length: 1000 upLength: 1000 \n");
    size_t sent = 1000;
    while (sent < c.data.size()) {
      std::string part = c.data.substr(sent, 500);
      sent += part.size();
      EXPECT_EQ(Chunk(c.kind, kMiddle, part), "length: " + std::to_string(part.size()) +
                                                   " upLength: " + std::to_string(sent) + " \n");
    }
    EXPECT_EQ(Chunk(c.kind, kLast, ""), Result(c.reply_name, "success")) << c.reply_name;
    EXPECT_TRUE(UnitFile(c.file) == c.data) << c.reply_name << ": the staged file differs";
    EXPECT_EQ(UnitFile(c.marker), "1") << c.reply_name;
  }
  std::vector<std::string> commands = Commands();
  ASSERT_GE(commands.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(commands.end() - 3, commands.end()),
            (std::vector<std::string>{
                "cp -rf /usr/local/netaudio/tarvo_package/tarvo_data/config /oem/",
                "cp -rf /usr/local/netaudio/tarvo_package/tarvo_data/images/active /oem/active",
                kEngineLine}));
  EXPECT_EQ(UnitFile(platform::kSimUpdateEngineLog),
            "updateEngine --image_url=/userdata/update-ota.img --update --reboot\n");
}

TEST_F(UploadChunksTest, TheLastChunkCarriesBytesAndAFirstChunkRestarts) {
  EXPECT_EQ(Chunk(kOta, kFirst, "stale upload"), "length: 12 upLength: 12 \n");
  EXPECT_EQ(Chunk(kOta, kFirst, "abc"), "length: 3 upLength: 3 \n");
  EXPECT_EQ(Chunk(kOta, kLast, "def"), Result("upload_ota.cgi", "success"));
  EXPECT_EQ(UnitFile("/userdata/update-ota.img"), "abcdef");
}

TEST_F(UploadChunksTest, ChunksThatBelongToNoUploadFail) {
  struct Case {
    const char* why;
    std::vector<std::pair<const char*, std::string>> chunks;  // all but the last answer "length"
  } cases[] = {
      {"last chunk without a first", {{kLast, "image"}}},
      {"middle chunk without a first", {{kMiddle, "image"}}},
      {"last chunk after a finished upload", {{kFirst, "image"}, {kLast, ""}, {kLast, "more"}}},
      {"middle chunk after a finished upload", {{kFirst, "image"}, {kLast, ""}, {kMiddle, "x"}}},
      {"tail with two values", {{"cmd=hex(00,00)", "image"}}},
      {"tail that is not hex", {{"cmd=hexzz", "image"}}},
      {"empty tail", {{"", "image"}}},
      {"value beyond a byte", {{"cmd=hex(00,00,100,00,00)", "image"}}},
  };
  for (const auto& c : cases) {
    std::string reply;
    for (const auto& [tail, bytes] : c.chunks) reply = Chunk(kOta, tail, bytes);
    EXPECT_EQ(reply, Result("upload_ota.cgi", "fail")) << c.why;
  }
  // The only staging was the finished uploads above; an old image left in place is never staged
  // by a stray last chunk.
  fs::remove(root_ + "/oem/upgrade_ota");
  runner_.Clear();
  PutUnitFile("/userdata/update-ota.img", "placed by someone else");
  EXPECT_EQ(Chunk(kOta, kLast, ""), Result("upload_ota.cgi", "fail"));
  EXPECT_EQ(UnitFile("/userdata/update-ota.img"), "placed by someone else");
  ExpectNothingStaged("stray last chunk");
}

TEST_F(UploadChunksTest, OutOfOrderPackageChunksStageNothing) {
  std::string package = MakeTar({{"backend/apps/product", "VX7206\n"}});
  EXPECT_EQ(Chunk(kSoc, kMiddle, package.substr(0, 1024)), Result("update_soc.cgi", "fail"));
  EXPECT_EQ(Chunk(kSoc, kLast, package.substr(1024)), Result("update_soc.cgi", "fail"));
  ExpectNothingStaged("soc chunks without a first");
}

TEST_F(UploadChunksTest, AFailedWriteFailsTheUploadAndTheImageIsNotHandedOver) {
  struct Case {
    const char* why;
    size_t middle_bytes;
    bool middle_fails;  // a large write reaches the device at once; a small one at the close
  } cases[] = {
      {"write fails at the close", 10, false},
      {"write fails at once", 1 << 20, true},
  };
  for (const auto& c : cases) {
    fs::create_directories(root_ + "/userdata");
    fs::remove(root_ + "/userdata/update-ota.img");
    ASSERT_EQ(symlink("/dev/full", (root_ + "/userdata/update-ota.img").c_str()), 0);
    EXPECT_EQ(Chunk(kOta, kFirst, "x"), "length: 1 upLength: 1 \n") << c.why;
    std::string reply = Chunk(kOta, kMiddle, std::string(c.middle_bytes, 'y'));
    if (c.middle_fails) {
      EXPECT_EQ(reply, Result("upload_ota.cgi", "fail")) << c.why;
    } else {
      EXPECT_EQ(reply.substr(0, 8), "length: ") << c.why;
    }
    EXPECT_EQ(Chunk(kOta, kLast, ""), Result("upload_ota.cgi", "fail")) << c.why;
    EXPECT_FALSE(fs::exists(fs::symlink_status(root_ + "/userdata/update-ota.img"))) << c.why;
    ExpectNothingStaged(c.why);
  }
}

TEST_F(UploadChunksTest, AFileThatCannotBeOpenedFailsAtTheFirstChunk) {
  fs::create_directories(root_ + "/tmp/soc.tar");  // a folder in the file's place
  EXPECT_EQ(Chunk(kSoc, kFirst, "x"), Result("update_soc.cgi", "fail"));
  EXPECT_EQ(Chunk(kSoc, kLast, "y"), Result("update_soc.cgi", "fail"));
  ExpectNothingStaged("no file");
}

TEST_F(UploadChunksTest, AnUnwritableMarkerFailsAndUpdateEngineDoesNotRun) {
  fs::create_directories(root_ + "/oem/upgrade_ota/busy");
  EXPECT_EQ(Chunk(kOta, kFirst, "image"), "length: 5 upLength: 5 \n");
  EXPECT_EQ(Chunk(kOta, kLast, ""), Result("upload_ota.cgi", "fail"));
  for (const auto& line : Commands()) EXPECT_EQ(line.find("updateEngine"), std::string::npos);
}

TEST_F(UploadChunksTest, AChunkCutShortLosesItsUpload) {
  EXPECT_EQ(Chunk(kSoc, kFirst, "part one"), "length: 8 upLength: 8 \n");
  web::WebRequest broken;
  broken.query_string = "update_soc.cgi&cmd=hex(00,00,01,00,00)";
  broken.body = "part";
  broken.length = 4;
  broken.body_complete = false;
  std::string reply;
  app_.ServeRequest(broken, reply);
  EXPECT_EQ(reply, Result("update_soc.cgi", "fail"));
  EXPECT_EQ(Chunk(kSoc, kMiddle, "part two"), Result("update_soc.cgi", "fail"));
  EXPECT_EQ(Chunk(kSoc, kLast, ""), Result("update_soc.cgi", "fail"));
  EXPECT_FALSE(UnitExists("/tmp/soc.tar"));
  ExpectNothingStaged("cut short");
  // The next upload starts clean.
  EXPECT_EQ(Chunk(kSoc, kFirst, "new"), "length: 3 upLength: 3 \n");
}

TEST_F(UploadChunksTest, SlotsOfDifferentKindsAreIndependent) {
  std::string package = MakeTar({{"backend/apps/product", "VX7206"}});
  EXPECT_EQ(Chunk(kSoc, kFirst, package.substr(0, 1000)), "length: 1000 upLength: 1000 \n");
  EXPECT_EQ(Chunk(kOta, kFirst, "image"), "length: 5 upLength: 5 \n");
  EXPECT_EQ(Chunk(kNetaudio, kLast, ""), Result("update_netaudio.cgi", "fail"));
  EXPECT_EQ(Chunk(kSoc, kLast, package.substr(1000)), Result("update_soc.cgi", "success"));
  EXPECT_EQ(Chunk(kOta, kMiddle, "2"), "length: 1 upLength: 6 \n");
}

}  // namespace
}  // namespace uploadtest
