#include <gtest/gtest.h>

#include <limits>

#include "app/Errors.h"
#include "app/NumConv.h"

namespace {

struct Good {
    const char16_t* text;
    qint64 value;
};

const Good kGood32[] = {
    {u"0", 0},
    {u"1", 1},
    {u"  17", 17},
    {u"\t5", 5},
    {u"+8", 8},
    {u"-1", -1},
    {u"$1F", 31},
    {u"$ff", 255},
    {u"0x10", 16},
    {u"0X7fffffff", 2147483647},
    {u"-$10", -16},
    {u"007", 7},
    {u"2147483647", 2147483647},
    {u"-2147483648", -2147483648LL},
};

const char16_t* const kBad32[] = {
    u"",
    u" ",
    u"abc",
    u"12a",
    u"1 2",
    u"12 ",
    u"+",
    u"-",
    u"$",
    u"0x",
    u"--1",
    u"1.5",
    u"x10",
    u"$G",
    u"2147483648",
    u"-2147483649",
    u"99999999999999999999",
    u"$80000000",
    u"١٢",  // Arabic-Indic digits are not ours
};

TEST(StrictConversion, AcceptsBlanksSignsAndHexPrefixes) {
    for (const Good& g : kGood32) {
        const QString text = QString::fromUtf16(g.text);
        EXPECT_EQ(StrToInt(text), g.value) << text.toStdString();
        EXPECT_EQ(StrToInt64(text), g.value) << text.toStdString();
    }
}

TEST(StrictConversion, RejectsEverythingElseWithTheOperatorsText) {
    for (const char16_t* raw : kBad32) {
        const QString text = QString::fromUtf16(raw);
        try {
            StrToInt(text);
            ADD_FAILURE() << "accepted '" << text.toStdString() << "'";
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), QStringLiteral("'%1' is not a valid integer value").arg(text));
        }
    }
}

TEST(StrictConversion, SixtyFourBitRange) {
    EXPECT_EQ(StrToInt64(QStringLiteral("2147483648")), 2147483648LL);
    EXPECT_EQ(StrToInt64(QStringLiteral("9223372036854775807")),
              std::numeric_limits<qint64>::max());
    EXPECT_EQ(StrToInt64(QStringLiteral("-9223372036854775808")),
              std::numeric_limits<qint64>::min());
    EXPECT_EQ(StrToInt64(QStringLiteral("$7FFFFFFFFFFFFFFF")), std::numeric_limits<qint64>::max());
    EXPECT_THROW(StrToInt64(QStringLiteral("9223372036854775808")), EConvertError);
    EXPECT_THROW(StrToInt64(QStringLiteral("-9223372036854775809")), EConvertError);
    EXPECT_THROW(StrToInt64(QStringLiteral("$10000000000000000")), EConvertError);
}

TEST(LenientConversion, GivesTheDefaultSilently) {
    EXPECT_EQ(StrToIntDef(QStringLiteral("12"), 0), 12);
    EXPECT_EQ(StrToIntDef(QStringLiteral("-"), 0), 0);
    EXPECT_EQ(StrToIntDef(QString(), 7), 7);
    EXPECT_EQ(StrToIntDef(QStringLiteral("4294967296"), -3), -3);
    EXPECT_EQ(StrToInt64Def(QStringLiteral("4294967296"), -3), 4294967296LL);
    EXPECT_EQ(StrToInt64Def(QStringLiteral("x"), 9), 9);
}

TEST(FileErrors, NameTheFileAndThePlatformReason) {
    const EInOutError open = EInOutError::CannotOpen(QStringLiteral("/x/a.txt"), ENOENT);
    EXPECT_EQ(open.Message(),
              QStringLiteral("Cannot open file \"/x/a.txt\". No such file or directory"));
    EXPECT_EQ(open.ErrorCode(), ENOENT);
    const EInOutError create = EInOutError::CannotCreate(QStringLiteral("b.txt"), EACCES);
    EXPECT_EQ(create.Message(), QStringLiteral("Cannot create file \"b.txt\". Permission denied"));
    // Derived errors are caught as the common base.
    try {
        throw create;
    } catch (const EQuorrin& e) {
        EXPECT_TRUE(e.Message().startsWith(QStringLiteral("Cannot create file")));
        EXPECT_STREQ(e.what(), "Cannot create file \"b.txt\". Permission denied");
    }
}

}  // namespace
