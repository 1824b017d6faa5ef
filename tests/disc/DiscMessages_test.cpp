// The message table and the decoding of failed requests into device error texts.

#include "disc/dwConst.h"

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <set>
#include <sstream>

using namespace disc;

namespace {

std::vector<uint8_t> FixedSense(uint8_t responseCode, uint8_t key, uint8_t asc, uint8_t ascq) {
    std::vector<uint8_t> sense(32, 0);
    sense[0] = responseCode;
    sense[2] = key;
    sense[7] = 10;
    sense[12] = asc;
    sense[13] = ascq;
    return sense;
}

} // namespace

TEST(DiscMessages, TableRowsAreUniqueUpperCaseAndInsideTheLibraryRange) {
    size_t count = 0;
    const DiscMessageRow* rows = DiscMessageRows(count);
    ASSERT_GT(count, 200u);
    std::set<int> ids;
    std::set<int> pairs;
    for (size_t i = 0; i < count; ++i) {
        EXPECT_GE(rows[i].Id, DiscMessageFirst);
        EXPECT_LE(rows[i].Id, DiscMessageLast);
        EXPECT_TRUE(ids.insert(rows[i].Id).second) << rows[i].Id;
        for (const char* c = rows[i].Text; *c; ++c)
            if (c[0] == '%')
                ++c; // format placeholders
            else
                EXPECT_FALSE(std::islower(static_cast<unsigned char>(*c))) << rows[i].Text;
        if (rows[i].Asc >= 0) {
            EXPECT_LE(rows[i].Asc, 0x73);
            EXPECT_TRUE(pairs.insert(rows[i].Asc * 256 + rows[i].Ascq).second) << rows[i].Text;
        }
    }
    EXPECT_EQ(AscMessageId(0x3A, 0x00), msgMediumNotPresent);
    EXPECT_STREQ(DiscMessage(msgMediumNotPresent), "MEDIUM NOT PRESENT");
    EXPECT_EQ(AscMessageId(0x00, 0x00), msgNoAdditionalSense);
    EXPECT_STREQ(DiscMessage(msgNoError), "");
    EXPECT_STREQ(DiscMessage(msgInvalidDeviceId), "INVALID DEVICE ID / NOT A CD OR DVD DRIVE");
    EXPECT_STREQ(DiscMessage(msgCantOpenFile), "CAN'T OPEN FILE \"%s\" OR FILE IS IN USES BY OTHER SOFTWARE");
}

TEST(DiscMessages, ProgramStringTableIncludesTheSameRows) {
    std::ifstream rc(TW_SOURCE_DIR "/resources/disc_messages.rc");
    std::stringstream text;
    text << rc.rdbuf();
    EXPECT_NE(text.str().find("src/disc/dwMessages.inc"), std::string::npos);
    std::ifstream program(TW_SOURCE_DIR "/resources/tarnwick.rc");
    std::stringstream programText;
    programText << program.rdbuf();
    EXPECT_NE(programText.str().find("#include \"disc_messages.rc\""), std::string::npos);
}

TEST(DiscMessages, FailedRequestsReadAsTheirTexts) {
    const std::vector<uint8_t> none(32, 0);
    // An adapter failure has no sense part.
    EXPECT_EQ(DecodeDeviceError(0x04, 0x11, 0, none.data(), none.size()).Text, "SELECTION TIMEOUT");
    EXPECT_EQ(DecodeDeviceError(0x04, 0x09, 0, none.data(), none.size()).Text, "COMMAND TIMEOUT");
    EXPECT_EQ(DecodeDeviceError(0x82, 0, 0, none.data(), none.size()).Text, "NO DEVICE");
    EXPECT_EQ(DecodeDeviceError(0x02, 0, 0, none.data(), none.size()).Text, "OPERATION ABORTED BY USER");
    EXPECT_EQ(DecodeDeviceError(0x77, 0, 0, none.data(), none.size()).Text, "UNKNOWN");

    auto noDisc = FixedSense(0x70, 2, 0x3A, 0x00);
    EXPECT_EQ(DecodeDeviceError(0x04, 0, 2, noDisc.data(), noDisc.size()).Text,
              "NOT READY (MEDIUM NOT PRESENT)");

    auto unlisted = FixedSense(0x70, 3, 0x74, 0x00);
    EXPECT_EQ(DecodeDeviceError(0x04, 0, 2, unlisted.data(), unlisted.size()).Text, "MEDIUM ERROR (116,0)");

    const DeviceError busy = DecodeDeviceError(0x04, 0, 8, none.data(), none.size());
    EXPECT_EQ(busy.Text, "TARGET BUSY");
    EXPECT_TRUE(busy.Busy);
    EXPECT_FALSE(DecodeDeviceError(0x04, 0, 2, noDisc.data(), noDisc.size()).Busy);
}

TEST(DiscMessages, SenseWithTheValidBitIsStillFixedFormat) {
    auto valid = FixedSense(0xF0, 5, 0x21, 0x02);
    EXPECT_EQ(DecodeDeviceError(0x04, 0, 2, valid.data(), valid.size()).Text,
              "ILLEGAL REQUEST (INVALID ADDRESS FOR WRITE)");
    auto deferred = FixedSense(0xF1, 6, 0x28, 0x00);
    EXPECT_EQ(DecodeDeviceError(0x04, 0, 2, deferred.data(), deferred.size()).Text,
              "UNIT ATTENTION (NOT READY TO READY CHANGE, MEDIUM MAY HAVE CHANGED)");
    auto descriptorFormat = FixedSense(0x72, 5, 0x24, 0x00);
    EXPECT_EQ(DecodeDeviceError(0x04, 0, 2, descriptorFormat.data(), descriptorFormat.size()).Text,
              "UNKNOWN");
}

TEST(DiscMessages, SenseKeyZeroReadsItsFlags) {
    auto filemark = FixedSense(0x70, 0x80, 0, 0);
    EXPECT_EQ(SenseKeyMessage(filemark.data(), filemark.size()), msgFilemark);
    auto endOfMedium = FixedSense(0x70, 0x40, 0, 0);
    EXPECT_EQ(SenseKeyMessage(endOfMedium.data(), endOfMedium.size()), msgEndOfMedia);
    auto length = FixedSense(0x70, 0x20, 0, 0);
    EXPECT_EQ(SenseKeyMessage(length.data(), length.size()), msgIllegalLength);
    auto nothing = FixedSense(0x70, 0, 0, 0);
    EXPECT_EQ(SenseKeyMessage(nothing.data(), nothing.size()), msgNoAdditionalSense);
    const std::vector<uint8_t> empty(32, 0);
    EXPECT_EQ(SenseKeyMessage(empty.data(), empty.size()), msgNoError);
    auto key9 = FixedSense(0x70, 9, 0, 0);
    EXPECT_EQ(SenseKeyMessage(key9.data(), key9.size()), msgCheckCondition);
}
