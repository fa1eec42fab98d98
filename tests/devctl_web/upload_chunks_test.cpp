// The chunk protocol of the three uploads as CApplication serves it: replies, the received file,
// and every way a chunk can fail to belong to a whole upload.
#include <cjson/cJSON.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "devctl/web/application.h"
#include "devctl/web/uploads.h"
#include "platform/storage.h"
#include "tests/support/upload_fixture.h"

namespace uploadtest {
namespace {

const char* kFirst = "cmd=hex(00,00,00,00,00)";
const char* kMiddle = "cmd=hex(00,00,01,00,00)";
const char* kLast = "cmd=hex(01,02,80,04,05)";
const char* kEngineLine =
    "sleep 1 && updateEngine --image_url=/userdata/update-ota.img --update --reboot &";

std::string Result(const char* command, const char* result) {
  return std::string("{\n\t\"command\":\t\"") + command + "\",\n\t\"result\":\t\"" + result +
         "\"\n}";
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
    for (const char* marker :
         {"/tmp/upgrade_netaudio", "/oem/upgrade_app", "/tmp/upgrade_mcu", "/oem/upgrade_ota"}) {
      EXPECT_FALSE(UnitExists(marker)) << why << ": " << marker;
    }
    EXPECT_EQ(AppStagedAtMs(), 0) << why;
    EXPECT_EQ(NetaudioStagedAtMs(), 0) << why;
    for (const auto& line : Commands())
      EXPECT_EQ(line.find("updateEngine"), std::string::npos) << why;
  }

  CApplication app_{"appthread"};
};

TEST_F(UploadChunksTest, ChunksAreAnsweredWithTheCountsAndStagedByteForByte) {
  std::string package = MakeTar(
      {{"backend/apps/product", "VX7206\n"}, {"backend/apps/devctl", std::string(70000, '\x7f')}});
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

// The three kinds are independent: a system package and a network-audio package sent chunk by
// chunk in turn both stage, and so does an OTA image begun between them.
TEST_F(UploadChunksTest, UploadsOfDifferentKindsInterleaveAndEachStages) {
  const std::string package = MakeTar(
      {{"backend/apps/product", "VX7206\n"}, {"backend/apps/devctl", std::string(3000, 'd')}});
  const std::string netaudio = MakeTar(
      {{"netaudio/tarvo_package/product", "VX7206"}, {"netaudio/engine", std::string(3000, 'e')}});
  const std::string image(2500, 'i');
  EXPECT_EQ(Chunk(kSoc, kFirst, package.substr(0, 1000)), "length: 1000 upLength: 1000 \n");
  EXPECT_EQ(Chunk(kNetaudio, kFirst, netaudio.substr(0, 1000)), "length: 1000 upLength: 1000 \n");
  EXPECT_EQ(Chunk(kOta, kFirst, image.substr(0, 1000)), "length: 1000 upLength: 1000 \n");
  for (size_t sent = 1000; sent < std::max(package.size(), netaudio.size()); sent += 1000) {
    if (sent < package.size()) {
      const std::string part = package.substr(sent, 1000);
      EXPECT_EQ(Chunk(kSoc, kMiddle, part), "length: " + std::to_string(part.size()) +
                                                " upLength: " +
                                                std::to_string(sent + part.size()) + " \n");
    }
    if (sent < netaudio.size()) {
      const std::string part = netaudio.substr(sent, 1000);
      EXPECT_EQ(Chunk(kNetaudio, kMiddle, part), "length: " + std::to_string(part.size()) +
                                                     " upLength: " +
                                                     std::to_string(sent + part.size()) + " \n");
    }
  }
  EXPECT_EQ(Chunk(kSoc, kLast, ""), Result("update_soc.cgi", "success"));
  EXPECT_EQ(Chunk(kOta, kMiddle, image.substr(1000, 1000)), "length: 1000 upLength: 2000 \n");
  EXPECT_EQ(Chunk(kNetaudio, kLast, ""), Result("update_netaudio.cgi", "success"));
  EXPECT_EQ(Chunk(kOta, kLast, image.substr(2000)), Result("upload_ota.cgi", "success"));
  EXPECT_TRUE(UnitFile("/tmp/soc.tar") == package);
  EXPECT_TRUE(UnitFile("/tmp/netaudio.tar") == netaudio);
  EXPECT_TRUE(UnitFile("/userdata/update-ota.img") == image);
  for (const char* marker : {"/oem/upgrade_app", "/tmp/upgrade_netaudio", "/oem/upgrade_ota"})
    EXPECT_EQ(UnitFile(marker), "1") << marker;
}

// An upload left without its last chunk only holds space: a chunk of another kind removes it
// once it took no chunk for a minute, and only its partial file: what a finished staging of its
// kind left stays. A stray chunk of a kind with no upload under way touches nothing.
TEST_F(UploadChunksTest, AStaleUploadOfAnotherKindIsRemovedAndAFinishedStagingStays) {
  const std::string package = MakeTar({{"backend/apps/product", "VX7206"}});
  EXPECT_EQ(Chunk(kSoc, kFirst, package), "length: " + std::to_string(package.size()) +
                                              " upLength: " + std::to_string(package.size()) +
                                              " \n");
  EXPECT_EQ(Chunk(kSoc, kLast, ""), Result("update_soc.cgi", "success"));
  ASSERT_EQ(UnitFile("/oem/upgrade_app"), "1");
  ASSERT_TRUE(UnitExists("/tmp/soctmp/backend/apps/product"));

  EXPECT_EQ(Chunk(kSoc, kFirst, package.substr(0, 1000)), "length: 1000 upLength: 1000 \n");
  EXPECT_EQ(Chunk(kNetaudio, kLast, ""), Result("update_netaudio.cgi", "fail"));
  clock_.Advance((web::kStaleUploadMs - 1) * 1000);
  EXPECT_EQ(Chunk(kOta, kFirst, "image"), "length: 5 upLength: 5 \n");
  EXPECT_TRUE(UnitExists("/tmp/soc.tar")) << "not yet stale";
  EXPECT_EQ(Chunk(kSoc, kMiddle, package.substr(1000, 10)), "length: 10 upLength: 1010 \n");

  clock_.Advance(web::kStaleUploadMs * 1000);
  EXPECT_EQ(Chunk(kOta, kMiddle, "2"), "length: 1 upLength: 6 \n");
  EXPECT_FALSE(UnitExists("/tmp/soc.tar"));
  EXPECT_EQ(Chunk(kSoc, kLast, package.substr(1010)), Result("update_soc.cgi", "fail"));
  // The earlier staging is untouched.
  EXPECT_EQ(UnitFile("/oem/upgrade_app"), "1");
  EXPECT_TRUE(UnitExists("/tmp/soctmp/backend/apps/product"));
  // The same kind again starts afresh and stages.
  EXPECT_EQ(Chunk(kSoc, kFirst, package.substr(0, 1000)), "length: 1000 upLength: 1000 \n");
  EXPECT_EQ(Chunk(kSoc, kLast, package.substr(1000)), Result("update_soc.cgi", "success"));
  EXPECT_EQ(Chunk(kOta, kLast, ""), Result("upload_ota.cgi", "success"));
}

// A chunk that would leave less than the reserve free beside an unfinished upload of another kind
// is taken once that upload is removed; one that would not fit even then fails alone.
TEST_F(UploadChunksTest, AnUnfinishedUploadInTheWayOfAChunkIsRemoved) {
  const auto reserve = static_cast<long long>(web::kStagingReserveBytes);
  platform::SetAvailableBytesForTest(reserve + 800);
  EXPECT_EQ(Chunk(kSoc, kFirst, std::string(500, 's')), "length: 500 upLength: 500 \n");
  EXPECT_EQ(Chunk(kOta, kFirst, std::string(700, 'o')), "length: 700 upLength: 700 \n");
  EXPECT_TRUE(UnitExists("/tmp/soc.tar")) << "fits beside it";
  // 1000 more bytes fit only without the system package's 500 and the image's 700.
  EXPECT_EQ(Chunk(kNetaudio, kFirst, std::string(1000, 'n')), "length: 1000 upLength: 1000 \n");
  EXPECT_FALSE(UnitExists("/tmp/soc.tar"));
  EXPECT_FALSE(UnitExists("/userdata/update-ota.img"));
  EXPECT_EQ(Chunk(kSoc, kMiddle, "x"), Result("update_soc.cgi", "fail"));
  // Nothing to remove makes room for 5000 bytes: the chunk fails and takes its own upload along.
  EXPECT_EQ(Chunk(kNetaudio, kMiddle, std::string(5000, 'n')),
            Result("update_netaudio.cgi", "fail"));
  EXPECT_FALSE(UnitExists("/tmp/netaudio.tar"));
  EXPECT_EQ(Chunk(kSoc, kFirst, std::string(500, 's')), "length: 500 upLength: 500 \n");
  EXPECT_EQ(Chunk(kOta, kFirst, std::string(6000, 'o')), Result("upload_ota.cgi", "fail"));
  EXPECT_TRUE(UnitExists("/tmp/soc.tar")) << "removing it would not have made room";
  platform::SetAvailableBytesForTest(-1);
  ExpectNothingStaged("no room");
}

// Packages built to hang or exhaust the web thread, or to plant special files: each answers
// "fail" at its last chunk, leaves nothing unpacked or marked, and the web thread answers the
// next request.
TEST_F(UploadChunksTest, HostilePackagesFailCleanly) {
  const struct Case {
    const char* what;
    Kind kind;
    std::vector<RawMember> members;
    const char* folder;
  } cases[] = {
      {"product is a FIFO",
       kNetaudio,
       {{"netaudio/", '5', "", 0755},
        {"netaudio/tarvo_package/", '5', "", 0755},
        {"netaudio/tarvo_package/product", '6', ""}},
       "/run/netaudiotmp"},
      {"product links to /dev/zero",
       kNetaudio,
       {{"netaudio/", '5', "", 0755},
        {"netaudio/tarvo_package/", '5', "", 0755},
        {"netaudio/tarvo_package/product", '2', "/dev/zero"}},
       "/run/netaudiotmp"},
      {"a device node",
       kSoc,
       {{"backend/", '5', "", 0755},
        {"backend/apps/", '5', "", 0755},
        {"backend/apps/product", '0', "VX7206"},
        {"backend/apps/zero", '3', ""}},
       "/tmp/soctmp"},
      {"a FIFO beside a good product",
       kSoc,
       {{"backend/", '5', "", 0755},
        {"backend/apps/", '5', "", 0755},
        {"backend/apps/product", '0', "VX7206"},
        {"backend/apps/pipe", '6', ""}},
       "/tmp/soctmp"},
      {"a hard link",
       kSoc,
       {{"backend/", '5', "", 0755},
        {"backend/apps/", '5', "", 0755},
        {"backend/apps/product", '0', "VX7206"},
        {"backend/apps/again", '1', "backend/apps/product"}},
       "/tmp/soctmp"},
      {"MCU version links to /dev/zero",
       kSoc,
       {{"backend/", '5', "", 0755},
        {"backend/apps/", '5', "", 0755},
        {"backend/apps/product", '0', "VX7206"},
        {"backend/mcu/", '5', "", 0755},
        {"backend/mcu/mcu_upgrade.bin", '0', "fw"},
        {"backend/mcu/version", '2', "/dev/zero"}},
       nullptr},
  };
  for (const auto& c : cases) {
    const std::string package = MakeRawTar(c.members);
    const char* name = c.kind == kSoc ? "update_soc.cgi" : "update_netaudio.cgi";
    EXPECT_EQ(Chunk(c.kind, kFirst, package), "length: " + std::to_string(package.size()) +
                                                  " upLength: " + std::to_string(package.size()) +
                                                  " \n");
    const std::string result = Chunk(c.kind, kLast, "");
    if (c.folder) {
      EXPECT_EQ(result, Result(name, "fail")) << c.what;
      EXPECT_FALSE(UnitExists(c.folder)) << c.what;
      ExpectNothingStaged(c.what);
    } else {
      // A version that cannot be read is not another version: the application alone is marked.
      EXPECT_EQ(result, Result(name, "success")) << c.what;
      EXPECT_FALSE(UnitExists("/tmp/upgrade_mcu")) << c.what;
    }
    std::string status;
    EXPECT_TRUE(app_.HandleGetJson("", "", 0, status)) << c.what;
    EXPECT_NE(status.find("\"input\""), std::string::npos) << c.what;
  }
}

// Unpacked files keep no owner and no set-user-id, set-group-id or sticky bit from the package.
TEST_F(UploadChunksTest, UnpackedFilesCarryNoSpecialBits) {
  const std::string package = MakeRawTar({{"backend/", '5', "", 01777},
                                          {"backend/apps/", '5', "", 0755},
                                          {"backend/apps/product", '0', "VX7206"},
                                          {"backend/apps/tool", '0', "#!/bin/sh\n", 06755}});
  Chunk(kSoc, kFirst, package);
  ASSERT_EQ(Chunk(kSoc, kLast, ""), Result("update_soc.cgi", "success"));
  for (const char* path : {"/tmp/soctmp/backend", "/tmp/soctmp/backend/apps/tool"}) {
    struct stat st;
    ASSERT_EQ(stat((root_ + path).c_str(), &st), 0) << path;
    EXPECT_EQ(st.st_mode & (S_ISUID | S_ISGID | S_ISVTX), 0u) << path;
  }
}

// An upload that would leave the staging file system without its reserve fails at that chunk and
// its partial file is removed.
TEST_F(UploadChunksTest, AChunkBeyondTheReserveFailsAndRemovesThePartialFile) {
  platform::SetAvailableBytesForTest(static_cast<long long>(web::kStagingReserveBytes) + 1500);
  EXPECT_EQ(Chunk(kSoc, kFirst, std::string(1000, 'a')), "length: 1000 upLength: 1000 \n");
  EXPECT_TRUE(UnitExists("/tmp/soc.tar"));
  // The first chunk took its room.
  platform::SetAvailableBytesForTest(static_cast<long long>(web::kStagingReserveBytes) + 500);
  EXPECT_EQ(Chunk(kSoc, kMiddle, std::string(1000, 'b')), Result("update_soc.cgi", "fail"));
  EXPECT_FALSE(UnitExists("/tmp/soc.tar"));
  EXPECT_EQ(Chunk(kSoc, kLast, ""), Result("update_soc.cgi", "fail"));
  ExpectNothingStaged("no room");
  platform::SetAvailableBytesForTest(-1);
}

}  // namespace
}  // namespace uploadtest
