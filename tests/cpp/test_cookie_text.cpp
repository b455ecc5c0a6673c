// Cookie texts: plain decimal, across the places where the digits change
// and where the 32-bit counter wraps.
#include "bridge/cookie_counter.h"
#include "voicesdk/voicesdk.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace talkwire {
namespace {

// The cookie goes into a request, which releases it as the SDK would.
std::string next_text(CookieCounter &cookies)
{
    sdk_req_account_login_t *request = sdk_req_account_login_create();
    request->base.cookie = cookies.next();
    std::string text = request->base.cookie ? request->base.cookie : "(null)";
    destroy_req(&request->base);
    return text;
}

TEST(CookieText, DecimalAcrossDigitBoundaries)
{
    CookieCounter cookies;
    EXPECT_EQ(next_text(cookies), "1");
    CookieCounter nine(9);
    EXPECT_EQ(next_text(nine), "9");
    EXPECT_EQ(next_text(nine), "10");
    CookieCounter large(999999999);
    EXPECT_EQ(next_text(large), "999999999");
    EXPECT_EQ(next_text(large), "1000000000");
}

TEST(CookieText, EveryValueOfARunAcrossZeroAndCarries)
{
    // The text is kept digit by digit: compare it with a fresh one at every
    // step, through the sign change and the carries of several digits.
    for (int32_t first : {-1005, 9990, 99990, 1999990}) {
        CookieCounter cookies(first);
        for (int32_t value = first; value < first + 2020; ++value)
            ASSERT_EQ(next_text(cookies), std::to_string(value));
    }
}

TEST(CookieText, WrapsToTheMostNegativeValue)
{
    CookieCounter cookies(INT_MAX);
    EXPECT_EQ(next_text(cookies), "2147483647");
    EXPECT_EQ(cookies.peek(), INT_MIN);
    EXPECT_EQ(next_text(cookies), "-2147483648");
    EXPECT_EQ(next_text(cookies), "-2147483647");
    CookieCounter minus_one(-1);
    EXPECT_EQ(next_text(minus_one), "-1");
    EXPECT_EQ(next_text(minus_one), "0");
}

}  // namespace
}  // namespace talkwire
