#include <cstring>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "devctl/core/base64.h"
#include "devctl/core/log_file.h"
#include "tests/support/unit_root.h"

namespace {

class LogFile : public testsupport::UnitRootFixture {
 protected:
  void SetUp() override {
    UnitRootFixture::SetUp();
    std::strcpy(log_.path, "/oem/log.txt");
  }
  void TearDown() override {
    if (log_.stream) std::fclose(log_.stream);
    UnitRootFixture::TearDown();
  }
  // The header fields {position, version, magic} as stored.
  static void Header(const std::string& file, uint32_t out[3]) {
    std::string bytes = file.substr(0, 12);
    ASSERT_EQ(bytes.size(), 12u);
    std::memcpy(out, bytes.data(), 12);  // little-endian host
  }
  std::string Init() {
    testing::internal::CaptureStdout();
    init_log(&log_);
    return testing::internal::GetCapturedStdout();
  }

  log_file_s log_ = {"", nullptr, 524288, 1, PTHREAD_MUTEX_INITIALIZER};
};

TEST_F(LogFile, BadHeadersAreRepaired) {
  struct Case {
    const char* what;
    std::string bytes;
    bool repaired;
  } cases[] = {
      {"wrong magic", std::string("\x20\0\0\0\x01\0\0\0\x11\x22\x33\x44", 12), true},
      {"five bytes", std::string("\x20\0\0\0\x01", 5), true},
      {"position zero", std::string("\0\0\0\0\x01\0\0\0\x09\x11\x17\x20", 12), true},
      {"position beyond the ring", std::string("\0\0\x10\0\x01\0\0\0\x09\x11\x17\x20", 12), true},
      {"good header",
       std::string("\x20\0\0\0\x01\0\0\0\x09\x11\x17\x20", 12) + std::string(20, 'r'), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Write("/oem/log.txt", c.bytes);
    std::string out = Init();
    ASSERT_NE(log_.stream, nullptr);
    EXPECT_EQ(out.find("log_recover_position log data error") != std::string::npos, c.repaired);
    uint32_t header[3];
    Header(Read("/oem/log.txt"), header);
    EXPECT_EQ(header[0], c.repaired ? 12u : 0x20u);
    EXPECT_EQ(header[1], 1u);
    EXPECT_EQ(header[2], 0x20171109u);
    EXPECT_EQ(std::ftell(log_.stream), long(header[0]));
    if (c.repaired) {
      EXPECT_NE(out.find("log_recover_position fixed postion 0x0000000c\n"), std::string::npos);
    }
    EXPECT_NE(out.find("\033[1;36mCreate a new file in /oem/log.txt \n\033[m"), std::string::npos);
    std::fclose(log_.stream);
    log_.stream = nullptr;
  }
}

TEST_F(LogFile, RecordsWrapToTheStartOfTheRing) {
  log_.size_limit = 256;
  std::string message(60, 'm');
  testing::internal::CaptureStdout();
  log_write(&log_, LOG_LEVEL_ERR, "writer", 7, "%s\n", message.c_str());
  std::string first = Read("/oem/log.txt").substr(12);
  size_t record = first.size();
  ASSERT_GT(record, 90u);
  ASSERT_LT(record, 120u);
  log_write(&log_, LOG_LEVEL_ERR, "writer", 7, "%s\n", message.c_str());
  log_write(&log_, LOG_LEVEL_ERR, "writer", 7, "%s\n", message.c_str());
  testing::internal::GetCapturedStdout();

  std::string file = Read("/oem/log.txt");
  EXPECT_EQ(file.size(), 12 + 2 * record);  // the third record went to offset 12
  uint32_t header[3];
  Header(file, header);
  EXPECT_EQ(header[0], 12 + record);
  EXPECT_EQ(std::ftell(log_.stream), long(header[0]));
  EXPECT_NE(file.find("]  [writer               0007] err:  " + message), std::string::npos);
}

TEST_F(LogFile, LevelsDecideWhatIsWrittenAndHow) {
  testing::internal::CaptureStdout();
  log_write(&log_, LOG_LEVEL_DBG, "dbg", 1, "hidden");
  EXPECT_FALSE(Exists("/oem/log.txt"));  // filtered before anything is opened
  log_write(&log_, LOG_LEVEL_T_DBG, "tdbg", 2, "passes the filter only");
  log_write(&log_, LOG_LEVEL_EPOOL, "epool", 3, "bare\n");
  log_write(&log_, LOG_LEVEL_WARNING, "a_name_longer_than_twenty", 4, "%s",
            std::string(3000, 'x').c_str());
  testing::internal::GetCapturedStdout();

  std::string file = Read("/oem/log.txt");
  EXPECT_EQ(file.find("passes the filter only"), std::string::npos);
  size_t bare = file.find("]  bare\n");
  ASSERT_NE(bare, std::string::npos);
  EXPECT_EQ(file.find("epool"), std::string::npos);
  EXPECT_NE(file.find("[a_name_longer_than.. 0004] warning: "), std::string::npos);
  EXPECT_EQ(file.substr(file.size() - 3), "..\n");
  EXPECT_EQ(file.size() - file.find(std::string(1937, 'x')), 1937u + 3);
}

TEST(Base64, EncodesAndDecodesTheStandardVectors) {
  struct Case {
    std::string plain;
    std::string encoded;
  } cases[] = {{"", ""},
               {"f", "Zg=="},
               {"fo", "Zm8="},
               {"foo", "Zm9v"},
               {"foob", "Zm9vYg=="},
               {"fooba", "Zm9vYmE="},
               {"foobar", "Zm9vYmFy"},
               {std::string("\0\xff\x10", 3), "AP8Q"}};
  for (const Case& c : cases) {
    char encoded[16] = {};
    size_t n = Base64Encode(encoded, reinterpret_cast<const unsigned char*>(c.plain.data()),
                            c.plain.size());
    EXPECT_EQ(std::string(encoded, n), c.encoded);
    unsigned char decoded[16] = {};
    size_t m = Base64Decode(decoded, c.encoded.data(), c.encoded.size());
    EXPECT_EQ(std::string(reinterpret_cast<char*>(decoded), m), c.plain);
  }
}

TEST(Base64, DecodeReadsNothingBeyondTheGivenCharacters) {
  for (size_t n : {1u, 5u, 6u, 7u}) {
    // Exactly n characters on the heap, so a read past them is caught.
    std::unique_ptr<char[]> text(new char[n]);
    std::memcpy(text.get(), "Zm9vYmFy", n);
    unsigned char out[8] = {};
    size_t bytes = Base64Decode(out, text.get(), n);
    EXPECT_LE(bytes, 3 * ((n + 3) / 4)) << n;
  }
  unsigned char out[3] = {};
  EXPECT_EQ(Base64Decode(out, "Zm9", 3), 2u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 2), "fo");
  EXPECT_EQ(Base64Decode(out, "!!!!", 4), 3u);  // outside the alphabet decodes as 0
  EXPECT_EQ(out[0], 0);
}

}  // namespace
