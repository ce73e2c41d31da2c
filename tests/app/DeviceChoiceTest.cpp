#include "app/DeviceChoice.h"
#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace {

const std::vector<TListedDevice> Listed = {
    {"default", ""}, {"hw:CARD=Desk,DEV=0", ""}, {"JACK", "44.1k, resampled"}};

} // namespace

TEST(DeviceChoice, AnInputIsChosenByItsNumberOrItsListedName) {
    EXPECT_EQ(ChooseListedDevice("0", Listed), 0);
    EXPECT_EQ(ChooseListedDevice("2", Listed), 2);
    EXPECT_EQ(ChooseListedDevice("3", Listed), -1);
    EXPECT_EQ(ChooseListedDevice("-1", Listed), -1) << "the preferred device is not a listed input";
    EXPECT_EQ(ChooseListedDevice("hw:CARD=Desk,DEV=0", Listed), 1);
    EXPECT_EQ(ChooseListedDevice("JACK", Listed), 2);
    EXPECT_EQ(ChooseListedDevice("JACK (44.1k, resampled)", Listed), 2) << "as the list prints it";
    EXPECT_EQ(ChooseListedDevice("jack", Listed), -1);
    EXPECT_EQ(ChooseListedDevice("hw:CARD=Desk", Listed), -1);
}

TEST(DeviceChoice, TheListIsNumberedAsTheChoiceCountsAndNamesTheNote) {
    EXPECT_EQ(DeviceListText(Listed), "0  default\n1  hw:CARD=Desk,DEV=0\n2  JACK (44.1k, resampled)\n");
    EXPECT_EQ(DeviceListText({}), "No input found.\n");
}

TEST(DeviceChoice, TheCommandLineTakesTheListAndTheDevice) {
    QCommandLineParser parser;
    DeclareOptions(parser);
    const TStartOptions options = ReadOptions(parser, {"VelmoraPro", "--device", "JACK", "--list-devices"});
    EXPECT_TRUE(options.Error.isEmpty());
    EXPECT_TRUE(options.ListDevices);
    EXPECT_EQ(options.Device, "JACK");
}
