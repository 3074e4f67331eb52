#include <gtest/gtest.h>

#include "modbusframe.h"

TEST(ModbusFrame, CrcOfKnownFramesAndCheck) {
  uint8_t frame[8] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A};
  EXPECT_EQ(modbus::Crc16(frame, 6), 0xCDC5);
  modbus::AppendCrc(frame, 6);
  EXPECT_EQ(frame[6], 0xC5);
  EXPECT_EQ(frame[7], 0xCD);
  EXPECT_TRUE(modbus::CrcValid(frame, 8));
  frame[7] ^= 1;
  EXPECT_FALSE(modbus::CrcValid(frame, 8));
  // Any single corrupted bit anywhere is caught.
  uint8_t ident[8] = {0x1F, 0x03, 0x0E, 0x78, 0x00, 0x08};
  modbus::AppendCrc(ident, 6);
  for (int i = 0; i < 64; ++i) {
    uint8_t copy[8];
    std::copy(ident, ident + 8, copy);
    copy[i / 8] ^= static_cast<uint8_t>(1u << (i % 8));
    EXPECT_FALSE(modbus::CrcValid(copy, 8)) << i;
  }
  EXPECT_FALSE(modbus::CrcValid(ident, 1));
}

TEST(ModbusFrame, ReplyLengthFromHeader) {
  const uint8_t read[] = {0x1F, 0x03, 0x10};
  EXPECT_EQ(modbus::RtuReplyLength(read, 1), 0);
  EXPECT_EQ(modbus::RtuReplyLength(read, 2), 0);
  EXPECT_EQ(modbus::RtuReplyLength(read, 3), 3 + 16 + 2);
  const uint8_t exception[] = {0x1F, 0x83};
  EXPECT_EQ(modbus::RtuReplyLength(exception, 2), 5);
  const uint8_t write[] = {0x1F, 0x10};
  EXPECT_EQ(modbus::RtuReplyLength(write, 2), 8);
  const uint8_t other[] = {0x1F, 0x04};
  EXPECT_EQ(modbus::RtuReplyLength(other, 2), -1);
}

TEST(ModbusFrame, HexLinesOfSixteenBytes) {
  uint8_t data[20];
  for (int i = 0; i < 20; ++i) data[i] = static_cast<uint8_t>(i * 17);
  const auto lines = modbus::HexLines(data, 20);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF ");
  EXPECT_EQ(lines[1], "10 21 32 43 ");
  EXPECT_TRUE(modbus::HexLines(data, 0).empty());
  EXPECT_EQ(modbus::HexLines(data, 16).size(), 1u);
}
