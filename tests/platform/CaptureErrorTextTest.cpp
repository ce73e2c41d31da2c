#include "platform/CaptureErrorText.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

namespace {
bool Has(const std::string &text, const char *part) {
    return text.find(part) != std::string::npos;
}
} // namespace

// The same error number means a missing device while opening and a lost one while capturing;
// every text names the device and ends with what the operator can do.
TEST(CaptureErrorText, SaysWhatHappenedToWhichDeviceAndWhatToDo) {
    EXPECT_EQ(CaptureErrorText(EIO, "default", false),
              "The sound device \"default\" went away: its sound card or sound server stopped. "
              "Choose the device again in the menu.");
    EXPECT_EQ(CaptureErrorText(EBUSY, "hw:CARD=PCH,DEV=0", true),
              "The sound device \"hw:CARD=PCH,DEV=0\" is busy. Close the other program using it, "
              "then choose the device again in the menu.");
    for (int err : {ENOENT, ENODEV, ECONNREFUSED}) {
        EXPECT_TRUE(Has(CaptureErrorText(err, "default", true), "\"default\" was not found")) << err;
        EXPECT_TRUE(Has(CaptureErrorText(err, "default", false), "\"default\" went away")) << err;
    }
    for (int err : {EPIPE, ESTRPIPE, ETIMEDOUT, EBADFD})
        EXPECT_TRUE(Has(CaptureErrorText(err, "pulse", false), "went away")) << err;
    EXPECT_TRUE(Has(CaptureErrorText(EINVAL, "pulse", true), "cannot record in the format"));
    EXPECT_EQ(CaptureErrorText(EINVAL, "pulse", false),
              "The sound device \"pulse\" failed: Invalid argument. Choose the device again in the menu.");
    EXPECT_TRUE(Has(CaptureErrorText(EACCES, "hw:0", true), "\"audio\" group"));
    EXPECT_TRUE(Has(CaptureErrorText(EIO, "", false), "The sound device went away"));
}

// The wave input's text field holds 254 characters: a long name is cut, never the advice.
TEST(CaptureErrorText, ALongDeviceNameIsCutAndTheAdviceKept) {
    const std::string name(300, 'n');
    const std::string busy = CaptureErrorText(EBUSY, name, true);
    EXPECT_TRUE(Has(busy, (std::string(61, 'n') + "...\" is busy").c_str())) << busy;
    for (int err = 1; err < 134; ++err)
        for (bool opening : {false, true}) {
            const std::string text = CaptureErrorText(err, name, opening);
            EXPECT_LE(text.size(), 254u) << err;
            EXPECT_TRUE(text.ends_with(" in the menu.")) << text;
        }
}
