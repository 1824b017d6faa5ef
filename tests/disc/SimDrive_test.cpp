// The simulated drive's model, natively: the rules the disc library's tests rely on.

#include "SimBus.h"
#include "disc/dwMmc.h"

#include <gtest/gtest.h>

#include <vector>

using namespace sim;

namespace {

const char* const baseIni =
    "[Bus]\nAdapters=1\nCompletion=sync\nLog=sim.log\n"
    "[Drive0]\nAddress=0:0:0\nLetter=E\nWrites=CD-R,CD-RW,DVD-R,DVD-RW,DVD+R,DVD+RW,DVD-RAM\n"
    "Disc=d0\nNextDiscs=d1\n"
    "[Disc:d0]\nMedia=CD-R\nImage=d0.img\n"
    "[Disc:d1]\nMedia=DVD+RW\nImage=d1.img\n";

struct Client {
    MemoryFiles files;
    std::unique_ptr<Bus> bus;

    explicit Client(const std::string& extra = "", const char* base = baseIni) {
        files.WriteText("/sim/simdrive.ini", std::string(base) + extra);
        Reopen();
    }
    void Reopen() {
        bus = std::make_unique<Bus>(files);
        ASSERT_TRUE(bus->Open("/sim/simdrive.ini"));
    }
    Outcome Send(const disc::Cdb& block, uint8_t flags = 0x08, std::vector<uint8_t>* data = nullptr) {
        Request request;
        request.cdb = block.bytes;
        request.cdbLength = block.length;
        request.flags = flags;
        if (data) request.buffer = data->data(), request.bufLen = static_cast<uint32_t>(data->size());
        return bus->Execute({0, 0, 0}, request).outcome;
    }
    Outcome Write(uint32_t lba, uint16_t blocks, uint8_t fill = 0x5A) {
        std::vector<uint8_t> data(blocks * 2048u, fill);
        return Send(disc::cdb::Write10(lba, blocks), 0x10, &data);
    }
    disc::TrackInformation Track(uint32_t number) {
        std::vector<uint8_t> answer(40);
        Send(disc::cdb::ReadTrackInformation(number, 40), 0x08, &answer);
        disc::TrackInformation track;
        disc::ParseTrackInformation(answer.data(), answer.size(), track);
        return track;
    }
    disc::DiscInformation DiscInfo() {
        std::vector<uint8_t> answer(34);
        Send(disc::cdb::ReadDiscInformation(34), 0x08, &answer);
        disc::DiscInformation info;
        disc::ParseDiscInformation(answer.data(), answer.size(), info);
        return info;
    }
    std::string Log() {
        std::string text;
        files.ReadText("/sim/sim.log", text);
        return text;
    }
};

bool SenseIs(const Outcome& outcome, uint8_t key, uint8_t asc, uint8_t ascq) {
    return outcome.status == 4 && outcome.targStat == 2 && outcome.sense[2] == key &&
           outcome.sense[12] == asc && outcome.sense[13] == ascq;
}

} // namespace

TEST(SimDrive, SequentialDiscTakesWritesOnlyAtItsNextWritableAddress) {
    Client client;
    std::vector<uint8_t> list(8 + 52, 0);
    list[8] = 0x05, list[9] = 0x32, list[10] = 0x01, list[11] = 0xC4, list[12] = 0x08; // multi-session
    EXPECT_EQ(client.Send(disc::cdb::ModeSelect10(60), 0x10, &list).status, 1);
    EXPECT_TRUE(SenseIs(client.Write(10, 1), 5, 0x21, 0x02));
    EXPECT_EQ(client.Write(0, 2).status, 1);
    EXPECT_EQ(client.Track(1).NextWritableAddress, 2u);
    std::vector<uint8_t> block(2048);
    EXPECT_EQ(client.Send(disc::cdb::Read10(1, 1), 0x08, &block).status, 1);
    EXPECT_EQ(block[0], 0x5A);
    EXPECT_TRUE(SenseIs(client.Send(disc::cdb::Read10(2, 1), 0x08, &block), 5, 0x21, 0x00))
        << "never written";

    // Closing the session starts the next one 11,400 blocks on; the disc stays appendable.
    EXPECT_EQ(client.Send(disc::cdb::CloseTrackSession(false, 2, 0), 0).status, 1);
    const disc::DiscInformation info = client.DiscInfo();
    EXPECT_EQ(info.Status, 1);
    EXPECT_EQ(info.Sessions, 2);
    EXPECT_EQ(info.LastSessionState, 0);
    EXPECT_EQ(info.LastTrackOfLastSession, 2);
    EXPECT_EQ(client.Track(2).NextWritableAddress, 11402u);
    EXPECT_EQ(client.Track(2).FreeBlocks, 359849u - 11402u);
}

TEST(SimDrive, TransfersOfTheWrongSizeOrDirectionMoveNothing) {
    Client client;
    std::vector<uint8_t> half(1024, 0x11);
    Outcome outcome = client.Send(disc::cdb::Write10(0, 1), 0x10, &half);
    EXPECT_EQ(outcome.status, 4);
    EXPECT_EQ(outcome.haStat, 0x12);
    std::vector<uint8_t> block(2048);
    EXPECT_EQ(client.Send(disc::cdb::Write10(0, 1), 0x08, &block).status, 0xE0);
    std::vector<uint8_t> shortInquiry(10, 0xEE);
    EXPECT_EQ(client.Send(disc::cdb::Inquiry(96), 0x08, &shortInquiry).haStat, 0x12);
    EXPECT_EQ(shortInquiry[0], 0xEE);
}

TEST(SimDrive, TestWritesAdvanceADummyAddressAndStoreNothing) {
    Client client;
    std::vector<uint8_t> list(8 + 52, 0);
    list[8] = 0x05, list[9] = 0x32, list[10] = 0x11, list[11] = 0x04, list[12] = 0x08;
    EXPECT_EQ(client.Send(disc::cdb::ModeSelect10(60), 0x10, &list).status, 1);
    EXPECT_EQ(client.Write(0, 4).status, 1);
    EXPECT_EQ(client.Write(4, 4).status, 1);
    EXPECT_EQ(client.Track(1).NextWritableAddress, 8u);
    EXPECT_EQ(client.files.Size("/sim/d0.img"), 0u);
    // A load resets the dummy address.
    EXPECT_EQ(client.Send(disc::cdb::StartStopUnit(true), 0).status, 1);
    client.bus->Drives()[0]->State().queuePosition = 1; // keep the CD-R in the tray
    EXPECT_EQ(client.Send(disc::cdb::StartStopUnit(false), 0).status, 1);
    EXPECT_EQ(client.Track(1).NextWritableAddress, 0u);
}

TEST(SimDrive, StateSurvivesAReloadOfTheTransport) {
    Client client("[Faults]\n1=WRITE10 from=2 count=1 sense=3/0C/00\n");
    EXPECT_EQ(client.Write(0, 1).status, 1);
    client.Reopen();
    EXPECT_TRUE(SenseIs(client.Write(1, 1), 3, 0x0C, 0x00)) << "the second WRITE counted across the reload";
    EXPECT_EQ(client.Write(1, 1).status, 1);
    client.Reopen();
    EXPECT_EQ(client.Track(1).NextWritableAddress, 2u);
    EXPECT_NE(client.Log().find("sense=3/0C/00"), std::string::npos);
}

// While a track is written the state and the fault counters stay in memory; the drive's
// flush points and an unload of the transport write them, so a new process sees the drive.
TEST(SimDrive, AnOpenTrackIsHeldInMemoryUntilAFlushPointOrAnUnload) {
    Client client("[Faults]\n1=READ10 from=99 sense=3/11/00\n");
    auto state = [&] {
        std::string text;
        client.files.ReadText("/sim/d0.img.state", text);
        return text;
    };
    auto counters = [&] {
        std::string text;
        client.files.ReadText("/sim/simdrive.ini.faults", text);
        return text;
    };
    EXPECT_EQ(client.Write(0, 1).status, 1);
    EXPECT_EQ(client.Write(1, 2).status, 1);
    EXPECT_EQ(state().find("Nwa=3"), std::string::npos) << "held while the track is written";
    EXPECT_EQ(client.Track(1).NextWritableAddress, 3u);
    EXPECT_NE(client.Log().find(" 2a "), std::string::npos) << "the log is written as before";
    for (const disc::Cdb& flush :
         {disc::cdb::SynchronizeCache(false), disc::cdb::CloseTrackSession(false, 1, 1),
          disc::cdb::StartStopUnit(false)}) {
        EXPECT_EQ(client.Write(client.Track(0xFF).NextWritableAddress, 1).status, 1);
        const std::string nwa = "Nwa=" + std::to_string(client.Track(0xFF).NextWritableAddress);
        EXPECT_EQ(state().find(nwa), std::string::npos);
        EXPECT_EQ(client.Send(flush, 0).status, 1);
        EXPECT_NE(state().find(nwa), std::string::npos);
    }
    EXPECT_NE(counters().find("1=0"), std::string::npos) << counters();

    const uint32_t nwa = client.Track(0xFF).NextWritableAddress;
    EXPECT_EQ(client.Write(nwa, 4).status, 1);
    std::vector<uint8_t> block(2048);
    EXPECT_EQ(client.Send(disc::cdb::Read10(0, 1), 0x08, &block).status, 1);
    client.Reopen(); // an unload
    EXPECT_EQ(client.Track(0xFF).NextWritableAddress, nwa + 4);
    EXPECT_NE(counters().find("1=1"), std::string::npos) << counters();
}

TEST(SimDrive, EjectAndLoadBringTheNextDisc) {
    Client client;
    EXPECT_EQ(client.Send(disc::cdb::PreventAllowMediumRemoval(false), 0).status, 1);
    EXPECT_TRUE(SenseIs(client.Send(disc::cdb::StartStopUnit(true), 0), 5, 0x53, 0x02));
    client.Send(disc::cdb::PreventAllowMediumRemoval(true), 0);
    EXPECT_EQ(client.Send(disc::cdb::StartStopUnit(true), 0).status, 1);
    EXPECT_TRUE(SenseIs(client.Send(disc::cdb::TestUnitReady(), 0), 2, 0x3A, 0x02));
    EXPECT_EQ(client.Send(disc::cdb::StartStopUnit(false), 0).status, 1);
    std::vector<uint8_t> answer(16);
    client.Send(disc::cdb::GetConfiguration(2, 0, 16), 0x08, &answer);
    EXPECT_EQ(disc::GetBe16(answer.data() + 6), 0x1A) << "DVD+RW from NextDiscs";
    EXPECT_EQ(client.Write(1000, 1).status, 1) << "overwritable media take writes anywhere";
}

TEST(SimDrive, ImmediateOperationsAnswerBusyForTheConfiguredPolls) {
    Client client;
    EXPECT_EQ(client.Send(disc::cdb::SynchronizeCache(true), 0).status, 1);
    EXPECT_TRUE(SenseIs(client.Send(disc::cdb::TestUnitReady(), 0), 2, 0x04, 0x08));
    std::vector<uint8_t> inquiry(96);
    EXPECT_EQ(client.Send(disc::cdb::Inquiry(96), 0x08, &inquiry).status, 1);
    std::vector<uint8_t> sense(18);
    EXPECT_EQ(client.Send(disc::cdb::RequestSense(18), 0x08, &sense).status, 1);
    EXPECT_EQ(sense[12], 0x04);
    EXPECT_TRUE(SenseIs(client.Send(disc::cdb::TestUnitReady(), 0), 2, 0x04, 0x08));
    EXPECT_EQ(client.Send(disc::cdb::TestUnitReady(), 0).status, 1);
}

TEST(SimDrive, FaultRulesInjectTheirEffects) {
    Client client("[Faults]\n1=TUR status=busy\n2=RDI hastat=0x11\n3=WRITE10 flip=3\n4=TUR from=2 hang\n");
    Outcome busy = client.Send(disc::cdb::TestUnitReady(), 0);
    EXPECT_EQ(busy.targStat, 8);
    EXPECT_TRUE(client.Send(disc::cdb::TestUnitReady(), 0).pending);
    std::vector<uint8_t> info(34);
    EXPECT_EQ(client.Send(disc::cdb::ReadDiscInformation(34), 0x08, &info).haStat, 0x11);
    EXPECT_EQ(client.Write(0, 1, 0x00).status, 1);
    std::vector<uint8_t> block(2048);
    client.Send(disc::cdb::Read10(0, 1), 0x08, &block);
    EXPECT_EQ(block[3], 0xFF);
    EXPECT_EQ(block[4], 0x00);
    EXPECT_NE(client.Log().find("-> pending"), std::string::npos);
}

TEST(SimDrive, WritesAreRefusedWhereTheMediumForbidsThem) {
    auto single = [](const std::string& driveKeys, const std::string& discKeys) {
        static std::string text;
        text = "[Bus]\nCompletion=sync\n[Drive0]\n" + driveKeys +
               "Address=0:0:0\nWrites=CD-R,CD-RW,DVD-R,DVD-RW,DVD+R,DVD+RW,DVD-RAM\nDisc=d0\n[Disc:d0]\n" +
               discKeys;
        return text.c_str();
    };
    {
        Client rom("", single("", "Media=CD-ROM\n"));
        EXPECT_TRUE(SenseIs(rom.Write(0, 1), 5, 0x27, 0x00));
    }
    {
        Client plusRw("", single("", "Media=DVD+RW\nFormatted=0\nAutoFormat=0\n"));
        EXPECT_TRUE(SenseIs(plusRw.Write(0, 1), 5, 0x30, 0x10));
    }
    {
        Client shortTrack("", single("MinTrackBlocks=300\n", "Media=CD-R\n"));
        EXPECT_EQ(shortTrack.Write(0, 10).status, 1);
        EXPECT_TRUE(SenseIs(shortTrack.Send(disc::cdb::CloseTrackSession(false, 1, 0), 0), 5, 0x2C, 0x00));
    }
    {
        Client ram("", single("", "Media=DVD-RAM\n"));
        std::vector<uint8_t> list(60, 0);
        list[8] = 0x05, list[9] = 0x32;
        EXPECT_TRUE(SenseIs(ram.Send(disc::cdb::ModeSelect10(60), 0x10, &list), 5, 0x24, 0x00));
    }
    {
        Client sessionAtOnce("", single("", "Media=CD-R\n"));
        std::vector<uint8_t> list(60, 0);
        list[8] = 0x05, list[9] = 0x32, list[10] = 0x02, list[11] = 0x04, list[12] = 0x08;
        EXPECT_EQ(sessionAtOnce.Send(disc::cdb::ModeSelect10(60), 0x10, &list).status, 1);
        EXPECT_TRUE(SenseIs(sessionAtOnce.Write(0, 1), 5, 0x64, 0x00)) << "only track-at-once on CD";
    }
}
