// Write speeds against drives that round requests up or down to the speeds they support, the
// speed list, typed speeds, the measured speed of a write and the room on discs whose drives
// answer sensibly or not.

#include "job/DiscSpeed.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace job;

namespace {

class RoundingDrive final : public SpeedDrive {
  public:
    RoundingDrive(std::vector<int> speeds, bool roundUp) : speeds_(std::move(speeds)), roundUp_(roundUp) {}
    std::vector<int> asked;

    int MaxWriteSpeed() override { return speeds_.back(); }
    void SetWriteSpeed(int speed) override {
        asked.push_back(speed);
        stored_ = speed;
        taken_ = roundUp_ ? speeds_.back() : speeds_.front();
        for (int supported : speeds_) {
            if (roundUp_ && supported >= speed) {
                taken_ = supported;
                break;
            }
            if (!roundUp_ && supported <= speed) taken_ = supported;
        }
    }
    int WriteSpeed() override { return stored_; }
    int CurrentWriteSpeed() override { return taken_; }

  private:
    std::vector<int> speeds_;
    bool roundUp_;
    int stored_ = 0, taken_ = 0;
};

const std::vector<int> cdSpeeds = {706, 1411, 2822, 4234, 5645, 7056};

} // namespace

TEST(DiscSpeed, PreferredSpeedAsksForTheMultipleAndWalksDownWhileTheDriveReportsMore) {
    RoundingDrive exact(cdSpeeds, false);
    EXPECT_EQ(ApplyPreferredWriteSpeed(exact, 8, true), 1411);
    EXPECT_EQ(exact.asked.front(), 1411) << "8 x 176.4 rounded";

    // A drive that only has 706 and 2822 and rounds up: 2822 is more than 1,511, so it steps
    // down by 177 until it reports 706.
    RoundingDrive coarse({706, 2822}, true);
    EXPECT_EQ(ApplyPreferredWriteSpeed(coarse, 8, true), 706);
    EXPECT_EQ(coarse.asked[1], 2822 - 177);
    EXPECT_EQ(coarse.WriteSpeed(), 706) << "the read-back speed is kept";

    // DVD: 1,400 a multiple for the request, 1,385 for the cap.
    RoundingDrive dvd({1385, 2770, 5540, 11080}, true);
    EXPECT_EQ(ApplyPreferredWriteSpeed(dvd, 4, false), 5540);
    EXPECT_EQ(dvd.asked.front(), 5600);
    for (int speed : dvd.asked)
        EXPECT_GE(speed, 1) << "never a request of 0 or less";

    // Preferring more than the drive has asks for its maximum.
    RoundingDrive slow({706, 1411}, false);
    EXPECT_EQ(ApplyPreferredWriteSpeed(slow, 48, true), 1411);
    EXPECT_EQ(slow.asked.front(), 1411);

    // Nine digits typed as the preference: the drive's maximum, on CDs and DVDs alike.
    for (const bool cd : {true, false}) {
        RoundingDrive typed({706, 1411}, false);
        EXPECT_EQ(ApplyPreferredWriteSpeed(typed, 999999999, cd), 1411);
        for (int speed : typed.asked)
            EXPECT_TRUE(speed >= 1 && speed <= 1411) << speed;
    }
}

TEST(DiscSpeed, WithoutPreferenceTheFirstSpeedAbove706ThatTheDriveTakesWins) {
    RoundingDrive down(cdSpeeds, false);
    EXPECT_EQ(ApplyPreferredWriteSpeed(down, 0, true), 1411);
    EXPECT_EQ(down.asked.front(), 706);
    EXPECT_EQ(down.WriteSpeed(), 1411);

    RoundingDrive only({706}, false);
    EXPECT_EQ(ApplyPreferredWriteSpeed(only, 0, true), 706) << "a drive with one speed";
    EXPECT_LT(only.asked.size(), 10u) << "the walk ends past the maximum";
}

TEST(DiscSpeed, SpeedTextsAndTheSpeedList) {
    EXPECT_EQ(SpeedTextToKBs("8x", false), 1412) << "8 x 176.4 + 1 = 1,412.2";
    EXPECT_EQ(SpeedTextToKBs("8x (1,411 KB/s)", false), 1412);
    EXPECT_EQ(SpeedTextToKBs("4.0x (5,540 KB/s)", true), 5541);
    EXPECT_EQ(SpeedTextToKBs("2,4x", true), 3325);
    EXPECT_EQ(SpeedTextToKBs("", false), std::nullopt);
    EXPECT_EQ(SpeedTextToKBs("fast", false), std::nullopt);
    EXPECT_EQ(SpeedTextToKBs("-3x", false), std::nullopt);
    EXPECT_EQ(SpeedTextToKBs("99999x", false), std::nullopt);

    // Requests 176 apart that the drive rounds to the same speed give one entry each.
    RoundingDrive drive(cdSpeeds, false);
    const std::vector<std::string> entries = ProbeSpeedEntries(drive, false, 176);
    EXPECT_EQ(entries, (std::vector<std::string>{"40x (7,056 KB/s)", "32x (5,645 KB/s)", "24x (4,234 KB/s)",
                                                 "16x (2,822 KB/s)", "8x (1,411 KB/s)", "4x (706 KB/s)"}));
    EXPECT_EQ(drive.asked.front(), 7056);
    RoundingDrive dvd({1385, 2770}, false);
    EXPECT_EQ(ProbeSpeedEntries(dvd, true, 706, ','),
              (std::vector<std::string>{"2,0x (2,770 KB/s)", "1,0x (1,385 KB/s)"}));
}

TEST(DiscSpeed, MeterAveragesSamplesAndSkipsATickWithNoTimePassed) {
    BurnSpeedMeter meter;
    EXPECT_EQ(meter.Sample(0, 1000), 0);
    EXPECT_EQ(meter.Sample(1024 * 1000, 1000), 1000);
    EXPECT_EQ(meter.Sample(1024 * 4000, 1000), 3000);
    EXPECT_EQ(meter.Sample(1024 * 4000, 0), 3000) << "no division by an elapsed time of 0";
    EXPECT_EQ(meter.Sample(1024 * 6000, 1000), 2000);
    EXPECT_EQ(meter.SpeedSamples, 3);
    EXPECT_EQ(meter.SpeedSum, 2000) << "the mean, not the sum";
    EXPECT_EQ(meter.MaxSpeedSeen, 3000);
    EXPECT_EQ(meter.Sample(500, 1000), 0) << "a new write";
}

TEST(DiscSpeed, RoomPerMediumAndUntrustedAnswers) {
    DiscRoomFacts cd;
    cd.Ready = true;
    cd.MediaType = 2;
    cd.FreeBlocks = 300000;
    cd.Capacity = 359849;
    cd.NextWritableAddress = 11400;
    EXPECT_EQ(DiscFreeBytes(cd), int64_t{359849 - 11400} * 2048) << "the larger of the two counts";
    cd.DiscStatus = 2;
    EXPECT_EQ(DiscFreeBytes(cd), 0) << "a complete disc";
    cd.DiscStatus = 1;
    cd.NextWritableAddress = 400000;
    EXPECT_EQ(DiscFreeBytes(cd), int64_t{300000} * 2048) << "capacity below the address: no negative room";
    cd.FreeBlocks = 0xFFFFFFFF;
    EXPECT_EQ(DiscFreeBytes(cd), 0) << "free blocks 0xFFFFFFFF";
    cd.FreeBlocks = 7000;
    EXPECT_EQ(DiscFreeBytes(cd), 0) << "below 15,000,000 bytes";
    cd.Ready = false;
    cd.FreeBlocks = 300000;
    EXPECT_EQ(DiscFreeBytes(cd), 0);

    DiscRoomFacts plusRw; // overwritable: the status reads complete
    plusRw.Ready = true;
    plusRw.MediaType = 10;
    plusRw.Erasable = true;
    plusRw.DiscStatus = 2;
    plusRw.FreeBlocks = 2295104;
    plusRw.Capacity = 2295104;
    plusRw.NextWritableAddress = 100000;
    EXPECT_EQ(DiscFreeBytes(plusRw), int64_t{2295104} * 2048);
    plusRw.Capacity = 0;
    EXPECT_EQ(DiscFreeBytes(plusRw), 0);
    plusRw.Capacity = 0xFFFFFFFF;
    EXPECT_EQ(DiscFreeBytes(plusRw), 0) << "a capacity of 0xFFFFFFFF blocks";
    cd.Ready = true;
    cd.Capacity = 0xFFFFFFFF;
    EXPECT_EQ(DiscFreeBytes(cd), 0) << "on a CD too";

    DiscRoomFacts dvdR; // not erasable: the free blocks only
    dvdR.Ready = true;
    dvdR.MediaType = 5;
    dvdR.FreeBlocks = 1000000;
    dvdR.Capacity = 2298496;
    EXPECT_EQ(DiscFreeBytes(dvdR), int64_t{1000000} * 2048);
    dvdR.DiscStatus = 2;
    EXPECT_EQ(DiscFreeBytes(dvdR), 0);

    DiscRoomFacts ram;
    ram.Ready = true;
    ram.MediaType = 6;
    ram.DiscStatus = 3;
    ram.Capacity = 2236704;
    EXPECT_EQ(DiscFreeBytes(ram), int64_t{2236704} * 2048);
}
