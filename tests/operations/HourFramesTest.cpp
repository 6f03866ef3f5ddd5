#include <gtest/gtest.h>

#include "app/Errors.h"
#include "operations/HourFrames.h"

namespace {

QByteArray Hex(const char* spaced) {
    return QByteArray::fromHex(spaced);
}

std::string Str(const QByteArray& frame) {
    return frame.toHex(' ').toUpper().toStdString();
}

const THourBoxes kExample{"1234", "30", "5678", "50", "9", "12"};

TEST(HourRequest, WholeFramesOfEveryModel) {
    const char* expected[kHourModelCount] = {
        "01 10 C1 E0 00 00 18 08 07 00 00 D2 04 00 00 08 07 00 00 2E 16 00 00 B0 01 00 00 09 00 00 "
        "00 43 EF",
        "01 10 C1 D0 00 00 10 08 07 00 00 D2 04 00 00 08 07 00 00 2E 16 00 00 78 F7",
        // Models 2 and 3: 30 min and 50 min as seconds (0x0708, 0x0BB8), two zero words, then the
        // three values, the third one twice.
        "01 10 C1 80 00 00 18 08 07 B8 0B 00 00 00 00 D2 04 00 00 2E 16 00 00 09 00 00 00 09 00 00 "
        "00 32 39",
        "01 10 C1 60 00 00 18 08 07 B8 0B 00 00 00 00 D2 04 00 00 2E 16 00 00 09 00 00 00 09 00 00 "
        "00 AC B8",
    };
    for (int model = 0; model < kHourModelCount; ++model)
        EXPECT_EQ(Str(BuildHourRequest(1, model, kExample)), Str(Hex(expected[model])))
            << "model " << model;
}

TEST(HourRequest, ValueConversions) {
    const struct {
        int model;
        THourBoxes boxes;
        int offset;
        const char* bytes;
    } cases[] = {
        {0, {"0", "75", "0", "0", "0", "0"}, 7, "94 11 00 00"},  // 75 min = 4500 s, no range check
        {2, {"0", "1200", "0", "0", "0", "0"}, 7, "40 19"},      // 72000: only its low 16 bits
        {3, {"0", "1200", "0", "0", "0", "0"}, 7, "40 19"},
        // A value beyond 32 bits keeps its low 32 bits under models 0 and 1.
        {1, {"4294967297", "0", "0", "0", "0", "0"}, 11, "01 00 00 00"},
        {0, {"0", "0", "0", "0", "0", "119304648"}, 23, "20 00 00 00"},  // 36 x that is 2^32 + 32
        // The hidden third minute box is not read under models 2 and 3.
        {2,
         {"1", "0", "2", "0", "3", "not read"},
         15,
         "01 00 00 00 02 00 00 00 03 00 00 00 03 00 00 00"},
    };
    for (const auto& c : cases) {
        const QByteArray frame = BuildHourRequest(1, c.model, c.boxes);
        const QByteArray bytes = Hex(c.bytes);
        EXPECT_EQ(Str(frame.mid(c.offset, bytes.size())), Str(bytes)) << "model " << c.model;
    }
}

TEST(HourRequest, TheFirstBadBoxInByteOrderRaisesItsConversionError) {
    const struct {
        int model;
        THourBoxes boxes;
        const char* message;
    } cases[] = {
        {0, {"x", "", "0", "0", "0", "0"}, "'' is not a valid integer value"},  // Min1 before Hour1
        {1, {"0", "0", "0", "0", "0", "y"}, nullptr},                           // Min3 not read
        {0, {"0", "0", "0", "0", "0", "y"}, "'y' is not a valid integer value"},
        {2, {"h1", "0", "0", "m2", "0", "0"}, "'m2' is not a valid integer value"},  // Min2 first
        {3, {"0", "0", "0", "0", "0", ""}, nullptr},
        {3, {"0", "0", "0", "0", "4294967295", "0"}, "'4294967295' is not a valid integer value"},
    };
    for (const auto& c : cases) {
        if (c.message == nullptr) {
            EXPECT_NO_THROW(BuildHourRequest(1, c.model, c.boxes)) << "model " << c.model;
            continue;
        }
        try {
            BuildHourRequest(1, c.model, c.boxes);
            ADD_FAILURE() << "no error for model " << c.model;
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message().toStdString(), c.message);
        }
    }
}

}  // namespace
